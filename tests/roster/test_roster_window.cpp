// The name-list roster in the real main window, offscreen: the default roster and the file
// dialog, the class list and menu, class loading, held and damaged files, external edits,
// calls by name.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include "core/filepath.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"
#include "roster/workbook.h"
#include "app/widgets.h"
#include "roster/workbookset.h"
#include "roster/xls/cfb.h"

using namespace velquor;
using namespace velquor::test;

namespace {

const QString kWarning = QStringLiteral("警告");

QStringList comboItems(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items.append(box->itemText(i));
  return items;
}

QStringList menuItems(const FrmMd& w) {
  QStringList items;
  for (const QAction* a : w.MnBj) items.append(a->text());
  return items;
}

QStringList listItems(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items.append(list->item(i)->text());
  return items;
}

QString folderOf(Scenario& s) { return s.fakes.programFolder.path(); }

// Chooses the name-list category with the option button, as the teacher does.
void chooseNameList(FrmMd& w) { w.OptFl[0]->click(); }

roster::Workbook::SheetRows classRows(const std::vector<std::string>& names) {
  roster::Workbook::SheetRows rows = {{"标题"}, {"学号", "姓名", "", "", "组别"}};
  for (std::size_t i = 0; i < names.size(); ++i) rows.push_back({std::to_string(i + 1), names[i]});
  return rows;
}

// What the window holds of the loaded class, as one text per part.
QStringList loadedClass(const FrmMd& w) {
  QStringList pool;
  const auto& rows = std::get<rollcall::NamePool>(w.pickPool);
  for (int i = 1; i <= w.pickPoolCount; ++i) pool.append(QString::fromStdString(rows[std::size_t(i)].number.toText()));
  QString buttons;
  for (const QPushButton* b : {w.CmdFz[0], w.CmdFz[1], w.CmdXie[0], w.CmdXie[1]}) buttons += b->isEnabled() ? '1' : '0';
  return {QString::number(w.studentCount), QString::number(w.classSheetNo), QString::number(w.classSheet),
          QString::number(w.todayColumn), w.FrZr->title(), listItems(w.List2).join(','), listItems(w.List1).join(','),
          w.LabXx->caption(), comboItems(w.CmbXm).join(','), pool.join(','), buttons,
          w.txtFz[0]->text() + '/' + w.txtFz[1]->text(), QString::number(w.cmbXls->currentIndex())};
}

// One notch of the mouse wheel over a control, downwards, as the window system delivers it.
void wheelDown(QWidget* control) {
  const QPointF centre = QRectF(control->rect()).center();
  QWheelEvent notch(centre, control->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&notch);
  QApplication::sendEvent(control, &notch);
}

}  // namespace

class TestRosterWindow : public QObject {
  Q_OBJECT
 private slots:
  void theDefaultRosterIsListedAndItsFirstClassLoaded() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(s.fakes.dialogs.fileDialogCount, 0);
    QVERIFY(s.fakes.dialogs.messages.empty());
    QCOMPARE(comboItems(w.cmbXls), QStringList({"高一(1)班", "高一(2)班", "高一(3)班"}));
    QCOMPARE(menuItems(w), comboItems(w.cmbXls));
    QCOMPARE(w.cmbXls->currentIndex(), 0);
    QCOMPARE(w.classSheetNo, 1);
    QCOMPARE(w.studentCount, 48);
    QCOMPARE(w.FrZr->title(), QStringLiteral("48人分组规则"));
    QCOMPARE(w.CmbXm->count(), 48);
    QCOMPARE(w.CmbXm->itemText(0), QStringLiteral("1_赵强勇"));
    QCOMPARE(w.CmbXm->itemText(47), QStringLiteral("48_潘丽"));
    // Today (December 5) has its own column I, filled for students 1..40: the day's
    // pool holds the other eight.
    QCOMPARE(w.todayColumn, 9);
    QCOMPARE(w.pickPoolCount, 8);
    QCOMPARE(listItems(w.List2), QStringList({"1"}));
    QCOMPARE(w.List1->count(), 48);
    QCOMPARE(w.LabXx->caption(), QStringLiteral("48人分1组，第1组有48人"));
    QCOMPARE(w.txtFz[0]->text(), QStringLiteral("1"));
    QCOMPARE(w.txtFz[1]->text(), QStringLiteral("48"));
    QVERIFY(w.OptFz[0]->isChecked());
    for (QPushButton* b : {w.CmdFz[0], w.CmdFz[1], w.CmdXie[0], w.CmdXie[1]}) QVERIFY(!b->isEnabled());
    QVERIFY(w.lblXm->isEnabled());
    QVERIFY(w.Image2->isVisible());
  }

  void aClassOfOneIsRefusedAndAListEndsAtABlankNumber() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    w.MnBj[1]->trigger();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(s.fakes.dialogs.messages[0].text, QStringLiteral("检测到名单表格为空，请检查"));
    QCOMPARE(s.fakes.dialogs.messages[0].title, kWarning);
    QCOMPARE(s.fakes.dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(w.FrZr->title(), QStringLiteral("48人分组规则"));  // the class still loaded
    QCOMPARE(w.cmbXls->currentText(), QStringLiteral("高一(1)班"));
    QCOMPARE(w.CmbXm->count(), 48);  // the previous class's lists stay
    QCOMPARE(w.List1->count(), 48);
    QCOMPARE(w.rosterApp->count(), 0);  // the workbook was closed

    // Class 3 ends at a number cell holding a space: 45 students.
    w.MnBj[2]->trigger();
    QCOMPARE(w.cmbXls->currentIndex(), 2);
    QCOMPARE(w.studentCount, 45);
    QCOMPARE(w.CmbXm->itemText(44), QStringLiteral("45_郭远欣"));
    QCOMPARE(w.rosterApp->count(), 1);
  }

  void aRefusedClassLeavesTheLoadedClassInPlace() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    std::vector<std::string> names;
    for (int i = 1; i <= 12; ++i) names.push_back("学生" + std::to_string(i));
    roster::Workbook::SheetRows full = classRows({"甲", "乙", "丙"});
    full[1].resize(256, "11月30");  // every day column up to IV is taken
    writeWorkbook(path, {{"一班", classRows(names)}, {"空表", {{"标题"}}}, {"一人", classRows({"独"})}, {"满表", full}});
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(w.studentCount, 12);
    // Random groups not yet written, and a student called.
    w.txtFz[0]->setText(QStringLiteral("3"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[0]->click();
    w.CmbXm->setCurrentIndex(4);
    w.onCmbXmClick();
    const QStringList before = loadedClass(w);
    QCOMPARE(before[10], QStringLiteral("1111"));

    for (int sheet : {1, 2, 3}) {
      w.MnBj[std::size_t(sheet)]->trigger();
      QCOMPARE(loadedClass(w), before);
    }
    // Another roster whose first sheet is blank: the class stays, and so does its roster.
    const QString other = QDir(folderOf(s)).filePath(QStringLiteral("二班.xls"));
    writeWorkbook(other, {{"空表", {{"标题"}}}, {"二班", classRows({"甲", "乙"})}});
    const QByteArray otherBytes = fileBytes(other);
    s.fakes.dialogs.fileAnswers = {other};
    w.MnSz[0]->trigger();
    QCOMPARE(w.cmbXls->currentText(), QStringLiteral("空表"));
    QCOMPARE(loadedClass(w), before);
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(4));  // the short lists, the full sheet
    QCOMPARE(s.fakes.dialogs.messages[1].text, QStringLiteral("检测到名单表格为空，请检查"));
    QVERIFY(s.fakes.dialogs.messages[2].text.startsWith(QStringLiteral("班级“满表”的工作表从F列起已没有空列")));

    // Both writes go to the class still loaded, in its own roster.
    w.CmdXie[1]->click();
    w.CmdXie[0]->click();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(4));
    QCOMPARE(fileBytes(other), otherBytes);
    const roster::Workbook book = roster::Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    QCOMPARE(book.cell(1, 7, 6).number, 5.0);  // student 5, today's column F
    for (int g = 1; g <= 3; ++g)
      for (const auto& member : w.groupTable.members(g))
        QCOMPARE(book.cell(1, member.number.toInteger().value_or(0) + 2, 5).number, double(g));
    QCOMPARE(book.cell(2, 3, 5).kind, roster::Cell::Kind::Empty);
  }

  void theStudentBoxNamesNobodyAfterALoad() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(w.CmbXm->count(), 48);
    QCOMPARE(w.CmbXm->currentIndex(), -1);
    QCOMPARE(w.CmbXm->currentText(), QString());
    w.CmbXm->setCurrentIndex(3);
    w.MnBj[2]->trigger();
    QCOMPARE(w.CmbXm->count(), 45);
    QCOMPARE(w.CmbXm->currentIndex(), -1);
  }

  void theWheelOverAClosedDropDownChoosesNothing() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster7.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    const QStringList loaded = loadedClass(w);
    const QString caption = w.lblXm->caption();
    for (QComboBox* box : {w.cmbXls, w.CmbXm, w.Combo1[0], w.Combo1[1], w.cmbJsDw, w.cmbJsFs}) wheelDown(box);
    QCOMPARE(loadedClass(w), loaded);  // no other class, no call, no current student
    QCOMPARE(w.lblXm->caption(), caption);
    QCOMPARE(w.CmbXm->currentIndex(), -1);
    QCOMPARE(w.Combo1[0]->currentText(), QStringLiteral("5"));
    QCOMPARE(w.Combo1[1]->currentText(), QStringLiteral("5"));
    QCOMPARE(w.cmbJsDw->currentText(), QStringLiteral("秒"));
    QCOMPARE(w.cmbJsFs->currentText(), QStringLiteral("正计时"));

    w.OptFl[1]->click();  // numbers
    wheelDown(w.cmbXh);
    QCOMPARE(w.cmbXh->currentIndex(), -1);
    QCOMPARE(w.pickPoolCount, 48);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("号码\r\n点名"));
    QVERIFY(!w.CmdXie[1]->isEnabled());
    QVERIFY(s.fakes.dialogs.messages.empty());
  }

  void aMissingDefaultRosterAsksForAFileAndTheClassMenuFollowsEachWorkbook() {
    Scenario s;
    QTemporaryDir elsewhere;
    const QString seven = copyFixture(QStringLiteral("lo-roster7.xls"), elsewhere.path(), QStringLiteral("七个班.xls"));
    const QString three = copyFixture(QStringLiteral("gn-roster3.xls"), elsewhere.path(), QStringLiteral("三个班.xls"));
    s.fakes.dialogs.fileAnswers = {QString(), seven};
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(s.fakes.dialogs.fileDialogCount, 2);
    QCOMPARE(s.fakes.dialogs.lastFilter, QStringLiteral("Excel文件|*.xls *.xlsx"));
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(s.fakes.dialogs.messages[0].text, QStringLiteral("请选择文件名"));
    QCOMPARE(s.fakes.dialogs.messages[0].title, QStringLiteral("Velquor"));
    QCOMPARE(s.fakes.dialogs.messages[0].icon, MessageIcon::None);
    QCOMPARE(w.rosterPath, seven);
    QCOMPARE(w.txtFn->text(), seven);
    QCOMPARE(w.rosterFileName, QStringLiteral("七个班.xls"));
    QCOMPARE(w.cmbXls->count(), 7);
    QCOMPARE(w.MnBj.size(), std::size_t(7));
    QCOMPARE(menuItems(w), comboItems(w.cmbXls));
    QCOMPARE(w.MnBj[6]->objectName(), QStringLiteral("MnBj(6)"));
    QCOMPARE(w.classMenu->actions().size(), 7);

    // Three classes after seven: the menu shrinks to exactly three.
    s.fakes.dialogs.fileAnswers = {three};
    w.MnSz[0]->trigger();
    QCOMPARE(comboItems(w.cmbXls), QStringList({"高一(1)班", "高一(2)班", "高一(3)班"}));
    QCOMPARE(menuItems(w), comboItems(w.cmbXls));
    QCOMPARE(w.classMenu->actions().size(), 3);
    QCOMPARE(w.studentCount, 48);

    // Back to the first file: found among the open workbooks, not opened again.
    s.fakes.dialogs.fileAnswers = {seven};
    w.Image1->clicked();
    QCOMPARE(w.rosterApp->count(), 2);
    QCOMPARE(QString::fromStdString(w.rosterBook->path().string()), seven);
    QCOMPARE(w.cmbXls->count(), 7);

    // Choosing class 3 in the menu loads worksheet 3 and shows its name.
    w.MnBj[2]->trigger();
    QCOMPARE(w.classSheetNo, 3);
    QCOMPARE(w.cmbXls->currentText(), QStringLiteral("初二(3)班"));

    // A cancelled dialog (twice) leaves the roster as it was.
    s.fakes.dialogs.fileAnswers = {};
    w.MnSz[0]->trigger();
    QCOMPARE(w.rosterPath, seven);
    QCOMPARE(w.cmbXls->count(), 7);
  }

  void aHeldWorkbookIsWarnedAboutAtEveryOperationAndStillUsed() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    QFile lock(QDir(folderOf(s)).filePath(QStringLiteral(".~lock.点名册.xls#")));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("王老师,teacher,classroom-pc,05.12.2026 08:55,file:///home/teacher;\n");
    lock.close();
    FrmMd& w = s.start();
    chooseNameList(w);
    // The lister opened it; the class load that follows is the first operation to warn.
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(s.fakes.dialogs.messages[0].text, QStringLiteral("请检查Excel名单是否已经被打开，请关闭"));
    QCOMPARE(s.fakes.dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(w.studentCount, 48);
    w.MnBj[2]->trigger();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(2));
    QCOMPARE(w.studentCount, 45);
    QFile::remove(lock.fileName());
    w.MnBj[0]->trigger();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(2));
    QVERIFY(QFile::exists(path));
  }

  void aDamagedOrEmptyWorkbookIsReported() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(3000, 'x'));
    file.close();
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(s.fakes.dialogs.messages[0].text, QStringLiteral("请打开并检查Excel文档是否损坏。"));
    QCOMPARE(s.fakes.dialogs.messages[0].title, kWarning);
    QCOMPARE(w.cmbXls->count(), 0);
    QCOMPARE(w.MnBj.size(), std::size_t(1));  // the menu keeps what it had
    QCOMPARE(w.CmbXm->count(), 0);
  }

  void aDamagedClassIsNamedWhenChosenAndTheOthersLoad() {
    Scenario s;
    using roster::detail::CompoundFile;
    const auto made = roster::Workbook::create(
        {{"一班", classRows({"甲", "乙"})}, {"二班", classRows({"丙", "丁"})}, {"三班", classRows({"戊", "己", "庚"})}});
    const CompoundFile cf(made);
    auto stream = cf.readStream(cf.findRootStream(u"Workbook"));
    // The second BOUNDSHEET's sheet position points past the end of the stream.
    int seen = 0;
    for (std::size_t p = 0; p + 4 <= stream.size(); p += 4 + roster::detail::rd16(stream.data() + p + 2))
      if (roster::detail::rd16(stream.data() + p) == 0x0085 && ++seen == 2)
        roster::detail::wr32(stream.data() + p + 4, static_cast<std::uint32_t>(stream.size() + 64));
    QCOMPARE(seen, 3);
    const auto damaged = CompoundFile::build({{u"Workbook", stream}}, 9);
    QFile file(QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(damaged.data()), static_cast<qint64>(damaged.size()));
    file.close();
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(comboItems(w.cmbXls), QStringList({QStringLiteral("一班"), QStringLiteral("二班"), QStringLiteral("三班")}));
    QCOMPARE(w.studentCount, 2);
    QVERIFY(s.fakes.dialogs.messages.empty());
    w.cmbXls->setCurrentIndex(1);
    w.onCmbXlsClick();
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
    QVERIFY2(s.fakes.dialogs.messages[0].text.contains(QStringLiteral("二班")), qPrintable(s.fakes.dialogs.messages[0].text));
    w.cmbXls->setCurrentIndex(2);
    w.onCmbXlsClick();
    QCOMPARE(w.studentCount, 3);
    QCOMPARE(s.fakes.dialogs.messages.size(), std::size_t(1));
  }

  void browsingOpensTheWorkbookInTheDesktop() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    // Before any roster was set, nothing visible happens.
    w.Image2->clicked();
    QVERIFY(s.fakes.dialogs.openedDocuments.isEmpty());
    QVERIFY(s.fakes.dialogs.messages.empty());
    chooseNameList(w);
    w.Image2->clicked();
    QCOMPARE(s.fakes.dialogs.openedDocuments, QStringList({path}));
  }

  void anEditMadeElsewhereIsReadBeforeTheNextLoad() {
    Scenario s;
    const QString path = QDir(folderOf(s)).filePath(QStringLiteral("点名册.xls"));
    writeWorkbook(path, {{"一班", classRows({"甲", "乙", "丙"})}, {"二班", classRows({"丁", "戊"})}});
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(w.studentCount, 3);
    QTest::qWait(20);  // a later modification time
    writeWorkbook(path, {{"一班", classRows({"甲", "乙", "丙", "庚"})}, {"二班", classRows({"丁", "戊"})}});
    w.MnBj[0]->trigger();
    QCOMPARE(w.studentCount, 4);
    QCOMPARE(w.CmbXm->itemText(3), QStringLiteral("4_庚"));
    QCOMPARE(w.rosterApp->count(), 1);
  }

  void aMarkLandsOnceInARosterRewrittenBySheetJsAfterTheLoad() {
    Scenario s;
    const QString path = copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    QCOMPARE(w.todayColumn, 9);
    QCOMPARE(w.pickPoolCount, 8);  // students 41..48 have no mark today
    chooseStudent(w, 43);
    w.Combo1[0]->setEditText(QStringLiteral("4"));
    // Meanwhile a web system saves the roster through SheetJS, with a 3 for student 42 today
    // (written in place, as SheetJS does).
    QTest::qWait(20);
    QFile fixture(QStringLiteral(VELQUOR_TEST_DATA "/sj-lo-roster3-edited.xls")), roster(path);
    QVERIFY(fixture.open(QIODevice::ReadOnly) && roster.open(QIODevice::WriteOnly | QIODevice::Truncate));
    roster.write(fixture.readAll());
    roster.close();
    w.CmdXie[1]->click();
    QVERIFY(s.fakes.dialogs.messages.empty());
    QVERIFY(!w.lblDxr->isVisible());  // nothing waits to be written again
    QVERIFY(!w.CmdXie[1]->isEnabled());
    const roster::Workbook book = roster::Workbook::open(velquor::pathFromUtf8(path.toStdString()));
    QCOMPARE(book.cell(1, 44, 9).number, 3.0);
    QCOMPARE(book.cell(1, 45, 9).number, 4.0);
    QCOMPARE(book.cell(1, 46, 9).kind, roster::Cell::Kind::Empty);
    // The next load sees both marks, and a new start finds nothing left to write.
    w.MnBj[0]->trigger();
    QCOMPARE(w.pickPoolCount, 6);
    const QByteArray written = fileBytes(path);
    w.close();
    s.window.reset();
    FrmMd& again = s.start();
    chooseNameList(again);
    QVERIFY(!again.lblDxr->isVisible());
    QCOMPARE(fileBytes(path), written);
  }

  void callsByNameAtRandomAndInOrder() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    w.chkGd->click();  // rolling off: every click calls at once
    QVERIFY(!w.chkGd->isChecked());
    // The day's pool holds students 41..48; a draw of 0.3 takes its third, number 43.
    s.fakes.random.values = {0.3};
    w.lblXm->clicked();
    QCOMPARE(w.lblXm->caption(), QStringLiteral("43 号 \r\n李欣娜"));
    QCOMPARE(w.LabCz->caption(), QStringLiteral("第 1 组 43 号 李欣娜"));
    QCOMPARE(w.currentNumber, 43);
    QCOMPARE(w.List1->currentRow(), 42);
    QCOMPARE(w.pickPoolCount, 7);
    QVERIFY(w.CmdXie[1]->isEnabled());

    // Three groups of 16, in order: after the last of group 1 comes the first of group 2.
    w.txtFz[0]->setText(QStringLiteral("3"));
    QTest::keyClick(w.txtFz[0], Qt::Key_Return);
    w.CmdFz[1]->click();
    w.OptDmFs[1]->click();
    w.List1->setCurrentRow(15);
    w.lblXm->clicked();
    QCOMPARE(w.currentGroup, 2);
    QCOMPARE(w.List2->currentRow(), 1);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("2 组 17 号 \r\n") + w.List1->item(0)->text());
    QCOMPARE(w.LabXx->caption(), QStringLiteral("48人分3组，第2组有16人"));
    // "下一组" steps on to group 3, then round to group 1.
    w.MnSz[2]->trigger();
    QCOMPARE(w.currentGroup, 3);
    w.cmdNext[0]->click();
    QCOMPARE(w.currentGroup, 1);
    QCOMPARE(w.List1->item(0)->text(), QStringLiteral("赵强勇"));
  }

  void closingTheWindowReleasesTheWorkbooks() {
    Scenario s;
    copyFixture(QStringLiteral("lo-roster3.xls"), folderOf(s));
    FrmMd& w = s.start();
    chooseNameList(w);
    QVERIFY(w.rosterApp);
    w.close();
    QVERIFY(!w.rosterApp);
    QVERIFY(!w.rosterBook);
  }
};

QTEST_MAIN(TestRosterWindow)
#include "test_roster_window.moc"
