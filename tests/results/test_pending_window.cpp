// Marks the roster cannot take at once (held by another program, read-only, changed on
// disk): through the real main window, offscreen, on real roster files and a real journal
// in a temporary data folder.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QAction>
#include <QRadioButton>

#include "core/filepath.h"
#include "app/pendingwrites.h"
#include "app/widgets.h"
#include "roster/workbook.h"
#include "store/programstore.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Workbook;

namespace {

Workbook::SheetRows classRows(int n) {
  Workbook::SheetRows rows = {{"三年级二班"}, {"学号", "姓名", "性别", "备注", "组别", "12月01"}};
  for (int i = 1; i <= n; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i), "", "", "", "1"});
  return rows;
}

double markOf(const QString& path, int row, int col = 7) { return Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(1, row, col).number; }

struct Lesson {
  Scenario s;
  QString path;
  QString lock;
  explicit Lesson(int n = 6) {
    path = QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls"));
    lock = QDir(s.fakes.programFolder.path()).filePath(QStringLiteral(".~lock.点名册.xls#"));
    writeWorkbook(path, {{"一班", classRows(n)}});
  }
  FrmMd& open() {
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    return w;
  }
  void hold() {
    QFile f(lock);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("王老师,teacher,classroom-pc,05.12.2026 09:00,file:///home/teacher;\n");
  }
  void mark(int number, const QString& score) {
    FrmMd& w = *s.window;
    w.CmbXm->setCurrentIndex(number - 1);
    w.onCmbXmClick();
    w.Combo1[0]->setEditText(score);
    w.CmdXie[1]->click();
  }
};

}  // namespace

class TestPendingWindow : public QObject {
  Q_OBJECT
 private slots:
  void aMarkWaitsWhileTheRosterIsHeldAndIsWrittenOnceWhenFree() {
    Lesson l;
    FrmMd& w = l.open();
    l.hold();
    const QByteArray original = fileBytes(l.path);
    l.mark(3, QStringLiteral("5"));
    QVERIFY(s_noMessage(l));
    QVERIFY(!w.CmdXie[1]->isEnabled());  // as after a write
    QVERIFY(w.lblDxr->isVisible());
    QCOMPARE(w.lblDxr->caption(), QStringLiteral("1条成绩待写入：名单正被王老师（classroom-pc）在其他程序中打开"));
    l.mark(3, QStringLiteral("2"));  // a second mark for the same student
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("2条成绩待写入")));
    w.txtFz[0]->setText(QStringLiteral("2"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();
    w.CmdXie[0]->click();  // the group column waits too
    QVERIFY(!w.CmdXie[0]->isEnabled());
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("2条成绩和1次分组待写入")));
    QCOMPARE(fileBytes(l.path), original);

    QFile::remove(l.lock);  // the other program closed the roster: the watcher notices
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    QCOMPARE(markOf(l.path, 5), 7.0);
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(l.path.toStdString())).cell(1, 2, 7).text, std::string("12月05"));
    QCOMPARE(markOf(l.path, 8, 5), 2.0);  // student 6 in group 2
    QTest::qWait(400);  // nothing is applied twice
    QCOMPARE(markOf(l.path, 5), 7.0);
    // Nothing is left waiting in the store either.
    const auto stored = store::Store::open(QDir(l.s.fakes.dataFolder.path()).filePath(QStringLiteral("velquor.db")).toStdString(), "2026-12-05");
    QCOMPARE(stored.problem, store::Problem::None);
    QVERIFY(stored.store->pending().empty());
  }

  // The presentation view (B) hides the controls but not the warning of marks not yet
  // written, and showing the controls again does not bring back a warning gone meanwhile.
  void theWaitingLineStaysThroughThePresentationView() {
    Lesson l;
    FrmMd& w = l.open();
    l.hold();
    l.mark(3, QStringLiteral("5"));
    const auto press = [&w](int k) {
      QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &w;
      QTest::keyClick(target, static_cast<Qt::Key>(k));
    };
    press(Qt::Key_B);
    QVERIFY(w.FraFl->isHidden());
    QVERIFY(w.lblDxr->isVisible());
    QFile::remove(l.lock);
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    press(Qt::Key_B);
    QVERIFY(!w.FraFl->isHidden());
    QVERIFY(w.lblDxr->isHidden());
    QCOMPARE(markOf(l.path, 5), 5.0);
  }

  // Clicker keys pressed in the list of waiting marks or the class table call nobody.
  void clickerKeysInTheWaitingListOrClassTableCallNobody() {
    Lesson l;
    FrmMd& w = l.open();
    l.hold();
    l.mark(3, QStringLiteral("5"));
    QTest::mouseClick(w.lblDxr, Qt::LeftButton);
    auto* list = w.findChild<QListWidget*>(QStringLiteral("lstDxr"));
    QVERIFY(list);
    w.MnCkMd->trigger();
    auto* table = w.findChild<QTableWidget*>();
    QVERIFY(table);
    const int pool = w.pickPoolCount;
    const QString caption = w.lblXm->caption();
    for (QWidget* inDialog : {static_cast<QWidget*>(list), static_cast<QWidget*>(table)}) {
      QApplication::setActiveWindow(inDialog->window());
      inDialog->setFocus();
      for (const Qt::Key k : {Qt::Key_PageDown, Qt::Key_Space, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_B})
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : inDialog, k);
      QCOMPARE(w.pickPoolCount, pool);
      QCOMPARE(w.lblXm->caption(), caption);
      QVERIFY(!w.FraFl->isHidden());
    }
  }

  void aRunOfMarksWhileHeldAsksOncePerLockThenWaitsQuietly() {
    Lesson l;
    FrmMd& w = l.open();
    l.hold();
    const QByteArray original = fileBytes(l.path);
    for (int n = 2; n <= 5; ++n) l.mark(n, QStringLiteral("3"));  // the teacher says No to the lock question
    QCOMPARE(l.s.fakes.dialogs.questions.size(), std::size_t(1));
    QVERIFY(warnings(l) <= 1);
    QVERIFY(s_noMessage(l));
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("4条成绩待写入：名单正被王老师")));
    // Another lock (taken again later) is a new question, once.
    QFile::remove(l.lock);
    {
      QFile f(l.lock);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("王老师,teacher,classroom-pc,05.12.2026 09:40,file:///home/teacher;\n");
    }
    l.mark(6, QStringLiteral("1"));
    l.mark(1, QStringLiteral("1"));
    QCOMPARE(l.s.fakes.dialogs.questions.size(), std::size_t(2));
    QVERIFY(l.s.fakes.dialogs.questions[1].text.contains(QStringLiteral("09:40")));
    QVERIFY(warnings(l) <= 1);
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("6条成绩待写入")));
    QCOMPARE(fileBytes(l.path), original);
  }

  void marksFindTheirStudentsAfterTheClassWasRearrangedAndTheLostOneStaysListed() {
    Lesson l;
    FrmMd& w = l.open();
    l.hold();
    l.mark(2, QStringLiteral("4"));
    l.mark(5, QStringLiteral("3"));
    l.mark(6, QStringLiteral("1"));
    // Meanwhile, in the spreadsheet program: a new student at the top, the class sorted
    // backwards, student 6 deleted; then it is closed.
    Workbook::SheetRows rows = classRows(0);
    rows.push_back({"0", "新同学", "", "", "", "1"});
    for (int i = 5; i >= 1; --i) rows.push_back({std::to_string(i), "学生" + std::to_string(i), "", "", "", "1"});
    writeWorkbook(l.path, {{"一班", rows}});
    QFile::remove(l.lock);
    QTRY_VERIFY_WITH_TIMEOUT(w.lblDxr->caption().startsWith(QStringLiteral("1条成绩待写入")), 8000);
    QCOMPARE(markOf(l.path, 7), 4.0);  // 学生2 now stands in row 7
    QCOMPARE(markOf(l.path, 4), 3.0);  // 学生5 in row 4
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(l.path.toStdString())).cell(1, 3, 7).kind, roster::Cell::Kind::Empty);
    QVERIFY(w.lblDxr->caption().contains(QStringLiteral("找不到")));

    // The list names the lost mark; it can be copied and discarded there.
    QTest::mouseClick(w.lblDxr, Qt::LeftButton);
    auto* list = w.findChild<QListWidget*>(QStringLiteral("lstDxr"));
    QVERIFY(list);
    QCOMPARE(list->count(), 1);
    QVERIFY(list->item(0)->text().contains(QStringLiteral("6号 学生6")));
    QVERIFY(list->item(0)->text().contains(QStringLiteral("找不到")));
    list->item(0)->setSelected(true);
    w.findChild<QPushButton*>(QStringLiteral("cmdDxrDiscard"))->click();
    QCOMPARE(list->count(), 0);
    QVERIFY(!w.lblDxr->isVisible());
  }

  void theJournalOutlivesTheWindowAndClosingAsksWhatToKeep() {
    Lesson l;
    l.open();
    l.hold();
    l.mark(4, QStringLiteral("5"));
    l.s.window.reset();  // the program ends without being asked (a crash)
    FrmMd& w = l.open();
    QTRY_VERIFY(w.lblDxr->caption().startsWith(QStringLiteral("1条成绩待写入：名单正被王老师")));
    // The waiting mark counts as today's: the reloaded class leaves student 4 out of the pool.
    QCOMPARE(w.pickPoolCount, 5);
    for (int p = 1; p <= w.pickPoolCount; ++p)
      QVERIFY(std::get<rollcall::NamePool>(w.pickPool)[static_cast<std::size_t>(p)].student.toInteger() != 4);
    // Closing asks; yes keeps it for the next start.
    l.s.fakes.dialogs.askAnswers = {true};
    const std::size_t asked = l.s.fakes.dialogs.questions.size();  // the held write asked about the lock
    w.close();
    QCOMPARE(l.s.fakes.dialogs.questions.size(), asked + 1);
    FrmMd& again = l.open();
    QTRY_VERIFY(again.lblDxr->isVisible());
    l.s.fakes.dialogs.askAnswers = {false};  // this time it is discarded
    again.close();
    QCOMPARE(l.s.fakes.dialogs.questions.size(), asked + 2);
    FrmMd& third = l.open();
    QFile::remove(l.lock);
    QTest::qWait(300);
    QVERIFY(!third.lblDxr->isVisible());
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(l.path.toStdString())).cell(1, 6, 7).kind, roster::Cell::Kind::Empty);
  }

  void aReadOnlyRosterAndAClassChangedOnDiskAreWaitedOut() {
    Lesson l;
    FrmMd& w = l.open();
    QFile::setPermissions(l.path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    l.mark(2, QStringLiteral("3"));
    QCOMPARE(w.lblDxr->caption(), QStringLiteral("1条成绩待写入：名单文件是只读的"));
    QTest::mouseClick(w.lblDxr, Qt::LeftButton);  // nothing to release: no such button
    const auto* release = w.findChild<QPushButton*>(QStringLiteral("cmdDxrUnlock"));
    QVERIFY(release && !release->isVisible());
    QFile::setPermissions(l.path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    QCOMPARE(markOf(l.path, 4), 3.0);

    // The class changed on disk since it was loaded (a row inserted): the mark is placed
    // on the student's new row instead of being refused.
    l.mark(5, QStringLiteral("2"));
    QCOMPARE(markOf(l.path, 7), 2.0);
    Workbook::SheetRows rows = classRows(6);
    rows.insert(rows.begin() + 2, {"0", "插班生", "", "", "", "1"});
    rows[4 + 1][6 - 1] = "1";
    writeWorkbook(l.path, {{"一班", rows}});
    QTest::qWait(20);
    l.mark(5, QStringLiteral("4"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    QCOMPARE(markOf(l.path, 8), 4.0);  // 学生5 now in row 8
    QVERIFY(s_noMessage(l));
  }

  void theClassTableShowsWrittenAndWaitingMarksAndFollowsTheWrites() {
    Lesson l;
    FrmMd& w = l.open();
    l.mark(2, QStringLiteral("5"));
    l.hold();
    l.mark(3, QStringLiteral("4"));
    w.toggleAbsent(6);
    w.MnCkMd->trigger();
    auto* table = w.findChild<QTableWidget*>(QStringLiteral("tblMd"));
    QVERIFY(table && table->isVisible());
    QCOMPARE(table->rowCount(), 6);
    QStringList headings;
    for (int c = 0; c < table->columnCount(); ++c) headings << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headings, (QStringList{"学号", "姓名", "组别", "12月01", "12月05"}));
    QCOMPARE(table->item(1, 4)->text(), QStringLiteral("5"));
    QCOMPARE(table->item(2, 4)->text(), QStringLiteral("（待写入+4）"));
    QVERIFY(table->item(2, 4)->background() != table->item(2, 3)->background());  // today's column stands out
    QCOMPARE(table->item(5, 1)->text(), QStringLiteral("学生6（缺席）"));
    QCOMPARE(table->currentRow(), 2);  // the current student
    // Reading the roster for the table takes no lock: the waiting mark goes in as soon as
    // the other program lets go, and the table follows.
    QFile::remove(l.lock);
    QTRY_COMPARE_WITH_TIMEOUT(table->item(2, 4)->text(), QStringLiteral("4"), 8000);
    QCOMPARE(markOf(l.path, 5), 4.0);
  }

 private:
  static int warnings(Lesson& l) {
    int n = 0;
    for (const auto& m : l.s.fakes.dialogs.messages) n += m.text == QStringLiteral("请检查Excel名单是否已经被打开，请关闭");
    return n;
  }
  // The held-roster warning of every roster operation may come; a refusal may not.
  static bool s_noMessage(Lesson& l) {
    for (const auto& m : l.s.fakes.dialogs.messages)
      if (m.text.endsWith(QStringLiteral("没有保存。"))) return false;
    return true;
  }
};

QTEST_MAIN(TestPendingWindow)
#include "test_pending_window.moc"
