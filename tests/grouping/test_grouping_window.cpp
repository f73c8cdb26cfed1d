// The group rule and the groupings in the real main window, offscreen, on a class of 48.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <map>
#include <set>

#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"
#include "app/widgets.h"
#include "roster/workbookset.h"

using namespace velquor;
using namespace velquor::test;

namespace {

const QString kCountRefusal = QStringLiteral("请输入正确的组数，值范围为[1~48]");
const QString kSizeRefusal = QStringLiteral("请输入每组的人数，值范围为[1~48]");

FrmMd& startWithClass(Scenario& s, RandomSource* random = nullptr) {
  copyFixture(QStringLiteral("lo-roster3.xls"), s.fakes.programFolder.path());
  FrmMd& w = s.start(random);
  w.OptFl[0]->click();
  return w;
}

// Types into a rule box and leaves it for another control, as the teacher tabs on.
void typeAndLeave(FrmMd& w, int box, const QString& text) {
  w.txtFz[box]->setFocus(Qt::MouseFocusReason);
  w.txtFz[box]->setText(text);
  w.CmbXm->setFocus(Qt::TabFocusReason);
}

std::vector<int> groupSizes(const FrmMd& w) {
  std::vector<int> sizes;
  for (int g = 1; g <= w.groupTable.groupCount(); ++g) sizes.push_back(static_cast<int>(w.groupTable.members(g).size()));
  return sizes;
}

}  // namespace

class TestGroupingWindow : public QObject {
  Q_OBJECT
 private slots:
  void refusedRulesChangeNothing() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    int expected = 0;
    for (const QString& text : {QStringLiteral("0"), QString(), QStringLiteral("abc"), QStringLiteral("49"),
                                QStringLiteral("40000")}) {
      typeAndLeave(w, 0, text);
      ++expected;
      QCOMPARE(int(s.fakes.dialogs.messages.size()), expected);
      QCOMPARE(s.fakes.dialogs.messages.back().text, kCountRefusal);
      QCOMPARE(s.fakes.dialogs.messages.back().title, QStringLiteral("Velquor"));
      QCOMPARE(s.fakes.dialogs.messages.back().icon, MessageIcon::None);
      QCOMPARE(QApplication::focusWidget(), w.txtFz[0]);
      QCOMPARE(w.groupCount, 1);
      QCOMPARE(w.txtFz[1]->text(), QStringLiteral("48"));
      QVERIFY(!w.CmdFz[0]->isEnabled() && !w.CmdFz[1]->isEnabled());
    }
    // Persons per group: its own message, and the group count box keeps its text.
    w.OptFz[1]->click();
    QVERIFY(w.txtFz[1]->isEnabled() && !w.txtFz[0]->isEnabled());
    const QString countText = w.txtFz[0]->text();
    typeAndLeave(w, 1, QStringLiteral("0"));
    QCOMPARE(s.fakes.dialogs.messages.back().text, kSizeRefusal);
    QCOMPARE(w.txtFz[0]->text(), countText);
    QCOMPARE(QApplication::focusWidget(), w.txtFz[1]);
  }

  void acceptedRulesDeriveTheOtherNumberAndAwaitAGrouping() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    const std::map<QString, std::pair<int, int>> countRules = {
        {"48", {48, 1}}, {"6.5", {6, 8}}, {"7.5", {8, 6}}, {"3abc", {3, 16}}, {"5", {5, 10}}};
    for (const auto& [text, rule] : countRules) {
      typeAndLeave(w, 0, text);
      QCOMPARE(w.groupCount, rule.first);
      QCOMPARE(w.groupSize, rule.second);
      QCOMPARE(w.txtFz[1]->text(), QString::number(rule.second));
    }
    QVERIFY(s.fakes.dialogs.messages.empty());
    QVERIFY(w.CmdFz[0]->isEnabled() && w.CmdFz[1]->isEnabled());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("确认\r\n分组"));
    QVERIFY(!w.lblXm->isEnabled());

    // Enter confirms before the box is left.
    w.CmdFz[0]->setEnabled(false);
    w.OptFz[1]->click();
    w.txtFz[1]->setFocus(Qt::MouseFocusReason);
    w.txtFz[1]->setText(QStringLiteral("7"));
    QTest::keyClick(w.txtFz[1], Qt::Key_Return);
    QVERIFY(w.CmdFz[0]->isEnabled());
    QCOMPARE(w.groupCount, 7);
    QCOMPARE(w.txtFz[0]->text(), QStringLiteral("7"));

    // In order: seven groups, the last one short.
    w.CmdFz[1]->click();
    QCOMPARE(groupSizes(w), std::vector<int>({7, 7, 7, 7, 7, 7, 6}));
    QCOMPARE(w.List2->count(), 7);
    QCOMPARE(w.LabXx->caption(), QStringLiteral("48人分7组，第1组有7人"));
    QVERIFY(w.lblXm->isEnabled());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("随机\r\n点名"));
    QVERIFY(w.CmdXie[0]->isEnabled());
  }

  void randomGroupingsArePartitionsWithTheInOrderSizes() {
    Scenario s;
    SeededRandom random(20261205);
    FrmMd& w = startWithClass(s, &random);
    typeAndLeave(w, 0, QStringLiteral("6"));
    for (int run = 0; run < 5; ++run) {
      w.CmdFz[0]->click();
      QCOMPARE(groupSizes(w), std::vector<int>(6, 8));
      QCOMPARE(w.List2->count(), 6);  // rebuilt, never appended to
      std::set<int> seen;
      for (int g = 1; g <= 6; ++g) {
        for (const auto& member : w.groupTable.members(g)) {
          QVERIFY(seen.insert(member.student).second);
          const auto& row = std::get<rollcall::NameTable>(w.studentTable)[static_cast<std::size_t>(member.student)];
          QCOMPARE(row.group.toInteger(), std::optional<int>(g));
          QCOMPARE(row.name, member.name);
        }
      }
      QCOMPARE(int(seen.size()), 48);
      QCOMPARE(w.LabXx->caption(), QStringLiteral("48人分6组，第1组有8人"));
    }
    // Browsing: group 5's members and one of them.
    w.List2->setCurrentRow(4);
    QCOMPARE(w.currentGroup, 5);
    QCOMPARE(w.List1->count(), 8);
    QCOMPARE(w.LabXx->caption(), QStringLiteral("48人分6组，第5组有8人"));
    w.List1->setCurrentRow(2);
    const auto& third = w.groupTable.members(5)[2];
    QCOMPARE(w.currentNumber, third.number.toInteger().value());
    QCOMPARE(w.LabCz->caption(), QStringLiteral("第 5 组 %1 号 %2")
                                     .arg(QString::fromStdString(third.number.toText()),
                                          QString::fromStdString(third.name.toText())));
  }

  void callsBetweenANewRuleAndItsGroupingKeepTheProgramRunning() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    w.chkGd->click();  // rolling off
    s.fakes.random.fallback = 0.99;
    // The rule is typed but not confirmed; the pick button's focus move confirms it, and
    // the pick then searches a table that still holds one group.
    w.txtFz[0]->setFocus(Qt::MouseFocusReason);
    w.txtFz[0]->setText(QStringLiteral("6"));
    w.lblXm->clicked();
    QCOMPARE(w.groupCount, 6);
    QCOMPARE(w.groupTable.groupCount(), 1);
    // "下一个" is not locked with the name label.
    w.cmdNext[1]->click();
    // A display switch enables the name label again.
    w.MnXs[1]->trigger();
    w.lblXm->clicked();
    QVERIFY(w.isVisible());
    QCOMPARE(w.groupCount, 6);
    // The name label follows the rule in force: several groups give a group prefix.
    w.List1->setCurrentRow(0);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 组 1 号 \r\n赵强勇"));
  }

  void hidingTheFramesIsNotLeavingARuleBox() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    w.txtFz[0]->setFocus(Qt::MouseFocusReason);
    w.txtFz[0]->setText(QStringLiteral("0"));
    w.MnXs[0]->trigger();  // 极简 hides the grouping frame
    QVERIFY(s.fakes.dialogs.messages.empty());
    QCOMPARE(w.groupCount, 1);
    QVERIFY(!w.CmdFz[0]->isEnabled());
  }

  void aRefusedRuleIsReportedOnceWhenTheFocusMovesToTheOtherBox() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    QVERIFY(w.txtFz[1]->isEnabled());
    w.txtFz[0]->setFocus(Qt::MouseFocusReason);
    w.txtFz[0]->setText(QStringLiteral("0"));
    w.txtFz[1]->setFocus(Qt::MouseFocusReason);
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(QApplication::focusWidget(), w.txtFz[0]);
  }

  void aNewClassStartsWithNobodyCalled() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    w.List1->setCurrentRow(6);
    QCOMPARE(w.currentNumber, 7);
    w.MnBj[2]->trigger();
    QCOMPARE(w.currentNumber, 0);
  }

  void aGroupingThatCannotRunReloadsOnceAndThenSaysSo() {
    Scenario s;
    FrmMd& w = startWithClass(s);
    typeAndLeave(w, 0, QStringLiteral("6"));
    // The roster disappears and the class table is lost: the reload fails too.
    QFile::remove(QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls")));
    w.rosterApp.reset();
    w.studentTable = std::monostate{};
    w.CmdFz[1]->click();
    // One message, the class loader's, naming the cause.
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QVERIFY(s.fakes.dialogs.messages[0].text.contains(QStringLiteral("找不到名单文件")));
    QCOMPARE(s.fakes.dialogs.messages[0].icon, MessageIcon::Critical);
    QVERIFY(w.isEnabled());
    // The roster back in place: the reload restores the class and the grouping runs.
    copyFixture(QStringLiteral("lo-roster3.xls"), s.fakes.programFolder.path());
    w.studentTable = std::monostate{};
    w.CmdFz[1]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(w.List2->count(), 1);  // the reload reset the rule to one group
  }
};

QTEST_MAIN(TestGroupingWindow)
#include "test_grouping_window.moc"
