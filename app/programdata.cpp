#include "app/programdata.h"

#include <QDir>
#include <QFileInfo>

#include "core/log.h"

namespace velquor {
namespace {

std::filesystem::path toPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

QString why(store::Problem problem) {
  switch (problem) {
    case store::Problem::DiskFull: return QStringLiteral("磁盘已满");
    case store::Problem::ReadOnly: return QStringLiteral("文件夹或文件不允许写入");
    case store::Problem::Damaged: return QStringLiteral("数据文件已损坏");
    default: return QStringLiteral("无法读写数据文件");
  }
}

}  // namespace

QString ProgramData::databasePath(const QString& folder) {
  return QDir(folder).filePath(QString::fromLatin1(store::kDatabaseName));
}

QString ProgramData::logPath(const QString& folder) { return QDir(folder).filePath(QStringLiteral("velquor.log")); }

ProgramData::ProgramData(const QString& folder, const QString& today) {
  QDir().mkpath(folder);
  log::setFile(toPath(logPath(folder)));
  const QString file = databasePath(folder);
  store::Store::Opened opened = store::Store::open(toPath(file), today.toStdString());
  store_ = std::move(opened.store);
  const QString shown = QDir::toNativeSeparators(file);
  switch (opened.problem) {
    case store::Problem::None: break;
    case store::Problem::Damaged:
      if (!store_->inMemoryOnly()) {
        log::write("program data", "damaged database set aside as " + opened.setAside.filename().string() + ": " +
                                       opened.detail);
        startMessage_ = QStringLiteral("程序的数据文件“%1”已损坏，已改名为“%2”保留，并新建了数据文件。\n"
                                       "其中待写入的成绩、缺席和点名记录无法读出；名单文件没有改动。")
                            .arg(shown, QString::fromStdU16String(opened.setAside.filename().u16string()));
        break;
      }
      [[fallthrough]];
    default:
      log::write("program data", "kept in memory only: " + opened.detail);
      startMessage_ = QStringLiteral("无法写入程序的数据文件“%1”（%2）。\n"
                                     "本次的待写入成绩、缺席和点名记录只保留到程序关闭；名单文件没有改动。")
                          .arg(shown, why(opened.problem));
      said_.insert(opened.problem);
      break;
  }
  if (store_->inMemoryOnly()) return;  // an earlier version's files stay for the next start
  try {
    const store::Imported imported = store_->importLegacyFiles(toPath(folder));
    if (imported.pending + imported.absences > 0)
      log::write("program data", "brought in " + std::to_string(imported.pending) + " waiting writes and " +
                                     std::to_string(imported.absences) + " absences from the earlier files");
  } catch (const store::StoreError& e) {
    // The old files stay where they are and are brought in at the next start.
    log::write("program data", std::string("earlier files not brought in: ") + e.what());
  }
}

ProgramData::~ProgramData() = default;

QString ProgramData::refused(const store::StoreError& error, const char* where) {
  log::write(where, error.what());
  if (!said_.insert(error.problem()).second) return QString();
  return QStringLiteral("无法保存程序数据（%1）：待写入的成绩、缺席和点名记录可能无法保留。名单文件没有改动。")
      .arg(why(error.problem()));
}

}  // namespace velquor
