// Grouping: the group rule, forming groups, browsing them.
#include <QListWidget>

#include "frmmd.h"
#include "numtext.h"
#include "widgets.h"

namespace velquor {

void FrmMd::connectGrouping() {}

void FrmMd::onList2Click() {
  const QListWidgetItem* item = List2->currentItem();
  if (!item) return;
  const auto group = toInteger(leadingNumber(item->text().toStdString()));
  if (!group) return;
  currentGroup = *group;
  const auto& members = groupTable.members(currentGroup);
  ++codeChange_;
  List1->clear();
  for (const auto& member : members) List1->addItem(QString::fromStdString(member.name.toText()));
  --codeChange_;
  LabXx->setCaption(QStringLiteral("%1人分%2组，第%3组有%4人")
                        .arg(studentCount)
                        .arg(groupCount)
                        .arg(currentGroup)
                        .arg(members.size()));
}

void FrmMd::onList1Click() {
  const int row = List1->currentRow();
  const auto& members = groupTable.members(currentGroup);
  if (row < 0 || row >= static_cast<int>(members.size())) return;
  const auto& member = members[static_cast<std::size_t>(row)];
  // A number that is not a whole 16-bit number names nobody rather than someone else.
  const auto number = member.number.toInteger();
  currentNumber = number.value_or(0);
  const QString numberText = number ? QString::number(*number) : QString::fromStdString(member.number.toText());
  const QString name = QString::fromStdString(member.name.toText());
  LabCz->setCaption(QStringLiteral("第 %1 组 %2 号 %3").arg(currentGroup).arg(numberText, name));
  const QString prefix = groupCount > 1 ? QStringLiteral("%1 组 ").arg(currentGroup) : QString();
  lblXm->setCaption(prefix + numberText + QStringLiteral(" 号 \r\n") + name);
}

}  // namespace velquor
