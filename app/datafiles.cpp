#include "app/datafiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/platform.h"

namespace velquor {
namespace {

const QString kDataFolderName = QStringLiteral("velquor");

QString installedDataFolder(const QString& programFolder) {
  return QDir::cleanPath(programFolder + QStringLiteral("/../share/") + kDataFolderName);
}

}  // namespace

QStringList dataFolders(const QString& currentFolder, const QString& programFolder) {
  QStringList folders{currentFolder};
  if (!programFolder.isEmpty()) folders << programFolder << installedDataFolder(programFolder);
  folders << QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
  for (const QString& base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    folders << QDir(base).filePath(kDataFolderName);
  QStringList unique;
  for (const QString& folder : folders) {
    const QString clean = QDir::cleanPath(folder);
    if (!clean.isEmpty() && !unique.contains(clean)) unique << clean;
  }
  return unique;
}

QString findDataFile(const QString& relativeName) {
  QString name = relativeName;
  name.replace(QLatin1Char('\\'), QLatin1Char('/'));
  const QString program = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
  for (const QString& folder : dataFolders(QDir::currentPath(), program)) {
    const QFileInfo file(QDir(folder), name);
    if (file.isFile()) return file.absoluteFilePath();
  }
  return QString();
}

// The legacy workbook first, as always; a roster kept as .xlsx is found next.
QStringList defaultRosterNames() { return {QStringLiteral("点名册.xls"), QStringLiteral("点名册.xlsx")}; }

bool isInstalledProgram(const QString& programFolder) { return platform::isInstalled(programFolder); }

DefaultRoster locateDefaultRoster(const QString& programFolder, const QString& documentsFolder) {
  for (const QString& folder : {programFolder, documentsFolder}) {
    if (folder.isEmpty()) continue;
    for (const QString& name : defaultRosterNames()) {
      const QString path = QDir(folder).filePath(name);
      if (QFileInfo(path).isFile()) return {path, true, false};
    }
  }
  const QString name = defaultRosterNames().constFirst();
  if (!isInstalledProgram(programFolder) || documentsFolder.isEmpty())
    return {QDir(programFolder).filePath(name), false, false};
  return {QDir(documentsFolder).filePath(name), false, true};
}

QString userDocumentsFolder() { return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation); }

bool copySampleRoster(const QString& path) {
  QFile sample(QStringLiteral(":/velquor/sample-roster.xls"));
  if (!sample.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = sample.readAll();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  // Written, not copied: a copy would keep the resource's read-only permissions.
  QFile target(path);
  if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
  if (target.write(bytes) != bytes.size() || !target.flush()) {
    target.close();
    target.remove();
    return false;
  }
  target.close();
  return true;
}

}  // namespace velquor
