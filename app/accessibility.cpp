#include "app/accessibility.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "app/frmmd.h"
#include "app/widgets.h"
#include "rollcall/pool.h"

namespace velquor {
namespace {

void name(QWidget* control, const QString& text) {
  control->setAccessibleName(text);
  // An editable drop-down takes the focus in its text line, which a reader names too.
  if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
    combo->lineEdit()->setAccessibleName(text);
}

}  // namespace

void nameEntryControls(FrmMd& w) {
  // Readers that take the name from the label beside a box (as on Linux) find it here.
  w.LblVal1->setBuddy(w.txtXh[0]);
  w.LblVal2->setBuddy(w.txtXh[1]);
  w.Label4->setBuddy(w.cmbXh);
  w.Label3[1]->setBuddy(w.txtFn);
  w.Label3[2]->setBuddy(w.cmbXls);
  w.Label1[0]->setBuddy(w.List2);
  const bool seats = w.rollCategory == rollcall::kSeat;
  name(w.txtXh[0], seats ? QStringLiteral("行数") : QStringLiteral("最小号"));
  name(w.txtXh[1], seats ? QStringLiteral("列数") : QStringLiteral("最大号"));
  name(w.cmbXh, QStringLiteral("当前值"));
  name(w.txtFn, QStringLiteral("点名册文件"));
  name(w.cmbXls, QStringLiteral("班级"));
  name(w.txtFz[0], QStringLiteral("组数"));
  name(w.txtFz[1], QStringLiteral("每组人数"));
  name(w.CmbXm, QStringLiteral("计分学生"));
  name(w.Combo1[0], QStringLiteral("分数"));
  name(w.Combo1[1], QStringLiteral("计时时长"));
  name(w.cmbJsDw, QStringLiteral("计时单位"));
  name(w.cmbJsFs, QStringLiteral("计时方式"));
  name(w.List2, QStringLiteral("组号"));
  name(w.List1, QStringLiteral("组员名单"));
}

namespace {
AnnouncementWatcher watcher = nullptr;
}  // namespace

void announce(QWidget* label) {
  QAccessibleEvent event(label, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
  if (watcher) watcher(label);
}

AnnouncementWatcher watchAnnouncements(AnnouncementWatcher next) {
  const AnnouncementWatcher before = watcher;
  watcher = next;
  return before;
}

}  // namespace velquor
