// Grouping: the group rule, forming groups, browsing them.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "grouping/captions.h"
#include "grouping/formation.h"
#include "app/frmmd.h"
#include "grouping/grouprule.h"
#include "core/log.h"
#include "core/numtext.h"
#include "app/widgets.h"

namespace velquor {

void FrmMd::connectGrouping() {
  for (int i = 0; i < 2; ++i) {
    connect(OptFz[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on && codeChange_ == 0) onOptFzClick(i);
    });
    txtFz[i]->installEventFilter(new EventHook(this, [this, i](QEvent* event) {
      if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) onTxtFzConfirm();
      } else if (isFocusLossToControl(event) && txtFz[i]->isVisible()) {
        onTxtFzConfirm();
      }
    }));
    connect(CmdFz[i], &QPushButton::clicked, this, [this, i] { onCmdFzClick(i); });
  }
  connect(List2, &QListWidget::currentRowChanged, this, [this](int row) {
    if (codeChange_ == 0 && row >= 0) onList2Click();
  });
  connect(List1, &QListWidget::currentRowChanged, this, [this](int row) {
    if (codeChange_ == 0 && row >= 0) onList1Click();
  });
}

// ---- The group rule ----------------------------------------------------------------------

void FrmMd::onOptFzClick(int index) {
  txtFz[0]->setText(QString::number(groupCount));
  txtFz[1]->setText(QString::number(groupSize));
  txtFz[index]->setEnabled(true);
  txtFz[1 - index]->setEnabled(false);
}

void FrmMd::onTxtFzConfirm() {
  if (refocusingRuleBox_) return;
  const int read = OptFz[0]->isChecked() ? 0 : 1;
  const auto mode = read == 0 ? grouping::RuleMode::GroupCount : grouping::RuleMode::PersonsPerGroup;
  const grouping::RuleEntry entry = grouping::confirmRule(mode, txtFz[read]->text().toStdString(), studentCount);
  if (!entry.accepted()) {
    services_.dialogs->message(this, QString::fromStdString(entry.refusal), applicationTitle(),
                               MessageIcon::None);
    // Moving the focus back takes it from the other box, which is not the teacher
    // leaving that box.
    refocusingRuleBox_ = true;
    txtFz[read]->setFocus(Qt::OtherFocusReason);
    refocusingRuleBox_ = false;
    return;
  }
  groupCount = entry.rule->groupCount;
  groupSize = entry.rule->groupSize;
  txtFz[1 - read]->setText(QString::number(read == 0 ? groupSize : groupCount));
  CmdFz[0]->setEnabled(true);
  CmdFz[1]->setEnabled(true);
  // No pick until the groups are formed by the new rule.
  lblXm->setCaption(QStringLiteral("确认\r\n分组"));
  lblXm->setEnabled(false);
}

// ---- Forming groups --------------------------------------------------------------------

void FrmMd::onCmdFzClick(int index) {
  const bool random = index == 0;
  if (formGroupsNow(random)) return;
  // Read the class again (which groups it as one) and try the same grouping once more.
  loadClass();
  if (formGroupsNow(random)) return;
  services_.dialogs->message(this, QStringLiteral("无法分组，请检查名单后重新选择班级。"), QStringLiteral("警告"),
                             MessageIcon::Critical);
}

bool FrmMd::formGroupsNow(bool random) {
  auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  if (!students || studentCount < 1 || static_cast<int>(students->size()) <= studentCount) return false;
  std::vector<grouping::Student> list;
  list.reserve(static_cast<std::size_t>(studentCount));
  for (int i = 1; i <= studentCount; ++i) {
    const auto& row = (*students)[static_cast<std::size_t>(i)];
    list.push_back({row.number, row.name});
  }
  std::optional<grouping::Grouping> formed;
  try {
    formed = grouping::formGroups(list, groupCount, groupSize,
                                  random ? grouping::GroupingOrder::Random : grouping::GroupingOrder::InOrder,
                                  [this] { return services_.random->next(); });
  } catch (const std::exception& e) {
    log::write("grouping", e.what(), rosterPath.toStdString());
    return false;
  }
  if (!formed) return false;

  groupTable = std::move(formed->table);
  for (int i = 1; i <= studentCount; ++i)
    (*students)[static_cast<std::size_t>(i)].group = Variant::fromNumber(formed->groupOf[static_cast<std::size_t>(i - 1)]);

  ++codeChange_;
  List2->clear();
  List1->clear();
  list1Group_ = 0;
  QStringList groupRows;
  for (int g = 1; g <= groupTable.groupCount(); ++g) groupRows.append(QString::number(g));
  List2->addItems(groupRows);
  --codeChange_;
  if (List2->count() > 0) setListIndex(List2, 0, &FrmMd::onList2Click);

  CmdXie[0]->setEnabled(true);
  lblXm->setEnabled(true);
  lblXm->setCaption(OptDmFs[0]->isChecked() ? QStringLiteral("随机\r\n点名") : QStringLiteral("顺序\r\n点名"));
  LabXx->setCaption(QString::fromStdString(grouping::summaryCaption(
      studentCount, groupCount, currentGroup, static_cast<int>(groupTable.members(currentGroup).size()))));
  return true;
}

// ---- Browsing -----------------------------------------------------------------------------

void FrmMd::onList2Click() {
  const QListWidgetItem* item = List2->currentItem();
  if (!item) return;
  currentGroup = toInteger(leadingNumber(item->text().toStdString())).value_or(0);
  const auto& members = groupTable.members(currentGroup);
  // Refilling the member list of a large class is the slow part of a rolling pick, so a
  // list that already shows this group is kept.
  if (list1Group_ != currentGroup || List1->count() != static_cast<int>(members.size())) {
    QStringList names;
    names.reserve(static_cast<qsizetype>(members.size()));
    for (const std::string& name : grouping::memberNames(groupTable, currentGroup))
      names.append(QString::fromStdString(name));
    ++codeChange_;
    List1->clear();
    List1->addItems(names);
    --codeChange_;
    list1Group_ = currentGroup;
    showAbsentInList1();
  } else {
    ++codeChange_;
    List1->setCurrentRow(-1);
    --codeChange_;
  }
  LabXx->setCaption(QString::fromStdString(
      grouping::summaryCaption(studentCount, groupCount, currentGroup, static_cast<int>(members.size()))));
}

void FrmMd::onList1Click() {
  const auto selection = grouping::selectMember(groupTable, groupCount, currentGroup, List1->currentRow());
  if (!selection) return;
  // A number that is not a whole 16-bit number names nobody rather than someone else.
  currentNumber = selection->number.value_or(0);
  LabCz->setCaption(QString::fromStdString(selection->memberCaption));
  lblXm->setCaption(QString::fromStdString(selection->nameCaption));
}

}  // namespace velquor
