// Students absent today, through the real main window: out of the day's pool, passed over
// by in-order calls, still grouped, and remembered for the rest of the day only.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "app/widgets.h"
#include "roster/workbook.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Workbook;

namespace {

std::vector<int> poolStudents(const FrmMd& w) {
  std::vector<int> students;
  const auto& pool = std::get<rollcall::NamePool>(w.pickPool);
  for (int p = 1; p <= w.pickPoolCount; ++p) students.push_back(pool[static_cast<std::size_t>(p)].student.toInteger().value_or(0));
  return students;
}

bool contains(const std::vector<int>& list, int value) { return std::find(list.begin(), list.end(), value) != list.end(); }

}  // namespace

class TestAbsenceWindow : public QObject {
  Q_OBJECT
 private slots:
  void anAbsentStudentIsLeftOutOfCallsButNotOutOfGroupsForTheDay() {
    Scenario s;
    SeededRandom random(7);
    Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名", "", "", "组别"}};
    for (int i = 1; i <= 6; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i)});
    writeWorkbook(QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls")), {{"一班", rows}});
    FrmMd& w = s.start(&random);
    w.OptFl[0]->click();
    w.toggleAbsent(3);
    QCOMPARE(w.pickPoolCount, 5);
    QVERIFY(!contains(poolStudents(w), 3));
    QVERIFY(w.List1->item(2)->font().strikeOut());
    QVERIFY(!w.List1->item(1)->font().strikeOut());

    // Random calls, through refills of the pool, never reach the absent student.
    QTest::mouseClick(w.chkGd, Qt::LeftButton);  // no rolling display
    for (int call = 0; call < 20; ++call) {
      w.onLblXmClick();
      QVERIFY(w.currentNumber != 3);
      QVERIFY(!contains(poolStudents(w), 3));
    }
    // In order: 1, 2, 4, ... passing over 3.
    w.OptDmFs[1]->click();
    w.List1->setCurrentRow(-1);
    std::vector<int> called;
    for (int call = 0; call < 6; ++call) {
      w.onLblXmClick();
      called.push_back(w.currentNumber);
    }
    QCOMPARE(called, (std::vector<int>{1, 2, 4, 5, 6, 1}));

    // Grouping still places everybody.
    w.txtFz[0]->setText(QStringLiteral("2"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();
    QCOMPARE(w.List1->count(), 3);
    QVERIFY(w.List1->item(2)->font().strikeOut());

    // The same day after a restart: still absent. Undone: back in the pool.
    s.window.reset();
    FrmMd& again = s.start(&random);
    again.OptFl[0]->click();
    QVERIFY(again.isAbsent(3));
    QVERIFY(!contains(poolStudents(again), 3));
    again.toggleAbsent(3);
    QVERIFY(contains(poolStudents(again), 3));
    again.toggleAbsent(3);

    // The next day nobody is absent.
    s.window.reset();
    s.fakes.clock.current = s.fakes.clock.current.addDays(1);
    FrmMd& tomorrow = s.start(&random);
    tomorrow.OptFl[0]->click();
    QVERIFY(!tomorrow.isAbsent(3));
    QCOMPARE(tomorrow.pickPoolCount, 6);
  }

  // Taking back calls after one of the called students is marked absent: the absent student
  // does not come back into the pool, nobody is there twice, and the label follows.
  void takingBackACallLeavesAnAbsentStudentOutOfThePool() {
    Scenario s;
    SeededRandom random(11);
    Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名"}};
    for (int i = 1; i <= 6; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i)});
    writeWorkbook(QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls")), {{"一班", rows}});
    FrmMd& w = s.start(&random);
    w.OptFl[0]->click();
    QTest::mouseClick(w.chkGd, Qt::LeftButton);  // no rolling display
    const auto checkPool = [&w](int absent) {
      auto pool = poolStudents(w);
      QVERIFY(!contains(pool, absent));
      std::sort(pool.begin(), pool.end());
      QVERIFY(std::adjacent_find(pool.begin(), pool.end()) == pool.end());
    };
    for (const bool markFirst : {false, true}) {
      w.OptFl[1]->click();
      w.OptFl[0]->click();  // a new day's pool
      w.onLblXmClick();
      const int first = w.currentNumber;
      const QString firstCaption = w.lblXm->caption();
      w.onLblXmClick();
      const int second = w.currentNumber;
      const int absent = markFirst ? first : second;
      w.toggleAbsent(absent);
      w.MnCx->trigger();
      QCOMPARE(w.lblXm->caption(), firstCaption);
      QCOMPARE(w.currentNumber, first);
      checkPool(absent);
      QVERIFY(markFirst || !contains(poolStudents(w), first));
      w.MnCx->trigger();
      checkPool(absent);
      w.toggleAbsent(absent);
    }
  }
};

QTEST_MAIN(TestAbsenceWindow)
#include "test_absence_window.moc"
