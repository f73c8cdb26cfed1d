// Choosing the student and writing groups and marks in the real main window, offscreen,
// on copies of roster workbooks; what is written is read back by our reader and, where
// installed, by Gnumeric as an independent reader.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "core/filepath.h"
#include "tests/roster/helpers.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"
#include "roster/workbook.h"
#include "app/widgets.h"
#include "app/frmmd.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Cell;
using velquor::roster::Workbook;

namespace {

QString folderOf(Scenario& s) { return s.fakes.programFolder.path(); }

// A class of `n` with lesson days 12月01 (F) and 12月03 (G) and an empty heading in H;
// `today` gives marks already in H by student number.
Workbook::SheetRows classRows(int n, const std::map<int, std::string>& today = {}) {
  Workbook::SheetRows rows = {{"三年级二班"}, {"学号", "姓名", "性别", "备注", "组别", "12月01", "12月03"}};
  for (int i = 1; i <= n; ++i) {
    std::vector<std::string> row = {std::to_string(i), "学生" + std::to_string(i), "", "", "", "1", "2", ""};
    if (today.count(i)) row[7] = today.at(i);
    rows.push_back(row);
  }
  return rows;
}

Cell cellAt(const QString& path, int sheet, int row, int col) {
  return Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(sheet, row, col);
}

void choose(FrmMd& w, int number) { chooseStudent(w, number); }

void score(FrmMd& w, const QString& value) { w.Combo1[0]->setEditText(value); }

// A roster of one class of five in the program's folder, its student 2 called.
FrmMd& callSecondOfFive(Scenario& s, const QString& path) {
  writeWorkbook(path, {{"一班", classRows(5)}});
  FrmMd& w = s.start();
  w.OptFl[0]->click();
  choose(w, 2);
  return w;
}

// Every cell of every sheet as Gnumeric prints it matches what our reader reads.
void checkWithGnumeric(const QString& path) {
  if (!rostertest::haveProgram("ssconvert")) {
    qInfo("ssconvert not installed: the independent read-back is skipped");
    return;
  }
  rostertest::TempDir work;
  const Workbook book = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
  const auto sheets = rostertest::gnumericSheets(path.toStdString(), work.path());
  QCOMPARE(static_cast<int>(sheets.size()), book.sheetCount());
  for (int s = 1; s <= book.sheetCount(); ++s) {
    const auto it = sheets.find(book.sheetName(s));
    QVERIFY(it != sheets.end());
    const auto differences = rostertest::compareSheet(book, s, it->second);
    QVERIFY2(differences.empty(), differences.empty() ? "" : differences.front().c_str());
  }
}

}  // namespace

class TestResultsWindow : public QObject {
  Q_OBJECT
 private slots:
  void choosingAStudentShowsItAndCountsAsACall() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    w.txtFz[0]->setText(QStringLiteral("6"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();  // six groups of eight, in order
    QVERIFY(!w.CmdXie[1]->isEnabled());
    const int poolBefore = w.pickPoolCount;
    choose(w, 11);  // the third member of group 2
    QCOMPARE(w.List2->currentRow(), 1);
    QCOMPARE(w.List1->currentRow(), 2);
    QCOMPARE(w.currentNumber, 11);
    QVERIFY(w.lblXm->caption().startsWith(QStringLiteral("2 组 11 号 \r\n")));
    QCOMPARE(w.pickPoolCount, poolBefore - 1);
    QVERIFY(w.CmdXie[1]->isEnabled());
  }

  void aStudentOfAClassNoLongerLoadedCannotBeScored() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    w.OptFl[1]->click();  // numbers: the pool becomes a range
    QFile::remove(path);
    w.OptFl[0]->click();  // no roster any more, and no file chosen
    QVERIFY(std::holds_alternative<rollcall::RangeTable>(w.pickPool));
    QCOMPARE(w.CmbXm->count(), 48);  // the earlier class's entries are still listed
    w.CmdXie[1]->setEnabled(false);
    choose(w, 3);
    QVERIFY(!w.CmdXie[1]->isEnabled());
  }

  void marksAddUpInTodaysColumnUnderANewHeading() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    writeWorkbook(path, {{"一班", classRows(10, {{3, "3"}, {2, "2"}, {4, "3"}, {5, "缺席"}})}});
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.todayColumn, 8);  // H: the first empty heading on December 5
    choose(w, 7);
    score(w, QStringLiteral("5"));
    w.CmdXie[1]->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    QCOMPARE(QString::fromStdString(cellAt(path, 1, 2, 8).text), QStringLiteral("12月05"));
    QCOMPARE(cellAt(path, 1, 9, 8).number, 5.0);
    QVERIFY(!w.CmdXie[1]->isEnabled());
    QCOMPARE(s.fakes.sound.played.last(), QStringLiteral("yes.wav"));
    choose(w, 7);
    w.CmdXie[1]->click();
    QCOMPARE(cellAt(path, 1, 9, 8).number, 10.0);

    const std::pair<int, QString> cases[] = {{3, "-2"}, {2, "0.5"}, {4, "0.5"}, {5, "5"}};
    for (const auto& [number, value] : cases) {
      choose(w, number);
      score(w, value);
      w.CmdXie[1]->click();
    }
    QCOMPARE(cellAt(path, 1, 5, 8).number, 1.0);  // 3 - 2
    QCOMPARE(cellAt(path, 1, 4, 8).number, 2.0);  // 2 + 0.5 rounds to 2
    QCOMPARE(cellAt(path, 1, 6, 8).number, 4.0);  // 3 + 0.5 rounds to 4
    QCOMPARE(cellAt(path, 1, 7, 8).number, 5.0);  // a text without a number counts as 0
    QCOMPARE(cellAt(path, 1, 7, 8).kind, Cell::Kind::Number);
    QCOMPARE(cellAt(path, 1, 9, 7).number, 2.0);  // the day before is untouched
    checkWithGnumeric(path);

    // Marks written today leave their students out of the day's pool at the next load.
    w.MnBj[0]->trigger();
    QCOMPARE(w.pickPoolCount, 10 - 5);
  }

  void anExistingHeadingForTodayIsKept() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    writeWorkbook(path, {{"一班", classRows(4)}});
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 3), QTime(10, 0));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.todayColumn, 7);
    const Workbook before = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    choose(w, 2);
    score(w, QStringLiteral("4"));
    w.CmdXie[1]->click();
    const Workbook after = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    QCOMPARE(after.cell(1, 4, 7).number, 6.0);  // 2 + 4
    QCOMPARE(after.cell(1, 2, 7).text, before.cell(1, 2, 7).text);
    QCOMPARE(after.cell(1, 2, 8).kind, Cell::Kind::Empty);
  }

  void aDateValuedHeadingCountsAsTodayWhenItShowsAsToday() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 4), QTime(8, 0));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.todayColumn, 8);      // H2 holds the date 2026-12-04, not the text 12月04
    QCOMPARE(w.pickPoolCount, 48);   // everybody has a mark that day: all are back
    choose(w, 43);
    score(w, QStringLiteral("1"));
    w.CmdXie[1]->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    const Workbook book = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    QCOMPARE(book.cell(1, 45, 8).number, 7.0);  // 6 + 1
    QCOMPARE(book.cell(1, 2, 8).kind, Cell::Kind::Number);  // the date heading stays a date
    QVERIFY(book.cell(1, 2, 8).isDate);
    QCOMPARE(book.cell(1, 2, 9).text, std::string("12月05"));
    checkWithGnumeric(path);
  }

  void groupsAreWrittenIntoColumnE() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("gn-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.studentCount, 48);
    w.txtFz[0]->setText(QStringLiteral("6"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();
    QVERIFY(w.CmdXie[0]->isEnabled());
    w.CmdXie[0]->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    QVERIFY(!w.CmdXie[0]->isEnabled());
    const Workbook book = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    for (int i = 1; i <= 48; ++i) QCOMPARE(book.cell(1, i + 2, 5).number, double((i - 1) / 8 + 1));
    QCOMPARE(book.cell(1, 2, 5).text, std::string("组别"));  // the heading is not touched
    QCOMPARE(book.cell(1, 51, 5).kind, Cell::Kind::Empty);
    checkWithGnumeric(path);
  }

  void aWriteThatCannotBeSavedLeavesTheFileAsItWas() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    writeWorkbook(path, {{"一班", classRows(60, {{2, "32767"}})}});
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    const QByteArray original = fileBytes(path);

    // A sum past the 16-bit range.
    choose(w, 2);
    score(w, QStringLiteral("5"));
    w.CmdXie[1]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QVERIFY(s.fakes.dialogs.messages.back().text.endsWith(QStringLiteral("成绩没有保存。")));
    QCOMPARE(fileBytes(path), original);
    QVERIFY(w.CmdXie[1]->isEnabled());

    // The roster is held by another program: the file is untouched and the mark waits,
    // to be added once when the roster is free again.
    choose(w, 3);
    const QString lock = QDir(folderOf(s)).filePath(QStringLiteral(".~lock.点名册.xls#"));
    QFile(lock).open(QIODevice::WriteOnly);
    const std::size_t messages = s.fakes.dialogs.messages.size();
    w.CmdXie[1]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), messages);
    QCOMPARE(fileBytes(path), original);
    QVERIFY(!w.CmdXie[1]->isEnabled());
    QFile::remove(lock);
    QTRY_COMPARE_WITH_TIMEOUT(cellAt(path, 1, 5, 8).number, 5.0, 8000);
  }

  void aWriteThatMustWaitNamesItsCause() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    FrmMd& w = callSecondOfFive(s, path);
    QFile lock(QDir(folderOf(s)).filePath(QStringLiteral(".~lock.点名册.xls#")));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("王老师,teacher,classroom-pc,05.12.2026 08:55,file:///home/teacher;\n");
    lock.close();
    w.CmdXie[1]->click();
    QCOMPARE(w.lblDxr->caption(), QStringLiteral("1条成绩待写入：名单正被王老师（classroom-pc）在其他程序中打开"));
    QFile::remove(lock.fileName());
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    QCOMPARE(cellAt(path, 1, 4, 8).number, 5.0);
    // The roster was moved away (a memory stick pulled out) before the groups are written.
    w.txtFz[0]->setText(QStringLiteral("2"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();
    QVERIFY(QFile::rename(path, path + QStringLiteral(".moved")));
    w.CmdXie[0]->click();
    QCOMPARE(w.lblDxr->caption(), QStringLiteral("1次分组待写入：找不到名单文件（驱动器或文件不在）"));
    QVERIFY(!w.CmdXie[0]->isEnabled());
    for (const auto& m : s.fakes.dialogs.messages) QVERIFY(!m.text.endsWith(QStringLiteral("没有保存。")));
  }

  void aLockLeftByACrashedProgramIsRemovedOnceTheTeacherConfirms() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    writeWorkbook(path, {{"一班", classRows(5)}});
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    const QByteArray original = fileBytes(path);
    const QString lock = QDir(folderOf(s)).filePath(QStringLiteral(".~lock.点名册.xls#"));
    QFile f(lock);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("王老师,wang,office-pc,04.12.2026 16:20,file:///home/wang/.config/lo;").toUtf8());
    f.close();
    choose(w, 2);
    score(w, QStringLiteral("3"));
    // The teacher does not confirm: the file and the lock stay, and the mark waits.
    w.CmdXie[1]->click();
    QCOMPARE(s.fakes.dialogs.questions.size(), std::size_t(1));
    const QString question = s.fakes.dialogs.questions.back().text;
    QVERIFY2(question.contains(QStringLiteral("王老师")) && question.contains(QStringLiteral("office-pc")) &&
                 question.contains(QStringLiteral("04.12.2026 16:20")),
             qPrintable(question));
    QCOMPARE(fileBytes(path), original);
    QVERIFY(QFile::exists(lock));
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("1条成绩待写入")));
    // The next mark waits without asking again about the same lock.
    choose(w, 3);
    score(w, QStringLiteral("2"));
    w.CmdXie[1]->click();
    QCOMPARE(s.fakes.dialogs.questions.size(), std::size_t(1));
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("2条成绩待写入")));
    // The list of waiting marks asks the same question; confirmed, the lock goes and both
    // marks are written, each once.
    QTest::mouseClick(w.lblDxr, Qt::LeftButton);
    auto* release = w.findChild<QPushButton*>(QStringLiteral("cmdDxrUnlock"));
    QVERIFY(release && release->isVisible());
    QCOMPARE(release->text(), QStringLiteral("解除占用…"));
    s.fakes.dialogs.askAnswers = {true};
    release->click();
    QCOMPARE(s.fakes.dialogs.questions.size(), std::size_t(2));
    QCOMPARE(s.fakes.dialogs.questions.back().text, question);
    QVERIFY(!QFile::exists(lock));
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    QCOMPARE(cellAt(path, 1, 5, 8).number, 2.0);
    QCOMPARE(cellAt(path, 1, 4, 8).number, 3.0);
    QVERIFY(!release->isVisible());
    for (const auto& m : s.fakes.dialogs.messages) QVERIFY(!m.text.endsWith(QStringLiteral("没有保存。")));
  }

  void aMarkNeverLandsInAnotherStudentsRow() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    Workbook::SheetRows rows = classRows(6);
    rows[2 + 3][0] = "9";    // row 6 holds number 9: the numbers do not follow the rows
    rows[2 + 4][0] = "A12";  // row 7: a number that is no number
    writeWorkbook(path, {{"一班", rows}});
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    const QByteArray original = fileBytes(path);
    choose(w, 9);  // would be row 11, beyond the class
    w.CmdXie[1]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(fileBytes(path), original);
    // The student numbered "A12" is shown but names nobody, so nothing is written.
    w.CmbXm->setCurrentIndex(4);
    w.onCmbXmClick();
    QCOMPARE(w.currentNumber, 0);
    QVERIFY(w.lblXm->caption().contains(QStringLiteral("学生5")));
    w.CmdXie[1]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(2));
    QCOMPARE(fileBytes(path), original);
  }

  void aRosterChangedElsewhereIsNotWrittenOver() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    FrmMd& w = callSecondOfFive(s, path);
    QTest::qWait(20);
    Workbook::SheetRows edited = classRows(5);
    edited[3][1] = "新同学";  // the teacher put another student in row 4
    writeWorkbook(path, {{"一班", edited}});
    const QByteArray onDisk = fileBytes(path);
    w.CmdXie[1]->click();
    // Student 2 no longer stands anywhere: the mark waits, named in the window, and the
    // new student's row is left alone.
    QVERIFY(s.fakes.dialogs.messages.empty());
    QTest::qWait(300);
    QCOMPARE(fileBytes(path), onDisk);
    QVERIFY2(w.lblDxr->caption().contains(QStringLiteral("找不到")), qPrintable(w.lblDxr->caption()));
  }
};

QTEST_MAIN(TestResultsWindow)
#include "test_results_window.moc"
