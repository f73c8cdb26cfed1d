// Fair picks through the real main window on the committed fixtures: the statistics window's
// counts and sums from the dated columns, sorting, the export read back by the roster reader
// and by LibreOffice, and the least-called-first entry remembered per class.
#include <QAction>
#include <QComboBox>
#include <QSpinBox>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "app/frmtj.h"
#include "core/filepath.h"
#include "results/classstats.h"
#include "roster/workbook.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Workbook;

namespace {

enum { kNumber, kName, kCalls, kLastCall, kToday, kMarkedDays, kMarkSum };

FrmTj* openStatistics(Scenario& s) {
  s.find<QAction>(QStringLiteral("MnDmTj"))->trigger();
  return s.find<FrmTj>(QStringLiteral("FrmTj"));
}

// The table's row of the student with `number`, as shown.
QStringList rowOf(QTableWidget* grid, const QString& number) {
  for (int r = 0; r < grid->rowCount(); ++r) {
    if (grid->item(r, kNumber)->text() != number) continue;
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c) cells << grid->item(r, c)->text();
    return cells;
  }
  return {};
}

QList<QStringList> csvLines(QByteArray bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  QList<QStringList> lines;
  for (const QString& line : QString::fromUtf8(bytes).split(QStringLiteral("\n"), Qt::SkipEmptyParts))
    lines << line.trimmed().split(QLatin1Char(','));
  return lines;
}

// A class of six, 一班, in a roster of the program's folder.
void sixStudents(Scenario& s) {
  Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名"}};
  for (int i = 1; i <= 6; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i)});
  writeWorkbook(QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls")), {{"一班", rows}});
}

// Calls `n` students at random, without the rolling display; their numbers.
std::vector<int> call(FrmMd& w, int n) {
  std::vector<int> called;
  for (int k = 0; k < n; ++k) {
    w.onLblXmClick();
    called.push_back(w.currentNumber);
  }
  return called;
}

}  // namespace

class TestFairPicksWindow : public QObject {
  Q_OBJECT
 private slots:
  void statisticsFromTheDatedColumns() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), s.fakes.programFolder.path());
    FrmMd& w = s.start();
    w.OptFl[0]->click();  // 高一(1)班, on 5 December
    FrmTj* tj = openStatistics(s);
    QVERIFY(tj);
    auto* grid = tj->findChild<QTableWidget*>(QStringLiteral("grdTj"));
    QCOMPARE(grid->rowCount(), 48);
    // Four dated columns, one of them a date value (12/04/2026 as LibreOffice shows it).
    QCOMPARE(tj->stats().days.size(), std::size_t(4));
    QCOMPARE(tj->stats().days[2].heading, std::string("12月04"));
    // Marks 4 5 6 7; one stored as the text "4"; a gap in an older day; today's mark missing.
    QCOMPARE(rowOf(grid, "1"), (QStringList{"1", "赵强勇", "0", "", "7", "4", "22"}));
    QCOMPARE(rowOf(grid, "6"), (QStringList{"6", "叶燕", "0", "", "1", "4", "17"}));
    QCOMPARE(rowOf(grid, "7").mid(4), (QStringList{"4", "3", "9"}));
    QCOMPARE(rowOf(grid, "41").mid(4), (QStringList{"", "3", "18"}));

    // Sorting by the sum of marks, numerically (as text 22 would come before 9).
    grid->sortItems(kMarkSum, Qt::AscendingOrder);
    for (int r = 1; r < grid->rowCount(); ++r)
      QVERIFY(grid->item(r - 1, kMarkSum)->data(Qt::DisplayRole).toDouble() <=
              grid->item(r, kMarkSum)->data(Qt::DisplayRole).toDouble());
  }

  // Decimal marks are read as a mark is read when a score is added: rounded halves to even.
  void decimalMarksOfAnXlsxRoster() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster7.xlsx"), s.fakes.programFolder.path(), QStringLiteral("点名册.xlsx"));
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    FrmTj* tj = openStatistics(s);
    QVERIFY(tj);
    auto* grid = tj->findChild<QTableWidget*>(QStringLiteral("grdTj"));
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(rowOf(grid, "1").mid(5), (QStringList{"1", "-1"}));  // -1.25
    QCOMPARE(rowOf(grid, "3").mid(5), (QStringList{"1", "2"}));   // 2.5
  }

  void exportReadBackByTheReaderAndByLibreOffice() {
    Scenario s;
    copyFixture(QStringLiteral("gn-roster3.xls"), s.fakes.programFolder.path());
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    FrmTj* tj = openStatistics(s);
    QVERIFY(tj);
    const QDir out(s.fakes.documentsFolder.path());
    const QString xlsx = out.filePath(QStringLiteral("统计"));  // no suffix: .xlsx
    tj->askSavePath = [&](QWidget*, const QString& suggested) {
      [&] { QCOMPARE(suggested, QStringLiteral("点名统计-高一(1)班.xlsx")); }();
      return xlsx;
    };
    tj->findChild<QPushButton*>(QStringLiteral("cmdTjDc"))->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    const auto table = results::statsTable(tj->stats());
    Workbook book = Workbook::open(velquor::pathFromUtf8((xlsx + QStringLiteral(".xlsx")).toStdString()));
    QCOMPARE(book.sheetName(1), std::string("高一(1)班"));
    QCOMPARE(book.lastRow(1), 49);
    for (int r = 1; r <= 49; ++r)
      for (int c = 1; c <= 7; ++c)
        QCOMPARE(book.cell(1, r, c).toText(), table[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)]);
    QCOMPARE(book.cell(1, 2, 7).kind, roster::Cell::Kind::Number);

    // LibreOffice reads the same table out of it (on the Linux side only).
#ifdef Q_OS_WIN
    return;
#endif
    QProcess lo;
    lo.start(QStringLiteral("soffice"),
             {QStringLiteral("-env:UserInstallation=file://") + out.filePath(QStringLiteral("lo-profile")),
              QStringLiteral("--headless"), QStringLiteral("--convert-to"),
              QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
              out.filePath(QStringLiteral("lo")), xlsx + QStringLiteral(".xlsx")});
    QVERIFY(lo.waitForFinished(120000));
    const auto seen = csvLines(fileBytes(out.filePath(QStringLiteral("lo/统计.csv"))));
    QCOMPARE(seen.size(), 49);
    for (int r = 0; r < 49; ++r)
      for (int c = 0; c < 7; ++c)
        QCOMPARE(seen[r].value(c).remove(QLatin1Char('"')).toStdString(),
                 table[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);

    // CSV: UTF-8 with a byte order mark, the same table.
    const QString csv = out.filePath(QStringLiteral("统计.csv"));
    QVERIFY(tj->exportTo(csv));
    const QByteArray bytes = fileBytes(csv);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF学号,姓名,点名次数"));
    const auto lines = csvLines(bytes);
    QCOMPARE(lines.size(), 49);
    QCOMPARE(lines[1].join(','), QString::fromStdString(table[1][0] + "," + table[1][1]) + QStringLiteral(",0,,7,4,22"));

    // Never over the roster itself.
    const QByteArray rosterBefore = fileBytes(w.rosterPath);
    QVERIFY(!tj->exportTo(w.rosterPath));
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(fileBytes(w.rosterPath), rosterBefore);
  }

  // Over days, the students called least come first; with the entry off the history is not
  // looked at and the design's sequence is drawn from the same random values.
  void leastCalledFirstOverDaysWithTakeBacks() {
    Scenario s;
    sixStudents(s);
    s.fakes.random.fallback = 0.0;  // always the first tied position
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    w.setCheck(w.chkGd, false, &FrmMd::onChkGdClick);
    s.find<QAction>(QStringLiteral("MnSdYx"))->trigger();
    // Day one: 1, 2, 3 and 4 are called, 4 is taken back.
    QCOMPARE(call(w, 4), (std::vector<int>{1, 2, 3, 4}));
    w.MnCx->trigger();
    // Day two: 4, 5 and 6 were never called (4 was taken back), so they come first, even
    // though the draw always lands on the first position of the pool.
    s.fakes.clock.advance(24 * 3600);
    w.OptFl[0]->click();
    QCOMPARE(call(w, 4), (std::vector<int>{4, 5, 6, 1}));
    FrmTj* tj = openStatistics(s);
    QVERIFY(tj);
    auto* grid = tj->findChild<QTableWidget*>(QStringLiteral("grdTj"));
    QCOMPARE(rowOf(grid, "1").mid(2, 2), (QStringList{"2", "2026-12-06"}));
    QCOMPARE(rowOf(grid, "4").mid(2, 2), (QStringList{"1", "2026-12-06"}));
    QCOMPARE(rowOf(grid, "2").mid(2, 2), (QStringList{"1", "2026-12-05"}));
    // A window of the last day only.
    tj->findChild<QComboBox*>(QStringLiteral("cmbTjFw"))->setCurrentIndex(1);
    tj->findChild<QSpinBox*>(QStringLiteral("txtTjTs"))->setValue(1);
    QCOMPARE(rowOf(grid, "2")[2], QStringLiteral("0"));
    QCOMPARE(rowOf(grid, "1")[2], QStringLiteral("1"));

    // Off: the same draws give the design's picks, whatever the history says.
    s.find<QAction>(QStringLiteral("MnSdYx"))->trigger();
    s.fakes.clock.advance(24 * 3600);
    w.OptFl[0]->click();
    QCOMPARE(call(w, 3), (std::vector<int>{1, 2, 3}));

    // The open window follows the history.
    tj->findChild<QComboBox*>(QStringLiteral("cmbTjFw"))->setCurrentIndex(0);
    QTRY_COMPARE(rowOf(grid, "1")[2], QStringLiteral("3"));

    // Clearing the class's history asks first.
    auto* clear = tj->findChild<QPushButton*>(QStringLiteral("cmdTjQc"));
    clear->click();  // answered No
    QCOMPARE(s.fakes.dialogs.questions.size(), std::size_t(1));
    QCOMPARE(rowOf(grid, "1")[2], QStringLiteral("3"));
    s.fakes.dialogs.askAnswers.push_back(true);
    clear->click();
    for (int r = 0; r < grid->rowCount(); ++r) QCOMPARE(grid->item(r, kCalls)->text(), QStringLiteral("0"));
    QVERIFY(s.fakes.dialogs.messages.empty());
  }

  // Pictures of the window at the design size and at twice it, for looking at: only when
  // VELQUOR_SCREENSHOTS names a folder.
  void screenshots() {
    const QString folder = qEnvironmentVariable("VELQUOR_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("VELQUOR_SCREENSHOTS not set");
    for (const int scale : {1, 2}) {
      Scenario s;
      copyFixture(QStringLiteral("lo-roster3.xls"), s.fakes.programFolder.path());
      SeededRandom random(3);
      FrmMd& w = s.start(&random);
      w.OptFl[0]->click();
      w.setCheck(w.chkGd, false, &FrmMd::onChkGdClick);
      call(w, 70);
      if (scale == 2) {
        w.resize(w.size() * 2);
        QTest::qWait(200);
      }
      FrmTj* tj = openStatistics(s);
      QVERIFY(tj);
      tj->findChild<QTableWidget*>(QStringLiteral("grdTj"))->selectRow(5);
      QTest::qWait(200);
      QVERIFY(tj->grab().save(QDir(folder).filePath(QStringLiteral("statistics-%1x.png").arg(scale))));
    }
  }

  void leastCalledFirstIsRememberedPerClass() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), s.fakes.programFolder.path());
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    auto* entry = s.find<QAction>(QStringLiteral("MnSdYx"));
    QVERIFY(entry && entry->isCheckable());
    QVERIFY(!entry->isChecked());  // off by default
    entry->trigger();
    QVERIFY(entry->isChecked());
    w.onMnBjClick(2);  // 高一(3)班
    emit w.MnFangShi->aboutToShow();
    QVERIFY(!entry->isChecked());
    entry->trigger();
    QVERIFY(entry->isChecked());
    entry->trigger();
    QVERIFY(!entry->isChecked());
    w.onMnBjClick(0);
    emit w.MnFangShi->aboutToShow();
    QVERIFY(entry->isChecked());
  }
};

QTEST_MAIN(TestFairPicksWindow)
#include "test_fairpicks_window.moc"
