#include "app/rostersave.h"

#include <QString>

#include "app/services.h"
#include "roster/workbook.h"

namespace velquor {

void saveRoster(roster::Workbook& book, Dialogs& dialogs, QWidget* parent) {
  try {
    book.save();
  } catch (const roster::WorkbookError& e) {
    if (e.kind() != roster::ErrorKind::Held) throw;
    const roster::FileLock lock = book.lock();
    if (!lock.removable()) throw;
    QString who = lock.name.empty() ? QStringLiteral("另一个程序") : QStringLiteral("“%1”").arg(QString::fromStdString(lock.name));
    if (!lock.host.empty()) who += QStringLiteral("（%1）").arg(QString::fromStdString(lock.host));
    QString text = QStringLiteral("名单文件正被%1占用").arg(who);
    if (!lock.since.empty()) text += QStringLiteral("，占用时间：%1").arg(QString::fromStdString(lock.since));
    text += QStringLiteral("。\n如果确认该程序已经关闭（例如它曾意外退出），可以解除占用后保存。\n是否解除占用并保存？");
    if (!dialogs.confirm(parent, text, QStringLiteral("警告"))) throw;
    if (!book.removeStaleLock(lock)) throw;
    book.save();
  }
}

}  // namespace velquor
