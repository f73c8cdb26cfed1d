// The classroom screen in the real main window, offscreen: scaling and full screen, clicker
// keys, taking back calls, remembered settings and what a screen reader is told.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

#include "app/accessibility.h"
#include "app/scaling.h"
#include "app/settings.h"
#include "app/widgets.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;

namespace {

// Starts the window with its settings remembered in `settingsFile` (none when empty).
FrmMd& startWindow(Scenario& s, const QString& settingsFile = QString(), bool reset = false) {
  Services services = s.fakes.services();
  if (!settingsFile.isEmpty())
    services.settings = [settingsFile] { return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat); };
  services.resetSettings = reset;
  s.window = std::make_unique<FrmMd>(services);
  s.window->show();
  s.window->activateWindow();
  QApplication::setActiveWindow(s.window.get());
  if (!QTest::qWaitForWindowActive(s.window.get())) s.window->formActivate();
  QTest::qWait(0);  // the start after showing runs from the event loop
  return *s.window;
}

// Resizes the window so that its client area is `client` pixels. The menu bar follows the
// scale, so the chrome is measured again once it has.
void resizeClient(FrmMd& w, QSize client) {
  for (int pass = 0; pass < 2; ++pass) {
    w.resize(client + (w.size() - w.centralWidget()->size()));
    w.layout()->activate();
  }
}

double factorOf(FrmMd& w) { return w.centralWidget()->property(kLayoutScaleProperty).toDouble(); }

// Every control stands at its design rectangle times `factor`, within a pixel; the
// controls on the client area are moved by the margin that centres the layout.
void checkLayout(FrmMd& w, double factor) {
  const QPoint offset = w.centralWidget()->property(kLayoutOffsetProperty).toPoint();
  for (QWidget* control : w.centralWidget()->findChildren<QWidget*>()) {
    const QVariant twips = control->property("twips");
    if (!twips.isValid()) continue;
    const QRect t = twips.toRect();
    const QPoint shift = control->parentWidget() == w.centralWidget() ? offset : QPoint();
    const QRect px = control->geometry().translated(-shift);
    const auto near = [factor](int pixels, int design) { return std::abs(pixels - design * factor / 15.0) <= 1.0; };
    QVERIFY2(near(px.x(), t.x()) && near(px.y(), t.y()) && near(px.width(), t.width()) && near(px.height(), t.height()),
             qPrintable(control->objectName()));
    // Nothing reaches past its frame or the layout.
    QVERIFY2(QRect(QPoint(), control->parentWidget()->size()).contains(control->geometry()), qPrintable(control->objectName()));
  }
  QCOMPARE(w.lblXm->font().pixelSize(), static_cast<int>(std::lround(96 * factor)));
  QCOMPARE(w.Image3->pixmap().width(), static_cast<int>(std::lround(13 * factor)));
  QCOMPARE(w.lblSj->font().pixelSize(), static_cast<int>(std::lround(48 * factor)));
}

void key(FrmMd& w, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &w;
  QTest::keyClick(target, static_cast<Qt::Key>(k), modifiers);
}

// A class of `n` students numbered 1..n in groups of `size`, every student in the day's pool.
void installClass(FrmMd& w, int n, int size) {
  rollcall::NameTable students(static_cast<std::size_t>(n) + 1);
  rollcall::NamePool pool(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i) {
    students[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), Variant::fromText("学生" + std::to_string(i)),
                                             Variant::fromNumber(i + 2)};
    pool[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), Variant::fromNumber(i), Variant::fromNumber(i + 2)};
  }
  w.installNameList(students, pool, n);
  w.groupCount = (n + size - 1) / size;
  w.groupSize = size;
  QVERIFY(w.formGroupsNow(false));
}

// The labels that announced a change of name, in order.
QList<QObject*>* nameEvents = nullptr;
void recordAnnouncement(QObject* label) {
  if (nameEvents) nameEvents->append(label);
}

QString accessibleName(QObject* object) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
  return iface ? iface->text(QAccessible::Name) : QString();
}

}  // namespace

class TestClassroom : public QObject {
  Q_OBJECT
 private slots:
  void layoutScalesByOneFactorAndFollowsTheWindow() {
    Scenario s;
    FrmMd& w = startWindow(s);
    QCOMPARE(w.centralWidget()->size(), QSize(628, 637));
    checkLayout(w, 1.0);
    for (double factor : {1.5, 2.0, 1.0}) {
      resizeClient(w, QSize(static_cast<int>(std::lround(628 * factor)), static_cast<int>(std::lround(637 * factor))));
      QVERIFY(std::abs(factorOf(w) - factor) < 0.002);
      checkLayout(w, factorOf(w));
    }
    // A wide window: the layout keeps its proportions, centred between even margins.
    resizeClient(w, QSize(1900, 1000));
    const double f = factorOf(w);
    QVERIFY(std::abs(f - 1000.0 / 637) < 0.002);
    checkLayout(w, f);
    const QPoint offset = w.centralWidget()->property(kLayoutOffsetProperty).toPoint();
    QVERIFY(std::abs(2 * offset.x() + 628 * f - 1900) <= 2);
    QCOMPARE(offset.y(), 0);
    // The design's handlers move controls within the scaled layout.
    w.MnXs[0]->trigger();
    QCOMPARE(twipsGeometry(w.lblXm).y(), 1980);
    QVERIFY(std::abs(w.lblXm->y() - offset.y() - 1980 * f / 15) <= 1);
    w.MnXs[1]->trigger();
    checkLayout(w, f);
    // The design size again; never below it.
    w.MnYs->trigger();
    QCOMPARE(w.centralWidget()->size(), QSize(628, 637));
    resizeClient(w, QSize(300, 300));
    QCOMPARE(w.centralWidget()->size(), QSize(628, 637));
    QVERIFY(w.List1->gridSize().width() * 3 <= w.List1->width());
  }

  void zoomStepsAndFullScreen() {
    QCOMPARE(zoomStep(1.0, true, 1.0, 3.0), 1.25);
    QCOMPARE(zoomStep(1.3, true, 1.0, 3.0), 1.5);
    QCOMPARE(zoomStep(1.3, false, 1.0, 3.0), 1.25);
    QCOMPARE(zoomStep(1.0, false, 1.0, 3.0), 1.0);
    QCOMPARE(zoomStep(2.9, true, 1.0, 3.0), 3.0);
    QCOMPARE(fitFactor(QSize(1920, 1050), QSize(628, 637)), 1050.0 / 637);

    Scenario s;
    FrmMd& w = startWindow(s);
    QVERIFY(w.MnQp->isCheckable() && !w.MnQp->isChecked());
    w.MnQp->trigger();
    QVERIFY(w.isFullScreen());
    QVERIFY(w.MnQp->isChecked() && !w.MnFd->isEnabled() && !w.MnSx->isEnabled());
    QTRY_COMPARE(w.centralWidget()->size(), w.size() - QSize(0, w.menuBar()->height()));
    checkLayout(w, factorOf(w));
    key(w, Qt::Key_Escape);
    QVERIFY(!w.isFullScreen());
    QVERIFY(!w.MnQp->isChecked() && w.MnFd->isEnabled());
    QTRY_COMPARE(w.centralWidget()->size(), QSize(628, 637));
    key(w, Qt::Key_F5);  // a clicker's "start the show"
    QVERIFY(w.isFullScreen());
    w.MnQp->trigger();
    QVERIFY(!w.isFullScreen());
    // Every shortcut is where the issue puts it.
    QCOMPARE(w.MnFd->shortcuts(), QList<QKeySequence>({QKeySequence(QStringLiteral("Ctrl++")),
                                                       QKeySequence(QStringLiteral("Ctrl+="))}));
    QCOMPARE(w.MnSx->shortcut(), QKeySequence(QStringLiteral("Ctrl+-")));
    QCOMPARE(w.MnQp->shortcut(), QKeySequence(Qt::Key_F11));
    QCOMPARE(w.MnYs->shortcut(), QKeySequence(QStringLiteral("Ctrl+0")));
    QCOMPARE(w.MnCx->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(w.MnXianshi->actions().mid(3, 3), QList<QAction*>({w.MnFd, w.MnSx, w.MnQp}));
    QVERIFY(w.MnFangShi->actions().contains(w.MnCx));
  }

  void clickerKeysActUnlessATextBoxHasTheFocus() {
    Scenario s;
    FrmMd& w = startWindow(s);
    QTest::mouseClick(w.chkGd, Qt::LeftButton);  // rolling off: every key press is a call
    QCOMPARE(w.pickPoolCount, 48);
    int expected = 48;
    for (int k : {Qt::Key_Space, Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Return}) {
      key(w, k);
      QCOMPARE(w.pickPoolCount, --expected);
    }
    QVERIFY(!w.chkGd->isChecked());  // Space did not toggle the focused check box
    key(w, Qt::Key_PageUp);
    QCOMPARE(w.pickPoolCount, ++expected);
    w.OptFl[2]->setFocus(Qt::TabFocusReason);  // an arrow would otherwise choose another category
    key(w, Qt::Key_Left);
    QCOMPARE(w.pickPoolCount, ++expected);
    QVERIFY(w.OptFl[2]->isChecked());
    QCOMPARE(w.rollCategory, 2);

    // In a text box keys keep their meaning.
    w.txtXh[0]->setFocus(Qt::MouseFocusReason);
    w.txtXh[0]->setText(QStringLiteral("6"));
    key(w, Qt::Key_Space);
    key(w, Qt::Key_T);
    QCOMPARE(w.txtXh[0]->text(), QStringLiteral("6 t"));
    QCOMPARE(w.pickPoolCount, expected);
    QVERIFY(!w.timJs->isActive());
    w.txtXh[0]->setText(QStringLiteral("6"));
    w.chkGd->setFocus(Qt::MouseFocusReason);  // leaving the box accepts the range afresh
    QCOMPARE(w.pickPoolCount, 48);

    // A button reached with Tab keeps Space for itself.
    w.CmdJs->setFocus(Qt::TabFocusReason);
    key(w, Qt::Key_Space);
    QCOMPARE(w.CmdJs->text(), QStringLiteral("暂停"));
    QCOMPARE(w.pickPoolCount, 48);
    w.CmdJs->click();
    w.chkGd->setFocus(Qt::MouseFocusReason);

    // T runs the timer like the clock label; B and "." show only the name and the clock.
    key(w, Qt::Key_T);
    QCOMPARE(w.CmdJs->text(), QStringLiteral("暂停"));
    key(w, Qt::Key_T);
    QCOMPARE(w.CmdJs->text(), QStringLiteral("计时"));
    key(w, Qt::Key_B);
    for (QWidget* frame : {w.FraFl, w.frSz, w.fraXr, w.fraJs}) QVERIFY(frame->isHidden());
    QVERIFY(w.menuBar()->isHidden() && !w.lblXm->isHidden() && !w.lblSj->isHidden());
    key(w, Qt::Key_Space);  // a call still works in the presentation view
    QCOMPARE(w.pickPoolCount, 47);
    key(w, Qt::Key_Period);
    for (QWidget* frame : {w.FraFl, w.frSz, w.fraXr, w.fraJs}) QVERIFY(!frame->isHidden());
    QVERIFY(w.FrXls->isHidden() && w.frXx->isHidden() && !w.menuBar()->isHidden());
    // A held key is one press; a disabled name label takes no call.
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &w;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &repeat);
    QCOMPARE(w.pickPoolCount, 46);
    w.lblXm->setEnabled(false);
    key(w, Qt::Key_Space);
    QCOMPARE(w.pickPoolCount, 46);
  }

  void takingBackCallsAcrossGroupsRollingAndTheStartOfTheDay() {
    Scenario s;
    FrmMd& w = startWindow(s);
    w.MnFl[0]->trigger();  // no roster: the file dialog is cancelled
    installClass(w, 10, 4);
    QVERIFY(!w.MnCx->isEnabled());
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    w.CmdXie[1]->setEnabled(false);
    // Calls in three groups: pool positions 10, 2, then 6 of the nine left.
    const auto pool = [&w] { return std::get<rollcall::NamePool>(w.pickPool); };
    std::vector<rollcall::NamePool> pools{pool()};
    QStringList captions;
    for (double r : {0.95, 0.15, 0.6}) {
      s.fakes.random.values = {r};
      QTest::mouseClick(w.lblXm, Qt::LeftButton);
      captions.append(w.lblXm->caption());
      pools.push_back(pool());
    }
    QCOMPARE(captions, QStringList({QStringLiteral("3 组 10 号 \r\n学生10"), QStringLiteral("1 组 2 号 \r\n学生2"),
                                    QStringLiteral("2 组 6 号 \r\n学生6")}));
    QCOMPARE(w.pickPoolCount, 7);
    // A rolling call: started and stopped on the candidate shown last.
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    s.fakes.random.fallback = 0.0;
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    w.onTimer1Tick();
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 组 1 号 \r\n学生1"));
    QCOMPARE(w.pickPoolCount, 6);

    w.MnCx->trigger();  // the rolling call
    QCOMPARE(w.pickPoolCount, 7);
    QVERIFY(std::get<rollcall::NamePool>(w.pickPool) == pools[3]);
    QCOMPARE(w.lblXm->caption(), captions[2]);
    QCOMPARE(w.currentNumber, 6);
    QVERIFY(w.CmdXie[1]->isEnabled());
    // Regrouped since: the previous student is found in the new groups.
    w.groupCount = 2;
    w.groupSize = 5;
    QVERIFY(w.formGroupsNow(false));
    key(w, Qt::Key_PageUp);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 组 2 号 \r\n学生2"));
    QCOMPARE(w.currentNumber, 2);
    QVERIFY(std::get<rollcall::NamePool>(w.pickPool) == pools[2]);
    key(w, Qt::Key_PageUp);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("2 组 10 号 \r\n学生10"));
    key(w, Qt::Key_PageUp);  // the first call of the day
    QCOMPARE(w.lblXm->caption(), QStringLiteral("名单\r\n点名"));
    QCOMPARE(w.currentNumber, 0);
    QVERIFY(!w.CmdXie[1]->isEnabled());
    QVERIFY(std::get<rollcall::NamePool>(w.pickPool) == pools[0]);
    QCOMPARE(w.pickPoolCount, 10);
    QVERIFY(!w.MnCx->isEnabled());
    key(w, Qt::Key_PageUp);  // nothing left to take back
    QCOMPARE(w.pickPoolCount, 10);

    // A rolling display running when taking back stops without calling anybody.
    s.fakes.random.values = {0.0};
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QCOMPARE(w.pickPoolCount, 9);
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    w.onTimer1Tick();
    key(w, Qt::Key_Left);
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.pickPoolCount, 9);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 组 1 号 \r\n学生1"));

    // Seats: the previous seat, then the category caption; a new range is a new day.
    w.MnFl[2]->trigger();
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    QTest::mouseClick(w.OptDmFs[1], Qt::LeftButton);
    const int columnBefore = w.currentValue;
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1行\r\n2列"));
    key(w, Qt::Key_Left);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1行\r\n1列"));
    key(w, Qt::Key_Left);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("行列\r\n点名"));
    QCOMPARE(w.currentValue, columnBefore);
    QCOMPARE(w.pickPoolCount, 48);
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1行\r\n1列"));  // in order, the same seat again
    w.onTxtXhLostFocus(1);
    QVERIFY(!w.MnCx->isEnabled());
  }

  void settingsAreRememberedAndRestoredThroughTheHandlers() {
    QTemporaryDir store;
    const QString ini = store.filePath(QStringLiteral("velquor.ini"));
    const QString roster = copyFixture(QStringLiteral("lo-roster3.xls"), store.path(), QStringLiteral("三个班.xls"));
    {
      Scenario s;
      FrmMd& w = startWindow(s, ini);
      s.fakes.dialogs.fileAnswers = {roster};
      QTest::mouseClick(w.OptFl[0], Qt::LeftButton);
      w.MnBj[2]->trigger();
      QCOMPARE(w.cmbXls->currentText(), QStringLiteral("高一(3)班"));
      QTest::mouseClick(w.OptDmFs[1], Qt::LeftButton);
      QTest::mouseClick(w.chkGd, Qt::LeftButton);
      QTest::mouseClick(w.OptFz[1], Qt::LeftButton);
      w.txtFz[1]->setText(QStringLiteral("5"));
      QTest::keyClick(w.txtFz[1], Qt::Key_Return);
      QTest::mouseClick(w.CmdFz[0], Qt::LeftButton);
      w.MnXs[0]->trigger();
      w.Combo1[1]->setEditText(QStringLiteral("10"));
      w.cmbJsDw->setCurrentIndex(1);
      w.MnJs[1]->trigger();
      w.close();
    }
    const auto restart = [&](Scenario& s, bool reset = false) -> FrmMd& {
      copyFixture(QStringLiteral("lo-roster3.xls"), store.path(), QStringLiteral("三个班.xls"));
      return startWindow(s, ini, reset);
    };
    {
      Scenario s;
      FrmMd& w = restart(s);
      QCOMPARE(s.fakes.dialogs.fileDialogCount, 0);
      QVERIFY(s.fakes.dialogs.messages.empty());
      QCOMPARE(w.rollCategory, 0);
      QCOMPARE(w.rosterPath, roster);
      QCOMPARE(w.cmbXls->currentText(), QStringLiteral("高一(3)班"));
      QVERIFY(w.OptDmFs[1]->isChecked() && !w.chkGd->isChecked() && !w.MnFs[2]->isChecked());
      QVERIFY(w.OptFz[1]->isChecked() && w.txtFz[1]->isEnabled() && !w.txtFz[0]->isEnabled());
      QCOMPARE(w.groupSize, 5);
      QCOMPARE(w.List2->count(), (w.studentCount + 4) / 5);
      QVERIFY(w.lblXm->isEnabled());
      QVERIFY(w.FraFl->isHidden() && w.FrZr->isHidden());  // 极简
      QCOMPARE(w.Combo1[1]->currentText(), QStringLiteral("10"));
      QCOMPARE(w.cmbJsDw->currentText(), QStringLiteral("分"));
      QCOMPARE(w.cmbJsFs->currentText(), QStringLiteral("倒计时"));
      QCOMPARE(factorOf(w), 1.0);
      // A class that is gone leaves the first class; a roster that is gone the default.
      w.close();
    }
    {
      QSettings edit(ini, QSettings::IniFormat);
      edit.setValue(QStringLiteral("class"), QStringLiteral("已毕业班"));
    }
    {
      Scenario s;
      FrmMd& w = restart(s);
      QCOMPARE(w.cmbXls->currentText(), QStringLiteral("高一(1)班"));
      QVERIFY(w.studentCount > 1);
      QVERIFY(s.fakes.dialogs.messages.empty());
      w.close();
    }
    {
      QSettings edit(ini, QSettings::IniFormat);
      edit.setValue(QStringLiteral("roster"), store.filePath(QStringLiteral("已删除.xls")));
    }
    {
      Scenario s;
      copyFixture(QStringLiteral("gn-roster7.xls"), s.fakes.programFolder.path());
      FrmMd& w = restart(s);
      QCOMPARE(w.rosterPath, w.defaultRosterPath());
      QCOMPARE(w.cmbXls->count(), 7);
      QCOMPARE(s.fakes.dialogs.fileDialogCount, 0);
      QVERIFY(s.fakes.dialogs.messages.empty());
      // Gone and no default either: the design's start, without a dialog.
      w.close();
    }
    {
      Scenario s;
      FrmMd& w = restart(s);
      QCOMPARE(w.rollCategory, 2);
      QCOMPARE(s.fakes.dialogs.fileDialogCount, 0);
      QVERIFY(w.OptDmFs[1]->isChecked());
      w.close();
    }
    // --reset: the design's defaults, and nothing is remembered any more.
    QVERIFY(parseStartOptions({QStringLiteral("velquor"), QStringLiteral("--reset")}).reset);
    QVERIFY(!parseStartOptions({QStringLiteral("velquor"), QStringLiteral("x.xls")}).reset);
    {
      Scenario s;
      FrmMd& w = restart(s, true);
      QCOMPARE(w.rollCategory, 2);
      QVERIFY(w.OptDmFs[0]->isChecked() && w.chkGd->isChecked());
      QCOMPARE(w.Combo1[1]->currentText(), QStringLiteral("5"));
      QSettings check(ini, QSettings::IniFormat);
      QVERIFY(!readSettings(check));
    }
  }

  void screenReadersHearNamesCallsAndShortcuts() {
    QList<QObject*> events;
    nameEvents = &events;
    watchAnnouncements(recordAnnouncement);
    Scenario s;
    FrmMd& w = startWindow(s);
    QCOMPARE(accessibleName(w.txtXh[0]), QStringLiteral("行数"));
    QCOMPARE(accessibleName(w.txtXh[1]), QStringLiteral("列数"));
    w.MnFl[1]->trigger();
    QCOMPARE(accessibleName(w.txtXh[0]), QStringLiteral("最小号"));
    QCOMPARE(accessibleName(w.txtXh[1]), QStringLiteral("最大号"));
    QCOMPARE(accessibleName(w.txtFz[0]), QStringLiteral("组数"));
    QCOMPARE(accessibleName(w.txtFz[1]), QStringLiteral("每组人数"));
    // An editable list is read in its text line; a drop-down's own name is its entry on
    // Linux, where readers take the name from the label (its buddy) or the property.
    QCOMPARE(accessibleName(w.Combo1[0]->lineEdit()), QStringLiteral("分数"));
    QCOMPARE(accessibleName(w.cmbXls->lineEdit()), QStringLiteral("班级"));
    QCOMPARE(accessibleName(w.txtFn), QStringLiteral("点名册文件"));
    QCOMPARE(accessibleName(w.List2), QStringLiteral("组号"));
    QCOMPARE(w.Label4->buddy(), w.cmbXh);
    for (QWidget* box : {static_cast<QWidget*>(w.cmbXh), static_cast<QWidget*>(w.CmbXm),
                         static_cast<QWidget*>(w.Combo1[1]), static_cast<QWidget*>(w.cmbJsDw),
                         static_cast<QWidget*>(w.cmbJsFs), static_cast<QWidget*>(w.List1)})
      QVERIFY2(!box->accessibleName().isEmpty(), qPrintable(box->objectName()));

    // Each call is announced by the name label, also the same number twice and a rolling stop.
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    events.clear();
    s.fakes.random.values = {0.5};
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QCOMPARE(accessibleName(w.lblXm), QStringLiteral("25"));
    const auto announced = [&] {
      int n = 0;
      for (QObject* o : events) n += o == w.lblXm;
      return n;
    };
    QCOMPARE(announced(), 1);
    w.lblXm->setCaption(QStringLiteral("25"));
    QCOMPARE(announced(), 2);
    QTest::mouseClick(w.chkGd, Qt::LeftButton);
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    w.onTimer1Tick();
    w.onTimer1Tick();
    const int beforeStop = announced();
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QCOMPARE(announced(), beforeStop + 1);
    QCOMPARE(accessibleName(w.lblXm), w.lblXm->caption());
    QVERIFY(!w.lblXm->accessibleDescription().isEmpty());

    // Every menu entry with a shortcut exposes it.
    int shortcuts = 0;
    for (QMenu* menu : w.menuBar()->findChildren<QMenu*>()) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(menu);
      for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* item = iface->child(i);
        const QAction* action = menu->actions().value(i);
        if (!action || action->shortcut().isEmpty()) continue;
        QCOMPARE(item->text(QAccessible::Accelerator), action->shortcut().toString(QKeySequence::NativeText));
        ++shortcuts;
      }
    }
    QCOMPARE(shortcuts, 4);
    watchAnnouncements(nullptr);
    nameEvents = nullptr;
  }
};

QTEST_MAIN(TestClassroom)
#include "test_classroom.moc"
