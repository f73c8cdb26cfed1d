#include "app/pendingwrites.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

#include "app/programdata.h"
#include "app/widgets.h"
#include "core/filepath.h"
#include "core/log.h"
#include "results/writefailure.h"
#include "roster/workbookset.h"

namespace velquor {
namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

std::set<std::string> rostersOf(const std::vector<results::PendingWrite>& writes) {
  std::set<std::string> rosters;
  for (const auto& w : writes) rosters.insert(w.roster);
  return rosters;
}

QString causeText(results::WaitCause cause, const QString& holder) {
  switch (cause) {
    case results::WaitCause::Held:
      return holder.isEmpty() ? QStringLiteral("名单正在其他程序中打开")
                              : QStringLiteral("名单正被%1在其他程序中打开")
                                    .arg(q(results::showHolder(holder.toStdString()).who));
    case results::WaitCause::ReadOnly: return QStringLiteral("名单文件是只读的");
    case results::WaitCause::ChangedOnDisk: return QStringLiteral("名单文件正被其他程序修改");
    case results::WaitCause::Missing: return QStringLiteral("找不到名单文件（驱动器或文件不在）");
    case results::WaitCause::None: break;
  }
  return QStringLiteral("名单中找不到这些学生，点击查看");
}

// The ids of the writes waiting for `roster`, as one text.
std::string idsFor(const std::vector<results::PendingWrite>& writes, const std::string& roster) {
  std::string ids;
  for (const auto& w : writes)
    if (w.roster == roster) ids += std::to_string(w.id) + ',';
  return ids;
}

}  // namespace

QString dataFolderOf(const Services& services) {
  return services.dataFolder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                       : services.dataFolder;
}

PendingWrites::PendingWrites(QWidget* window, const Services& services, CaptionLabel* line, ProgramData& data)
    : QObject(window),
      window_(window),
      services_(services),
      line_(line),
      data_(data),
      watcher_(new QFileSystemWatcher(this)),
      soon_(new QTimer(this)),
      again_(new QTimer(this)) {
  soon_->setSingleShot(true);
  soon_->setInterval(200);
  again_->setInterval(3000);
  // A timer may fire inside a message box that a handler opened while it holds the
  // workbook: the try waits until no modal window is open.
  auto retryWhenIdle = [this] {
    if (QApplication::activeModalWidget()) soon_->start();
    else retry();
  };
  connect(soon_, &QTimer::timeout, this, retryWhenIdle);
  connect(again_, &QTimer::timeout, this, retryWhenIdle);
  connect(watcher_, &QFileSystemWatcher::fileChanged, soon_, qOverload<>(&QTimer::start));
  connect(watcher_, &QFileSystemWatcher::directoryChanged, soon_, qOverload<>(&QTimer::start));
  connect(line_, &CaptionLabel::clicked, this, [this] { showList(); });
  try {
    journal_ = std::make_unique<results::PendingJournal>(data_.store());
  } catch (const store::StoreError& e) {
    // Unreadable now: the window starts with nothing waiting, kept in memory.
    log::write("pending writes", e.what());
    journal_.reset();
  }
  if (!journal_) {
    fallback_ = store::Store::inMemory();
    journal_ = std::make_unique<results::PendingJournal>(*fallback_);
  }
  try {
    journal_->settleInterruptedSaves();
  } catch (const std::exception& e) {
    // They wait as read; the next try of their roster settles them.
    log::write("pending writes", std::string("interrupted saves not settled: ") + e.what());
  }
  refresh();
  // Whatever the last run left waiting is tried as soon as the window runs.
  if (!journal_->writes().empty()) soon_->start();
}

PendingWrites::~PendingWrites() = default;

bool PendingWrites::keep(results::PendingWrite write, const roster::WorkbookError& why) {
  const auto cause = results::waitCauseOf(why.kind());
  if (!cause) return false;
  const std::string roster = write.roster;
  try {
    journal_->add(std::move(write));
  } catch (const store::StoreError& e) {
    const QString said = data_.refused(e, "pending writes");
    if (!said.isEmpty()) services_.dialogs->message(window_, said, QStringLiteral("警告"), MessageIcon::Critical);
    return false;
  }
  cause_ = *cause;
  holder_ = q(why.holder());
  refresh();
  emit changed();
  soon_->start();  // a class changed on disk can take it at once, by number and name
  return true;
}

void PendingWrites::retry(bool force) {
  if (retrying_) return;
  try {
    journal_->sync();  // another process may have written or added some
  } catch (const std::exception& e) {
    log::write("pending writes", e.what());
  }
  if (journal_->writes().empty()) {
    failed_.clear();
    refresh();
    return;
  }
  retrying_ = true;
  const std::set<std::string> rosters = rostersOf(journal_->writes());
  std::erase_if(failed_, [&](const auto& f) { return !rosters.count(f.first); });
  bool wrote = false;
  for (const std::string& path : rosters) {
    const results::RosterStamp stamp = results::stampOf(path);
    const std::string ids = idsFor(journal_->writes(), path);
    const auto known = failed_.find(path);
    // Nothing changed since the last try failed: it would fail again.
    if (!force && known != failed_.end() && known->second.stamp == stamp && known->second.ids == ids) continue;
    // A workbook of its own, read now: the window's open workbook is never touched, and
    // notices the saved file the next time it is used.
    Failed failure;
    failure.stamp = stamp;
    roster::FileLock lock;
    try {
      if (results::flushPending(*journal_, path, &lock) > 0) {
        wrote = true;
        failure.stamp = results::stampOf(path);  // the file this save wrote
      }
      // Written, or nothing of it could be placed (a student not in the class): both wait
      // for the file to change.
      failure.cause = results::WaitCause::None;
    } catch (const roster::WorkbookError& e) {
      failure.cause = results::waitCauseOf(e.kind()).value_or(results::WaitCause::Missing);
      failure.holder = q(e.holder());
      failure.staleLock = lock.removable();
      log::write("pending writes", e.what(), path);
    } catch (const std::exception& e) {
      failure.cause = results::WaitCause::Missing;
      log::write("pending writes", e.what(), path);
    }
    failure.ids = idsFor(journal_->writes(), path);
    if (failure.ids.empty()) failed_.erase(path);
    else failed_[path] = failure;
  }
  cause_ = results::WaitCause::None;
  holder_.clear();
  for (const auto& [path, f] : failed_) {
    if (f.cause == results::WaitCause::None) continue;
    cause_ = f.cause;
    holder_ = f.holder;
  }
  retrying_ = false;
  refresh();
  if (wrote) emit changed();
}

std::vector<const results::PendingWrite*> PendingWrites::marksFor(const QString& roster, const QString& sheet,
                                                                  const QString& date, const QString& number,
                                                                  const QString& name) const {
  // The store names a roster as the roster component resolves it (with backslashes on Windows).
  const std::string key = utf8FromPath(roster::samePlace(pathFromUtf8(roster.toStdString())));
  std::vector<const results::PendingWrite*> found;
  for (const auto& w : journal_->writes()) {
    if (w.kind == results::PendingKind::Mark && (w.roster == key || w.roster == roster.toStdString()) &&
        q(w.sheet) == sheet && q(w.date) == date && q(w.number).trimmed() == number.trimmed() &&
        q(w.name).trimmed() == name.trimmed())
      found.push_back(&w);
  }
  return found;
}

void PendingWrites::discard(const std::vector<std::uint64_t>& ids) {
  try {
    journal_->remove(ids);
  } catch (const store::StoreError& e) {
    // They stay in the store and in the list.
    const QString said = data_.refused(e, "pending writes");
    if (!said.isEmpty()) services_.dialogs->message(window_, said, QStringLiteral("警告"), MessageIcon::Critical);
  }
  refresh();
  emit changed();
}

void PendingWrites::askBeforeClosing() {
  const int n = static_cast<int>(journal_->writes().size());
  if (n == 0) return;
  // Yes, the default button, keeps them.
  const bool keep = services_.dialogs->ask(
      window_, QStringLiteral("还有%1条成绩或分组没有写入名单。\n保留它们，下次启动时再写入吗？（选“否”将丢弃它们）").arg(n),
      applicationTitle(), true);
  if (keep) return;
  std::vector<std::uint64_t> ids;
  for (const auto& w : journal_->writes()) ids.push_back(w.id);
  discard(ids);
}

QString PendingWrites::describe(const results::PendingWrite& w) {
  QString text = q(w.sheet) + QStringLiteral("  ") + q(w.date) + QStringLiteral("  ");
  if (w.kind == results::PendingKind::Mark)
    text += QStringLiteral("%1号 %2  %3分").arg(q(w.number), q(w.name), q(w.score));
  else
    text += QStringLiteral("分组（%1人）").arg(w.groups.size());
  if (w.unmatched) text += QStringLiteral("  （名单中找不到该学生）");
  return text;
}

void PendingWrites::refresh() {
  const auto& writes = journal_->writes();
  int marks = 0, groups = 0, unmatched = 0;
  for (const auto& w : writes) {
    (w.kind == results::PendingKind::Mark ? marks : groups) += 1;
    if (w.unmatched) ++unmatched;
  }
  if (writes.empty()) {
    line_->setCaption(QString());
    line_->hide();
    again_->stop();
    watch();
    return;
  }
  QString count = marks > 0 ? QStringLiteral("%1条成绩").arg(marks) : QString();
  if (groups > 0) count += (count.isEmpty() ? QString() : QStringLiteral("和")) + QStringLiteral("%1次分组").arg(groups);
  QString text = count + QStringLiteral("待写入：");
  const bool onlyUnmatched = cause_ == results::WaitCause::None;
  text += causeText(cause_, holder_);
  if (unmatched > 0 && !onlyUnmatched) text += QStringLiteral("（%1条找不到学生，点击查看）").arg(unmatched);
  line_->setCaption(text);
  line_->show();
  line_->raise();
  if (!again_->isActive()) again_->start();
  watch();
}

void PendingWrites::watch() {
  QStringList wanted;
  for (const auto& w : journal_->writes()) {
    const QFileInfo file(q(w.roster));
    wanted << file.absoluteFilePath() << file.absolutePath();
  }
  wanted.removeDuplicates();
  QStringList watched = watcher_->files() + watcher_->directories();
  for (const QString& path : watched)
    if (!wanted.contains(path)) watcher_->removePath(path);
  watched = watcher_->files() + watcher_->directories();
  for (const QString& path : wanted)
    if (!watched.contains(path) && QFileInfo::exists(path)) watcher_->addPath(path);
}

bool PendingWrites::lockMayBeStale() const {
  if (cause_ != results::WaitCause::Held) return false;
  // What the last try read from the lock files; the roster itself is not read for it.
  for (const auto& [path, f] : failed_)
    if (f.cause == results::WaitCause::Held && f.staleLock) return true;
  return false;
}

void PendingWrites::releaseLock() {
  for (const std::string& path : rostersOf(journal_->writes())) {
    try {
      roster::Workbook book = roster::Workbook::open(pathFromUtf8(path));
      const roster::FileLock lock = book.lock();
      if (!lock.removable()) continue;
      // Asked even about a lock declined before: the teacher asked for it.
      if (!confirmStaleLock(lock, *services_.dialogs, window_, &declined_, true)) return;
      book.removeStaleLock(lock);  // a lock changed in between stays, and is asked about at the next save
    } catch (const std::exception& e) {
      // Not readable now: the retry below says why.
      log::write("releasing a lock", e.what(), path);
    }
  }
  retry(true);
}

void PendingWrites::showList() {
  auto* dialog = new QDialog(window_);
  dialog->setObjectName(QStringLiteral("FrmDxr"));
  dialog->setWindowTitle(QStringLiteral("待写入的成绩"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* list = new QListWidget(dialog);
  list->setObjectName(QStringLiteral("lstDxr"));
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto fill = [this, list] {
    list->clear();
    for (const auto& w : journal_->writes()) {
      auto* item = new QListWidgetItem(describe(w), list);
      item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(w.id));
    }
  };
  fill();
  auto* copy = new QPushButton(QStringLiteral("复制"), dialog);
  copy->setObjectName(QStringLiteral("cmdDxrCopy"));
  auto* drop = new QPushButton(QStringLiteral("丢弃所选"), dialog);
  drop->setObjectName(QStringLiteral("cmdDxrDiscard"));
  auto* release = new QPushButton(QStringLiteral("解除占用…"), dialog);
  release->setObjectName(QStringLiteral("cmdDxrUnlock"));
  auto* close = new QPushButton(QStringLiteral("关闭"), dialog);
  connect(copy, &QPushButton::clicked, dialog, [list] {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  connect(drop, &QPushButton::clicked, dialog, [this, list] {
    std::vector<std::uint64_t> ids;
    for (const QListWidgetItem* item : list->selectedItems()) ids.push_back(item->data(Qt::UserRole).toULongLong());
    if (!ids.empty()) discard(ids);
  });
  connect(this, &PendingWrites::changed, list, fill);
  auto offerRelease = [this, release] { release->setVisible(lockMayBeStale()); };
  offerRelease();
  connect(this, &PendingWrites::changed, release, offerRelease);
  connect(release, &QPushButton::clicked, this, [this, offerRelease] {
    releaseLock();
    offerRelease();
  });
  connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy);
  buttons->addWidget(drop);
  buttons->addWidget(release);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(list);
  layout->addLayout(buttons);
  dialog->resize(480, 300);
  dialog->show();
}

}  // namespace velquor
