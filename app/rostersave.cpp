#include "app/rostersave.h"

#include <QString>

#include "app/services.h"
#include "roster/workbook.h"

namespace velquor {

namespace {

std::string keyOf(const roster::FileLock& lock) { return lock.file.string() + '|' + lock.describe(); }

bool askLockIsStale(const roster::FileLock& lock, Dialogs& dialogs, QWidget* parent) {
  QString who = lock.name.empty() ? QStringLiteral("另一个程序") : QStringLiteral("“%1”").arg(QString::fromStdString(lock.name));
  if (!lock.host.empty()) who += QStringLiteral("（%1）").arg(QString::fromStdString(lock.host));
  QString text = QStringLiteral("名单文件正被%1占用").arg(who);
  if (!lock.since.empty()) text += QStringLiteral("，占用时间：%1").arg(QString::fromStdString(lock.since));
  text += QStringLiteral("。\n如果确认该程序已经关闭（例如它曾意外退出），可以解除占用后保存。\n是否解除占用并保存？");
  return dialogs.ask(parent, text, QStringLiteral("警告"), false);
}

}  // namespace

bool confirmStaleLock(const roster::FileLock& lock, Dialogs& dialogs, QWidget* parent, DeclinedLocks* declined,
                      bool askAgain) {
  if (!lock.removable()) return false;
  if (declined && !askAgain && declined->count(keyOf(lock))) return false;
  if (askLockIsStale(lock, dialogs, parent)) return true;
  if (declined) declined->insert(keyOf(lock));
  return false;
}

void saveRoster(roster::Workbook& book, Dialogs& dialogs, QWidget* parent, DeclinedLocks* declined) {
  try {
    book.save();
  } catch (const roster::WorkbookError& e) {
    if (e.kind() != roster::ErrorKind::Held) throw;
    const roster::FileLock lock = book.lock();
    if (!confirmStaleLock(lock, dialogs, parent, declined)) throw;
    if (!book.removeStaleLock(lock)) throw;
    book.save();
  }
}

}  // namespace velquor
