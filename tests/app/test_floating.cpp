// The floating call button and the name read aloud, in the real main window offscreen: its
// placement rules, calling by tap, the bubble, dragging by mouse and by touch, the places
// remembered per screen layout, the speech and the menus at the window's scale.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointingDevice>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTouchEvent>

#include "app/floatingcall.h"
#include "app/floatplace.h"
#include "app/widgets.h"
#include "core/variant.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::floatplace::Edge;

namespace {

FrmMd& startWindow(Scenario& s, const QString& settingsFile = QString()) {
  Services services = s.fakes.services();
  if (!settingsFile.isEmpty())
    services.settings = [settingsFile] { return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat); };
  s.window = std::make_unique<FrmMd>(services);
  s.window->show();
  s.window->activateWindow();
  QApplication::setActiveWindow(s.window.get());
  if (!QTest::qWaitForWindowActive(s.window.get())) s.window->formActivate();
  QTest::qWait(0);
  return *s.window;
}

template <typename T>
T* topLevel(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name) return qobject_cast<T*>(w) ? qobject_cast<T*>(w) : nullptr;
  return nullptr;
}

QString lastSaid(const Scenario& s) { return s.fakes.speaker.said.isEmpty() ? QString() : s.fakes.speaker.said.last(); }

FloatingCall* floatingOf(FrmMd& w) { return w.findChild<FloatingCall*>(QStringLiteral("floatingCall")); }

QAction* entry(QObject* root, const char* name) { return root->findChild<QAction*>(QLatin1String(name)); }

QRect screenArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// Drags the button with the mouse from its middle to `global` (its middle's new place).
void mouseDrag(QWidget* button, QPoint global) {
  const QPoint from = button->rect().center();
  QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, from);
  const QPoint start = button->mapToGlobal(from);
  for (int step = 1; step <= 4; ++step) {
    const QPoint at = start + (global - start) * step / 4;
    QTest::mouseMove(button, button->mapFromGlobal(at));
  }
  QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, button->mapFromGlobal(global));
}

}  // namespace

class TestFloating : public QObject {
  Q_OBJECT
 private slots:
  void placementKeepsOffTheCornersSnapsAndHidesHalf() {
    using namespace floatplace;
    const QRect screen(0, 0, 1000, 800);
    const int size = 40, corner = cornerZone(size);
    // Within the screen, out of the corner zones, moving along the shorter way out.
    QCOMPARE(keepOnScreen(QPoint(-50, 300), size, screen), QPoint(0, 300));
    QCOMPARE(keepOnScreen(QPoint(2000, 2000), size, screen), QPoint(1000 - size, 800 - corner - size));
    QCOMPARE(keepOnScreen(QPoint(5, 30), size, screen), QPoint(5, corner));
    QCOMPARE(keepOnScreen(QPoint(30, 5), size, screen), QPoint(corner, 5));
    QCOMPARE(keepOnScreen(QPoint(500, 300), size, screen), QPoint(500, 300));
    // The nearest edge within the distance; snapping keeps off the corners.
    QCOMPARE(nearEdge(QPoint(945, 300), size, screen, size), Edge::Right);
    QCOMPARE(nearEdge(QPoint(10, 770 - size), size, screen, size), Edge::Left);
    QCOMPARE(nearEdge(QPoint(500, 300), size, screen, size), Edge::None);
    QCOMPARE(snapTo(QPoint(945, 2), size, screen, Edge::Right), QPoint(1000 - size, corner));
    QCOMPARE(snapTo(QPoint(300, 790), size, screen, Edge::Bottom), QPoint(300, 800 - size));
    QCOMPARE(halfHidden(QPoint(1000 - size, 300), size, Edge::Right), QPoint(1000 - size / 2, 300));
    QCOMPARE(halfHidden(QPoint(0, 300), size, Edge::Left), QPoint(-size / 2, 300));
    QCOMPARE(halfHidden(QPoint(300, 0), size, Edge::Top), QPoint(300, -size / 2));
    // A second screen to the right: a point between them belongs to the nearer.
    const QList<QRect> two = {screen, QRect(1000, 100, 800, 600)};
    QCOMPARE(screenFor(QPoint(1500, 50), two), 1);
    QCOMPARE(screenFor(QPoint(990, 750), two), 0);
    QCOMPARE(layoutKey(two), QStringLiteral("1000x800+0+0;800x600+1000+100"));
    // The bubble goes towards the middle and stays on the screen.
    const QRect right(1000 - size, 300, size, size);
    const QRect bubble = bubbleRect(right, QSize(300, 100), screen, 10);
    QCOMPARE(bubble.right(), right.left() - 10 - 1);
    QVERIFY(std::abs(bubble.center().y() - right.center().y()) <= 1);
    QCOMPARE(bubbleRect(QRect(0, 0, size, size), QSize(300, 100), screen, 10).topLeft(), QPoint(size + 10, 0));
  }

  void aTapIsAClickOnTheNameLabelShownInTheBubble() {
    Scenario s;
    FrmMd& w = startWindow(s);
    FloatingCall* floating = floatingOf(w);
    QVERIFY(floating);
    QTest::keyClick(&w, Qt::Key_F);
    QVERIFY(w.isHidden());
    auto* button = topLevel<QWidget>(QStringLiteral("cmdXf"));
    auto* bubble = topLevel<QWidget>(QStringLiteral("lblQp"));
    QVERIFY(button && bubble);
    QVERIFY(button->isVisible() && !bubble->isVisible());
    QVERIFY(button->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(button->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(button->focusPolicy(), Qt::NoFocus);
    // About 1.2 cm on the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen->physicalDotsPerInch() >= 50 ? screen->physicalDotsPerInch() : screen->logicalDotsPerInch();
    QVERIFY(std::abs(button->width() - 1.2 / 2.54 * dpi) <= 1.0);

    // Rolling (the design's start): the first tap starts the display, which the bubble
    // follows candidate by candidate; the second tap calls.
    const int before = w.pickPoolCount;
    const auto sounds = s.fakes.sound.played.size();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(s.fakes.sound.played.size(), sounds + 1);
    QCOMPARE(w.pickPoolCount, before);
    QTRY_VERIFY(bubble->isVisible());
    s.fakes.random.values = {0.1, 0.9, 0.5};
    QStringList seen;  // the bubble's captions as the label changes, while it flickers
    const auto watch = connect(w.lblXm, &CaptionLabel::captionChanged, this, [&] {
      if (bubble->isVisible() && property(bubble) == w.lblXm->caption() && !seen.contains(property(bubble)))
        seen.append(property(bubble));
    });
    QTRY_VERIFY(seen.size() >= 3);
    disconnect(watch);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.pickPoolCount, before - 1);
    QCOMPARE(s.fakes.sound.played.size(), sounds + 2);
    QCOMPARE(property(bubble), w.lblXm->caption());
    // A tenth of the screen's height for each line, in the name label's font family.
    QVERIFY(bubble->font().pixelSize() >= screenArea().height() / 10);
    QCOMPARE(bubble->font().family(), w.lblXm->font().family());
    QVERIFY(!bubble->geometry().intersects(button->geometry()));

    // Without rolling each tap calls at once; the bubble goes after the teacher's time.
    w.setCheck(w.chkGd, false, &FrmMd::onChkGdClick);
    entry(floating->menu(), "MnXfSj(0)")->trigger();  // 3 s
    QCOMPARE(floating->bubbleSeconds(), 3);
    s.fakes.random.values = {0.0};
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(w.pickPoolCount, before - 2);
    QCOMPARE(property(bubble), QStringLiteral("1行\r\n1列"));
    QVERIFY(bubble->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!bubble->isVisible(), 5000);
    // The name-list category with a group rule not yet formed cannot call: nothing happens.
    w.lblXm->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(w.pickPoolCount, before - 2);
    QVERIFY(!bubble->isVisible());
    w.lblXm->setEnabled(true);

    entry(floating->menu(), "MnXfFh")->trigger();  // 返回主窗口
    QVERIFY(w.isVisible() && !button->isVisible());
    w.findChild<QAction*>(QStringLiteral("MnXf"))->trigger();
    QVERIFY(w.isHidden() && button->isVisible());
    entry(floating->menu(), "MnXfTc")->trigger();  // 退出
    QVERIFY(!button->isVisible() && !w.isVisible());
  }

  void draggedByMouseOrFingerSnappedHiddenAndRemembered() {
    QTemporaryDir store;
    const QString ini = store.filePath(QStringLiteral("velquor.ini"));
    const QRect area = screenArea();
    QPoint remembered;
    {
      Scenario s;
      FrmMd& w = startWindow(s, ini);
      w.setCheck(w.chkGd, false, &FrmMd::onChkGdClick);
      FloatingCall* floating = floatingOf(w);
      QTimer* idle = floating->findChild<QTimer*>(QStringLiteral("timXfYc"));
      QCOMPARE(idle->interval(), 3000);
      w.findChild<QAction*>(QStringLiteral("MnXf"))->trigger();
      QWidget* button = floating->button();
      const int size = button->width();
      const int pool = w.pickPoolCount;

      // Let go in the middle: it stays there, and a drag is no call.
      mouseDrag(button, area.center());
      QCOMPARE(button->geometry().center(), area.center());
      QCOMPARE(w.pickPoolCount, pool);
      QVERIFY(!idle->isActive());  // not at an edge: never hides

      // Let go near the right edge: flush with it.
      mouseDrag(button, QPoint(area.right() - size / 2 - 5, area.top() + 2 * size));
      QTRY_COMPARE(button->x(), area.x() + area.width() - size);
      QCOMPARE(button->y(), area.top() + 2 * size - size / 2);
      remembered = button->pos();
      // Idle: half behind the edge, see-through, until touched; the touch is no call.
      QVERIFY(idle->isActive());
      idle->start(1);  // the idle seconds pass
      QTRY_COMPARE(button->x(), area.x() + area.width() - size + size / 2);
      QVERIFY(std::abs(button->windowOpacity() - 0.5) < 0.01);
      idle->setInterval(3000);
      const QPoint touched = button->mapToGlobal(QPoint(size / 4, size / 2));
      QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(size / 4, size / 2));
      QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, button->mapFromGlobal(touched));
      QCOMPARE(button->pos(), remembered);
      QCOMPARE(button->windowOpacity(), 1.0);
      QCOMPARE(w.pickPoolCount, pool);

      // A finger drags it as the mouse does; a touch broken off leaves it where it was.
      QPointingDevice* finger = QTest::createTouchDevice();
      const QPoint centre = button->rect().center();
      const QPoint start = button->mapToGlobal(centre);
      const auto touchTo = [&](QPoint global) { QTest::touchEvent(button, finger).move(0, button->mapFromGlobal(global)); };
      QTest::touchEvent(button, finger).press(0, centre);
      touchTo(start - QPoint(size * 3, 0));
      touchTo(start - QPoint(size * 6, -size));
      QCOMPARE(button->pos(), remembered - QPoint(size * 6, -size));
      QTouchEvent cancel(QEvent::TouchCancel, finger);
      QApplication::sendEvent(button, &cancel);
      QCOMPARE(button->pos(), remembered);
      QCOMPARE(w.pickPoolCount, pool);
      // A finished touch drag settles; a short tap calls.
      QTest::touchEvent(button, finger).press(0, centre);
      touchTo(start - QPoint(size * 3, 0));
      touchTo(start - QPoint(size * 6, -size));
      QTest::touchEvent(button, finger).release(0, button->mapFromGlobal(start - QPoint(size * 6, -size)));
      QCOMPARE(button->pos(), remembered - QPoint(size * 6, -size));
      QCOMPARE(w.pickPoolCount, pool);
      QTest::touchEvent(button, finger).press(0, centre);
      QTest::touchEvent(button, finger).release(0, centre);
      QCOMPARE(w.pickPoolCount, pool - 1);
      QTRY_VERIFY(floating->bubble()->isVisible());
      // Dragged back to the edge for the next run.
      mouseDrag(button, QPoint(area.right(), remembered.y() + size / 2));
      QTRY_COMPARE(button->pos(), remembered);
      w.close();
    }
    {
      Scenario s;
      FrmMd& w = startWindow(s, ini);
      QTest::keyClick(&w, Qt::Key_F);
      QCOMPARE(floatingOf(w)->button()->pos(), remembered);
    }
  }

  void aChangeOfScreensBringsTheButtonBackOrToItsPlaceThere() {
    Scenario s;
    FrmMd& w = startWindow(s);
    FloatingCall* floating = floatingOf(w);
    QList<QRect> screens = {QRect(0, 0, 1600, 900), QRect(1600, 0, 1280, 1024)};
    floating->setScreenSource([&screens] { return screens; });
    floating->show();
    QWidget* button = floating->button();
    const int size = button->width();
    // On the second monitor, in its middle.
    mouseDrag(button, QPoint(2240, 500));
    const QPoint onSecond = button->pos();
    QVERIFY(QRect(1600, 0, 1280, 1024).contains(button->geometry()));
    // The second monitor goes: back on the first, at the edge nearest where it was.
    screens = {QRect(0, 0, 1600, 900)};
    floating->screensChanged();
    QCOMPARE(button->pos(), QPoint(1600 - size, onSecond.y()));
    mouseDrag(button, QPoint(400, 400));
    // A lower resolution: still wholly on the screen.
    screens = {QRect(0, 0, 300, 300)};
    floating->screensChanged();
    QVERIFY(QRect(0, 0, 300, 300).contains(button->geometry()));
    // The monitor back: the place remembered for that layout.
    screens = {QRect(0, 0, 1600, 900), QRect(1600, 0, 1280, 1024)};
    floating->screensChanged();
    QCOMPARE(button->pos(), onSecond);
    // The places survive the settings' text.
    const QString text = floating->places();
    floating->setPlaces(QStringLiteral("garbage|x=1,2|") + text);
    QCOMPARE(floating->places(), text);
  }

  void callsAreReadAloudWithTheTeachersWords() {
    QTemporaryDir store;
    const QString ini = store.filePath(QStringLiteral("velquor.ini"));
    {
      Scenario s;
      FrmMd& w = startWindow(s, ini);
      QAction* speak = w.findChild<QAction*>(QStringLiteral("MnLd"));
      QVERIFY(speak && speak->isEnabled() && speak->isCheckable() && !speak->isChecked());
      QVERIFY(w.MnFangShi->actions().contains(speak));
      w.setCheck(w.chkGd, false, &FrmMd::onChkGdClick);
      w.onLblXmClick();
      QTest::qWait(0);
      QVERIFY(s.fakes.speaker.said.isEmpty());  // off by default
      speak->trigger();
      s.fakes.random.values = {0.3};
      w.onLblXmClick();  // seat 16 of 6 × 8, the 15th left
      QVERIFY(s.fakes.speaker.said.isEmpty());  // after the display and the sound
      QTRY_COMPARE(s.fakes.speaker.said, QStringList({QStringLiteral("2行8列")}));

      // The teacher's words before and after the name.
      w.findChild<QAction*>(QStringLiteral("MnLdSz"))->trigger();
      auto* dialog = w.findChild<QDialog*>(QStringLiteral("FrmLd"));
      QVERIFY(dialog);
      dialog->findChild<QLineEdit*>(QStringLiteral("txtLdQ"))->setText(QStringLiteral("请"));
      dialog->findChild<QLineEdit*>(QStringLiteral("txtLdH"))->setText(QStringLiteral(" 回答 "));
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      w.selectOption(w.OptFl[1], &FrmMd::onOptFlClick, 1);
      s.fakes.random.values = {0.5};
      w.onLblXmClick();  // 25 of 1..48
      QTRY_COMPARE(lastSaid(s), QStringLiteral("请25号回答"));
      // A rolling call is read out when it stops, once.
      w.setCheck(w.chkGd, true, &FrmMd::onChkGdClick);
      const int said = static_cast<int>(s.fakes.speaker.said.size());
      w.onLblXmClick();
      QTest::qWait(120);
      QCOMPARE(s.fakes.speaker.said.size(), said);
      w.onLblXmClick();
      QTRY_COMPARE(s.fakes.speaker.said.size(), said + 1);
      QCOMPARE(lastSaid(s), QStringLiteral("请") + w.lblXm->caption() + QStringLiteral("号回答"));
      w.close();
    }
    {
      // Remembered; the name-list category reads the name alone.
      Scenario s;
      FrmMd& w = startWindow(s, ini);
      QVERIFY(w.findChild<QAction*>(QStringLiteral("MnLd"))->isChecked());
      w.selectOption(w.OptFl[0], &FrmMd::onOptFlClick, 0);  // no roster: the file dialog is cancelled
      rollcall::NameTable students(3);
      rollcall::NamePool pool(3);
      for (int i = 1; i <= 2; ++i) {
        students[i] = {Variant::fromNumber(i), Variant::fromText(i == 1 ? "李小明" : "王芳"), Variant::fromNumber(i + 2)};
        pool[i] = {Variant::fromNumber(i), Variant::fromNumber(i), Variant::fromNumber(i + 2)};
      }
      w.installNameList(students, pool, 2);
      w.groupCount = 1;
      w.groupSize = 2;
      QVERIFY(w.formGroupsNow(false));
      w.setCheck(w.chkGd, false, &FrmMd::onChkGdClick);
      s.fakes.random.values = {0.9};
      w.onLblXmClick();
      QCOMPARE(w.lblXm->caption(), QStringLiteral("2 号 \r\n王芳"));
      QTRY_COMPARE(lastSaid(s), QStringLiteral("请王芳回答"));
      // A manual call in the list is the teacher's own: nothing is read out.
      const auto said = s.fakes.speaker.said.size();
      w.onList1MouseUp();
      QTest::qWait(0);
      QCOMPARE(s.fakes.speaker.said.size(), said);
    }
    {
      // No voice: the entry is disabled and says why.
      Scenario s;
      s.fakes.speaker.reason = QStringLiteral("没有可用的中文语音");
      FrmMd& w = startWindow(s, ini);
      QAction* speak = w.findChild<QAction*>(QStringLiteral("MnLd"));
      QVERIFY(!speak->isEnabled() && !speak->isChecked());
      QCOMPARE(speak->toolTip(), QStringLiteral("没有可用的中文语音"));
      w.onLblXmClick();
      w.onLblXmClick();
      QTest::qWait(0);
      QVERIFY(s.fakes.speaker.said.isEmpty());
    }
  }

  void theMenusFollowTheWindowsScale() {
    Scenario s;
    FrmMd& w = startWindow(s);
    const int design = QFontInfo(w.menuBar()->font()).pixelSize();
    w.resize(QSize(628 * 2, 637 * 2) + (w.size() - w.centralWidget()->size()));
    QTest::qWait(50);
    const double factor = w.centralWidget()->property("layoutScale").toDouble();
    QVERIFY(factor > 1.9);
    QVERIFY(std::abs(QFontInfo(w.menuBar()->font()).pixelSize() - design * factor) <= 1.5);
    QCOMPARE(w.MnFangShi->font(), w.menuBar()->font());
    QCOMPARE(w.classMenu->font(), w.menuBar()->font());
    // The taller menu bar settles: the scale does not swing back and forth.
    QTest::qWait(100);
    QCOMPARE(w.centralWidget()->property("layoutScale").toDouble(), factor);
  }

 private:
  static QString property(QWidget* bubble) { return static_cast<CallBubble*>(bubble)->caption(); }
};

QTEST_MAIN(TestFloating)
#include "test_floating.moc"
