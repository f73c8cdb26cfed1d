// The name list on .xlsx rosters in the real main window, offscreen: the default roster, the
// class list and load, a mark and the groups written, a held roster, an edit made elsewhere.
#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "core/filepath.h"
#include "app/widgets.h"
#include "roster/workbook.h"
#include "roster/workbookset.h"
#include "tests/roster/helpers.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Cell;
using velquor::roster::Workbook;

namespace {

const QString kRoster = QStringLiteral("点名册.xlsx");

QString folderOf(Scenario& s) { return s.fakes.programFolder.path(); }

void choose(FrmMd& w, int number) { chooseStudent(w, number); }

// Gnumeric reads back what the component wrote, cell for cell.
void checkWithGnumeric(const QString& path) {
  // Under Wine there is no Gnumeric: the Windows roster tests read their saves back outside.
  if (!rostertest::haveProgram("ssconvert")) return;
  rostertest::TempDir work;
  const Workbook book = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
  const auto sheets = rostertest::gnumericSheets(path.toStdString(), work.path());
  QCOMPARE(static_cast<int>(sheets.size()), book.sheetCount());
  for (int s = 1; s <= book.sheetCount(); ++s) {
    const auto differences = rostertest::compareSheet(book, s, sheets.at(book.sheetName(s)));
    QVERIFY2(differences.empty(), differences.empty() ? "" : differences.front().c_str());
  }
}

}  // namespace

class TestRosterWindowXlsx : public QObject {
  Q_OBJECT
 private slots:
  void theDefaultXlsxRosterIsListedAndLoadedLikeAnXlsOne() {
    for (const char* fixture : {"lo-roster3.xlsx", "gn-roster3.xlsx", "op-roster3.xlsx", "xw-roster3.xlsx"}) {
      Scenario s;
      copyFixture(QString::fromLatin1(fixture), folderOf(s), kRoster);
      FrmMd& w = s.start();
      w.OptFl[0]->click();
      QCOMPARE(s.fakes.dialogs.fileDialogCount, 0);
      QVERIFY(s.fakes.dialogs.messages.empty());
      QCOMPARE(w.rosterFileName, kRoster);
      QCOMPARE(w.cmbXls->count(), 3);
      QCOMPARE(w.cmbXls->itemText(2), QStringLiteral("高一(3)班"));
      QCOMPARE(w.MnBj.size(), std::size_t(3));
      QCOMPARE(w.studentCount, 48);
      QCOMPARE(w.CmbXm->itemText(47), QStringLiteral("48_潘丽"));
      QCOMPARE(w.todayColumn, 9);
      QCOMPARE(w.pickPoolCount, 8);
      // Class 3 ends at a number cell holding a space: 45 students.
      w.MnBj[2]->trigger();
      QCOMPARE(w.studentCount, 45);
      QCOMPARE(w.CmbXm->itemText(44), QStringLiteral("45_郭远欣"));
    }
    // Both defaults present: the .xls one is the roster.
    Scenario s;
    copyFixture(QStringLiteral("lo-roster7.xls"), folderOf(s));
    copyFixture(QStringLiteral("lo-roster3.xlsx"), folderOf(s), kRoster);
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.cmbXls->count(), 7);
    QCOMPARE(w.rosterFileName, QStringLiteral("点名册.xls"));
  }

  void aChosenFileIsReadByItsContentNotItsName() {
    Scenario s;
    QTemporaryDir elsewhere;
    const QString disguised = copyFixture(QStringLiteral("xw-roster3.xlsx"), elsewhere.path(), QStringLiteral("名单.xls"));
    s.fakes.dialogs.fileAnswers = {disguised};
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(s.fakes.dialogs.lastFilter, QStringLiteral("Excel文件|*.xls *.xlsx"));
    QVERIFY(s.fakes.dialogs.messages.empty());
    QCOMPARE(w.cmbXls->count(), 3);
    QCOMPARE(w.studentCount, 48);
  }

  void aMarkAndTheGroupsAreWrittenIntoTheXlsxRoster() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("lo-roster3.xlsx"), folderOf(s), kRoster);
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 7), QTime(9, 0));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.todayColumn, 10);  // J: the first empty heading
    choose(w, 7);
    w.Combo1[0]->setEditText(QStringLiteral("5"));
    w.CmdXie[1]->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    QVERIFY(!w.CmdXie[1]->isEnabled());
    choose(w, 7);
    w.CmdXie[1]->click();
    {
      const Workbook book = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
      QCOMPARE(book.cell(1, 2, 10).text, std::string("12月07"));
      QCOMPARE(book.cell(1, 9, 10).number, 10.0);
      QCOMPARE(book.cell(1, 10, 10).kind, Cell::Kind::Empty);
    }
    w.txtFz[0]->setText(QStringLiteral("6"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();
    w.CmdXie[0]->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    QVERIFY(!w.CmdXie[0]->isEnabled());
    const Workbook book = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    for (int i = 1; i <= 48; ++i) QCOMPARE(book.cell(1, i + 2, 5).number, double((i - 1) / 8 + 1));
    QCOMPARE(book.cell(1, 9, 10).number, 10.0);
    checkWithGnumeric(path);
    // The mark written today leaves its student out of the pool at the next load.
    w.MnBj[0]->trigger();
    QCOMPARE(w.pickPoolCount, 47);
  }

  void aHeldXlsxRosterIsWarnedAboutAndTheMarkWaits() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("gn-roster3.xlsx"), folderOf(s), kRoster);
    const QString lock = QDir(folderOf(s)).filePath(QStringLiteral(".~lock.点名册.xlsx#"));
    QFile file(lock);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("王老师,teacher,classroom-pc,05.12.2026 08:55,file:///home/teacher;\n");
    file.close();
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(s.fakes.dialogs.messages[0].text, QStringLiteral("请检查Excel名单是否已经被打开，请关闭"));
    QCOMPARE(w.studentCount, 48);
    const QByteArray original = fileBytes(path);
    choose(w, 43);
    w.Combo1[0]->setEditText(QStringLiteral("1"));
    w.CmdXie[1]->click();
    QCOMPARE(fileBytes(path), original);
    QVERIFY(!w.CmdXie[1]->isEnabled());
    QVERIFY(w.lblDxr->caption().startsWith(QStringLiteral("1条成绩待写入：名单正被王老师")));
    // Once the other program lets go, the waiting mark is written.
    QFile::remove(lock);
    QTRY_VERIFY_WITH_TIMEOUT(!w.lblDxr->isVisible(), 8000);
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(1, 45, 9).number, 1.0);
  }

  // Remembered settings open an .xlsx roster and its class at start while a mark for that
  // class waits in the journal: the waiting line shows, and the mark goes in once.
  void aRememberedXlsxRosterTakesItsWaitingMarkOnce() {
    QTemporaryDir store;
    const QString ini = store.filePath(QStringLiteral("velquor.ini"));
    const QString path = copyFixture(QStringLiteral("lo-roster3.xlsx"), store.path(), QStringLiteral("三个班.xlsx"));
    const QString lock = store.filePath(QStringLiteral(".~lock.三个班.xlsx#"));
    Scenario s;
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 7), QTime(9, 0));
    const auto start = [&]() -> FrmMd& {
      Services services = s.fakes.services();
      services.settings = [ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); };
      s.window = std::make_unique<FrmMd>(services);
      s.window->show();
      QApplication::setActiveWindow(s.window.get());
      if (!QTest::qWaitForWindowActive(s.window.get())) s.window->formActivate();
      QTest::qWait(0);
      return *s.window;
    };
    FrmMd& w = start();
    s.fakes.dialogs.fileAnswers = {path};
    w.OptFl[0]->click();
    w.MnBj[2]->trigger();
    const QString className = w.cmbXls->currentText();
    QFile file(lock);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("王老师,teacher,classroom-pc,07.12.2026 08:55,file:///home/teacher;\n");
    file.close();
    choose(w, 7);
    w.Combo1[0]->setEditText(QStringLiteral("5"));
    w.CmdXie[1]->click();
    QVERIFY(w.lblDxr->isVisible());
    s.fakes.dialogs.askAnswers = {true};  // keep the waiting mark for the next start
    w.close();

    FrmMd& again = start();
    QCOMPARE(again.rosterPath, path);
    QCOMPARE(again.cmbXls->currentText(), className);
    QVERIFY(again.lblDxr->isVisible());
    QVERIFY(again.lblDxr->caption().startsWith(QStringLiteral("1条成绩待写入")));
    const QByteArray held = fileBytes(path);
    QFile::remove(lock);
    QTRY_VERIFY_WITH_TIMEOUT(!again.lblDxr->isVisible(), 8000);
    const int sheet = again.classSheetNo;
    const int column = again.todayColumn;
    QVERIFY(fileBytes(path) != held);
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(sheet, 9, column).number, 5.0);
    QTest::qWait(400);
    again.close();
    start();
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(sheet, 9, column).number, 5.0);  // not twice
  }

  void anXlsxRosterEditedElsewhereIsReadAgainAndNotWrittenOver() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("xw-roster3.xlsx"), folderOf(s), kRoster);
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    choose(w, 2);
    QTest::qWait(20);  // a later modification time
    {
      Workbook other = Workbook::open(velquor::pathFromUtf8(path.toStdString()));
      other.setText(1, 4, 2, "新同学");  // another student in row 4
      other.save();
    }
    const QByteArray onDisk = fileBytes(path);
    w.CmdXie[1]->click();
    // Student 2 is no longer in the roster: the mark waits, listed, and nothing is written.
    QVERIFY(s.fakes.dialogs.messages.empty());
    QTRY_VERIFY(w.lblDxr->isVisible());
    QTest::qWait(200);
    QCOMPARE(fileBytes(path), onDisk);
    // The next load shows the edit.
    w.MnBj[0]->trigger();
    QCOMPARE(w.CmbXm->itemText(1), QStringLiteral("2_新同学"));
    QCOMPARE(w.rosterApp->count(), 1);
  }
};

QTEST_MAIN(TestRosterWindowXlsx)
#include "test_roster_window_xlsx.moc"
