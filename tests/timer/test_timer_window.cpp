// The class timer on the real main window, with the fake clock advanced by hand and the
// fake sound player recording the cues.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "tests/support/scenario.h"
#include "app/widgets.h"

using namespace velquor;
using namespace velquor::test;

namespace {

const QString kStart = QStringLiteral("start.wav");
const QString kOver = QStringLiteral("over.wav");

struct TimerScenario : Scenario {
  FrmMd& w;
  TimerScenario() : w(start()) {}

  void set(const QString& amount, int unit, int mode) {
    w.Combo1[1]->setEditText(amount);
    w.cmbJsDw->setCurrentIndex(unit);  // 0 秒, 1 分, 2 时
    w.cmbJsFs->setCurrentIndex(mode);  // 0 正计时, 1 倒计时
  }
  void clickButton() { QTest::mouseClick(w.CmdJs, Qt::LeftButton); }
  // One second (or more) of clock time, then the tick.
  QString tickAfter(int seconds) {
    fakes.clock.advance(seconds);
    w.onTimJsTick();
    return shown();
  }
  QString tickAfterMs(int milliseconds) {
    fakes.clock.advanceMs(milliseconds);
    w.onTimJsTick();
    return shown();
  }
  QString shown() const { return w.lblSj->caption(); }
  bool running() const { return w.CmdJs->text() == QStringLiteral("暂停") && w.timJs->isActive(); }
  bool stopped() const { return w.CmdJs->text() == QStringLiteral("计时") && !w.timJs->isActive(); }
  QStringList& sounds() { return fakes.sound.played; }
};

}  // namespace

class TestTimerWindow : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    // The sound cues are looked up from the current folder.
    QVERIFY(QDir::setCurrent(QStringLiteral(VELQUOR_SOURCE_DIR)));
  }

  void countdownOfFiveMinutes() {
    TimerScenario s;
    QVERIFY(s.stopped());
    QCOMPARE(s.w.timJs->interval(), 1000);
    s.w.lblSj->setCaption(QStringLiteral("00:17:42"));  // left over from an earlier run
    s.set(QStringLiteral("5"), 1, 1);
    s.clickButton();
    QVERIFY(s.running());
    QCOMPARE(s.sounds(), QStringList({kStart}));
    QCOMPARE(s.shown(), QStringLiteral("00:17:42"));  // unchanged until the first tick
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:04:59"));
    // Time comes from the clock: ticks that came late or not at all change nothing.
    QCOMPARE(s.tickAfter(10), QStringLiteral("00:04:49"));
    s.w.onTimJsTick();
    QCOMPARE(s.shown(), QStringLiteral("00:04:49"));
    QCOMPARE(s.tickAfter(288), QStringLiteral("00:00:01"));
    QVERIFY(s.running());
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:00"));
    QVERIFY(s.stopped());
    QCOMPARE(s.sounds(), QStringList({kStart, kStart, kOver}));
  }

  void countUpStopsAtTheSetTimeAndShowsIt() {
    TimerScenario s;
    s.set(QStringLiteral("5"), 0, 0);
    s.clickButton();
    for (int i = 1; i <= 4; ++i) QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:0%1").arg(i));
    QVERIFY(s.running());
    // The last tick comes late; the clock still shows exactly the set time.
    QCOMPARE(s.tickAfter(3), QStringLiteral("00:00:05"));
    QVERIFY(s.stopped());
    QCOMPARE(s.sounds(), QStringList({kStart, kStart, kOver}));
  }

  void amountsAreConvertedAndRounded() {
    TimerScenario s;
    s.set(QStringLiteral("1.5"), 1, 1);
    s.clickButton();
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:01:29"));
    s.clickButton();
    // 2.5 seconds round to 2: over at the second tick.
    s.set(QStringLiteral("2.5"), 0, 0);
    s.clickButton();
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:01"));
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:02"));
    QVERIFY(s.stopped());
    // Amount 0 ends at the first tick, counting up or down.
    for (int mode : {0, 1}) {
      s.sounds().clear();
      s.set(QStringLiteral("0"), 2, mode);
      s.clickButton();
      QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:00"));
      QVERIFY(s.stopped());
      QCOMPARE(s.sounds(), QStringList({kStart, kStart, kOver}));
    }
    // Text that is not a number counts as 0 as well.
    s.set(QStringLiteral("abc"), 1, 1);
    s.clickButton();
    s.tickAfter(1);
    QVERIFY(s.stopped());
  }

  void theRealTickSourceDrivesTheClock() {
    TimerScenario s;
    s.set(QStringLiteral("10"), 0, 1);
    s.clickButton();
    s.fakes.clock.advance(3);
    QTRY_COMPARE_WITH_TIMEOUT(s.shown(), QStringLiteral("00:00:07"), 3000);
    s.fakes.clock.advance(7);
    QTRY_VERIFY_WITH_TIMEOUT(s.stopped(), 3000);
    QCOMPARE(s.shown(), QStringLiteral("00:00:00"));
  }

  void ticksThatComeEarlyOrLateShowTheTimeElapsed() {
    TimerScenario s;
    // Started 10 ms after the wall clock turned a second; the ticks come a little early
    // or late, as a timer's ticks do.
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 5), QTime(9, 0, 0, 10));
    s.set(QStringLiteral("3"), 0, 0);
    s.clickButton();
    QCOMPARE(s.tickAfterMs(975), QStringLiteral("00:00:01"));
    QCOMPARE(s.tickAfterMs(1000), QStringLiteral("00:00:02"));
    QVERIFY(s.running());
    QCOMPARE(s.tickAfterMs(990), QStringLiteral("00:00:03"));  // 2965 ms: the run is over
    QVERIFY(s.stopped());
    // Counting down a minute: no second shown twice at the start, and a late or lost
    // tick only delays the refresh.
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 5), QTime(9, 0, 5, 20));
    s.set(QStringLiteral("1"), 1, 1);
    s.clickButton();
    QCOMPARE(s.tickAfterMs(970), QStringLiteral("00:00:59"));
    QCOMPARE(s.tickAfterMs(1060), QStringLiteral("00:00:58"));
    QCOMPARE(s.tickAfterMs(2000), QStringLiteral("00:00:56"));
    QVERIFY(s.running());
    QCOMPARE(s.w.timJs->timerType(), Qt::PreciseTimer);  // ticks within a millisecond or so
  }

  void modeChangesWhileRunningShowAtTheNextTick() {
    TimerScenario s;
    s.set(QStringLiteral("10"), 0, 1);
    s.clickButton();
    QCOMPARE(s.tickAfter(3), QStringLiteral("00:00:07"));
    s.w.MnJs[2]->trigger();  // 正计时
    QCOMPARE(s.w.cmbJsFs->currentText(), QStringLiteral("正计时"));
    QCOMPARE(s.shown(), QStringLiteral("00:00:07"));
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:04"));
    s.w.MnJs[1]->trigger();  // 倒计时
    QCOMPARE(s.w.cmbJsFs->currentText(), QStringLiteral("倒计时"));
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:05"));
    QVERIFY(s.running());
    QCOMPARE(s.sounds(), QStringList({kStart}));  // no restart
    QVERIFY(!s.w.MnJs[1]->isChecked() && !s.w.MnJs[2]->isChecked());
  }

  void stopThenStartBeginsAgain() {
    TimerScenario s;
    s.set(QStringLiteral("30"), 0, 0);
    s.clickButton();
    QCOMPARE(s.tickAfter(10), QStringLiteral("00:00:10"));
    // Amount and unit changed while running take effect at the next start only.
    s.set(QStringLiteral("1"), 1, 0);
    QCOMPARE(s.tickAfter(20), QStringLiteral("00:00:30"));
    QVERIFY(s.stopped());
    s.sounds().clear();
    s.set(QStringLiteral("30"), 0, 0);
    s.clickButton();
    QCOMPARE(s.tickAfter(10), QStringLiteral("00:00:10"));
    s.clickButton();
    QVERIFY(s.stopped());
    QCOMPARE(s.sounds(), QStringList({kStart, kStart}));
    QCOMPARE(s.shown(), QStringLiteral("00:00:10"));
    // A tick while stopped neither shows anything nor starts the timer again.
    QCOMPARE(s.tickAfter(100), QStringLiteral("00:00:10"));
    QVERIFY(s.stopped());
    s.clickButton();
    QCOMPARE(s.shown(), QStringLiteral("00:00:10"));
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:01"));
  }

  void clickOnTheClockStartsAndStops() {
    TimerScenario s;
    s.set(QStringLiteral("1"), 1, 1);
    QTest::mouseClick(s.w.lblSj, Qt::LeftButton);
    QVERIFY(s.running());
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:59"));
    QTest::mouseClick(s.w.lblSj, Qt::LeftButton);
    QVERIFY(s.stopped());
    QCOMPARE(s.sounds(), QStringList({kStart, kStart}));
  }

  void settingsEntryTogglesItsMarkAndTheFrame() {
    TimerScenario s;
    QAction* settings = s.w.MnJs[0];
    QVERIFY(settings->isChecked());
    QVERIFY(s.w.fraJs->isVisible());
    settings->trigger();
    QVERIFY(!settings->isChecked());
    QVERIFY(!s.w.fraJs->isVisible());
    settings->trigger();
    QVERIFY(settings->isChecked());
    QVERIFY(s.w.fraJs->isVisible());
    // The display modes hide the frame without touching the mark: the first click then
    // only removes the mark, the second shows the frame.
    s.w.fraJs->hide();
    settings->trigger();
    QVERIFY(!settings->isChecked());
    QVERIFY(!s.w.fraJs->isVisible());
    settings->trigger();
    QVERIFY(settings->isChecked());
    QVERIFY(s.w.fraJs->isVisible());
    // Run from code, the handler inverts the mark itself, once.
    s.w.onMnJsClick(0);
    QVERIFY(!settings->isChecked());
    QVERIFY(!s.w.fraJs->isVisible());
  }

  void runningTimerSurvivesDisplaySwitches() {
    TimerScenario s;
    s.set(QStringLiteral("1"), 2, 1);
    s.clickButton();
    int seconds = 0;
    // Each switch leaves the run going: the next tick shows one second less.
    auto stillCounting = [&] {
      ++seconds;
      const QString expected = QTime(0, 0).addSecs(3600 - seconds).toString(QStringLiteral("hh:mm:ss"));
      return s.running() && s.tickAfter(1) == expected;
    };
    s.w.MnJs[0]->trigger();  // hides the frame
    QVERIFY(stillCounting());
    for (QAction* display : s.w.MnXs) {
      display->trigger();
      QVERIFY(stillCounting());
    }
    s.w.fraJs->hide();
    QVERIFY(stillCounting());
    QTest::mouseClick(s.w.OptFl[1], Qt::LeftButton);
    QVERIFY(stillCounting());
    QTest::mouseClick(s.w.OptFl[2], Qt::LeftButton);
    QVERIFY(stillCounting());
    QCOMPARE(s.sounds(), QStringList({kStart}));
  }

  void runAcrossMidnight() {
    TimerScenario s;
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 5), QTime(23, 59, 58));
    s.set(QStringLiteral("5"), 0, 1);
    s.clickButton();
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:04"));
    QCOMPARE(s.tickAfter(2), QStringLiteral("00:00:02"));  // 00:00:01 on the next day
    QCOMPARE(s.tickAfter(2), QStringLiteral("00:00:00"));
    QVERIFY(s.stopped());
    // Counting up through midnight for ten minutes.
    s.fakes.clock.current = QDateTime(QDate(2026, 12, 31), QTime(23, 58, 0, 600));
    s.set(QStringLiteral("10"), 1, 0);
    s.clickButton();
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:01"));
    QCOMPARE(s.tickAfter(299), QStringLiteral("00:05:00"));
    QVERIFY(s.running());
    QCOMPARE(s.tickAfter(300), QStringLiteral("00:10:00"));
    QVERIFY(s.stopped());
  }

  void theClockLabelStartsWithTheAmountTheBoxShows() {
    TimerScenario s;
    // 50000 seconds, started by the clock label (the box keeps its text): 13:53:20.
    s.set(QStringLiteral("50000"), 0, 1);
    QTest::mouseClick(s.w.lblSj, Qt::LeftButton);
    QVERIFY(s.running());
    QCOMPARE(s.w.timerTarget, QTime(13, 53, 20));
  }

  void amountsBeyondTheClockAreCapped() {
    TimerScenario s;
    // 24 hours or more run as 23:59:59.
    for (const QString& amount : {QStringLiteral("24"), QStringLiteral("32767")}) {
      s.set(amount, 2, 1);
      s.clickButton();
      QVERIFY(s.running());
      QCOMPARE(s.w.timerTarget, QTime(23, 59, 59));
      QCOMPARE(s.tickAfter(1), QStringLiteral("23:59:58"));
      s.clickButton();
    }
    s.set(QStringLiteral("1440"), 1, 0);
    s.clickButton();
    QCOMPARE(s.tickAfter(86398), QStringLiteral("23:59:58"));
    QCOMPARE(s.tickAfter(5), QStringLiteral("23:59:59"));
    QVERIFY(s.stopped());
    // A negative amount counts as zero: the run ends at its first tick.
    s.sounds().clear();
    s.set(QStringLiteral("0"), 1, 1);
    QTest::mouseClick(s.w.Command1[3], Qt::LeftButton);
    QCOMPARE(s.w.Combo1[1]->currentText(), QStringLiteral("-1"));
    s.clickButton();
    QVERIFY(s.running());
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:00"));
    QVERIFY(s.stopped());
    QCOMPARE(s.sounds(), QStringList({kStart, kStart, kOver}));
    // The timer goes on working normally afterwards.
    s.set(QStringLiteral("3"), 0, 1);
    s.clickButton();
    QCOMPARE(s.tickAfter(1), QStringLiteral("00:00:02"));
  }

  void clockSetBackDoesNotBreakTheRun() {
    TimerScenario s;
    s.set(QStringLiteral("2"), 1, 1);
    s.clickButton();
    QCOMPARE(s.tickAfter(-3600), QStringLiteral("00:02:00"));
    QVERIFY(s.running());
    s.w.cmbJsFs->setCurrentIndex(0);
    s.w.onTimJsTick();
    QCOMPARE(s.shown(), QStringLiteral("00:00:00"));
    QVERIFY(s.running());
  }
};

QTEST_MAIN(TestTimerWindow)
#include "test_timer_window.moc"
