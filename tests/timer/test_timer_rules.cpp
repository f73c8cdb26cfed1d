// The timer's arithmetic: set duration, what a tick shows, the clock text.
#include <QTest>
#include <limits>

#include "classtimer.h"

using namespace velquor::timer;

class TestTimerRules : public QObject {
  Q_OBJECT
 private slots:
  void setDurationConvertsRoundsAndCaps_data() {
    QTest::addColumn<double>("amount");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<int>("limit");
    const int none = int(SetDuration::Limit::None), negative = int(SetDuration::Limit::Negative),
              tooLong = int(SetDuration::Limit::TooLong);
    QTest::newRow("5 min") << 5.0 << int(Unit::Minute) << qint64(300) << none;
    QTest::newRow("1.5 min") << 1.5 << int(Unit::Minute) << qint64(90) << none;
    QTest::newRow("2.5 s half to even") << 2.5 << int(Unit::Second) << qint64(2) << none;
    QTest::newRow("3.5 s half to even") << 3.5 << int(Unit::Second) << qint64(4) << none;
    QTest::newRow("0.01 min") << 0.01 << int(Unit::Minute) << qint64(1) << none;
    QTest::newRow("zero") << 0.0 << int(Unit::Hour) << qint64(0) << none;
    QTest::newRow("-0.4 s rounds to zero") << -0.4 << int(Unit::Second) << qint64(0) << none;
    QTest::newRow("negative") << -1.0 << int(Unit::Second) << qint64(0) << negative;
    QTest::newRow("negative hours") << -32768.0 << int(Unit::Hour) << qint64(0) << negative;
    QTest::newRow("23:59:59") << 86399.0 << int(Unit::Second) << qint64(86399) << none;
    QTest::newRow("86399.5 s rounds to 24 h") << 86399.5 << int(Unit::Second) << qint64(kLongestRun) << tooLong;
    QTest::newRow("24 h") << 24.0 << int(Unit::Hour) << qint64(kLongestRun) << tooLong;
    QTest::newRow("1440 min") << 1440.0 << int(Unit::Minute) << qint64(kLongestRun) << tooLong;
    QTest::newRow("huge") << 1e300 << int(Unit::Hour) << qint64(kLongestRun) << tooLong;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << int(Unit::Second) << qint64(kLongestRun)
                              << tooLong;
  }
  void setDurationConvertsRoundsAndCaps() {
    QFETCH(double, amount);
    QFETCH(int, unit);
    QFETCH(qint64, seconds);
    QFETCH(int, limit);
    const SetDuration duration = setDuration(amount, static_cast<Unit>(unit));
    QCOMPARE(duration.seconds, seconds);
    QCOMPARE(int(duration.limit), limit);
  }

  void unitAndModeTexts() {
    QCOMPARE(unitFromText("秒"), Unit::Second);
    QCOMPARE(unitFromText("分"), Unit::Minute);
    QCOMPARE(unitFromText("时"), Unit::Hour);
    QCOMPARE(unitFromText(""), Unit::Second);
    QCOMPARE(modeFromText("正计时"), std::optional<Mode>(Mode::CountUp));
    QCOMPARE(modeFromText("倒计时"), std::optional<Mode>(Mode::CountDown));
    QVERIFY(!modeFromText("计时").has_value());
  }

  void readClockCountsUpAndDown() {
    // Running: up shows the elapsed time, down what remains.
    Reading r = readClock(300, 1, Mode::CountDown);
    QVERIFY(!r.over);
    QCOMPARE(r.shown, qint64(299));
    r = readClock(300, 299, Mode::CountUp);
    QVERIFY(!r.over);
    QCOMPARE(r.shown, qint64(299));
    QCOMPARE(r.remaining, qint64(1));
    // Over exactly at the set time, and when the tick comes late.
    for (qint64 elapsed : {300, 301, 5000}) {
      r = readClock(300, elapsed, Mode::CountUp);
      QVERIFY(r.over);
      QCOMPARE(r.remaining, qint64(0));
      QCOMPARE(r.shown, qint64(300));
      r = readClock(300, elapsed, Mode::CountDown);
      QVERIFY(r.over);
      QCOMPARE(r.shown, qint64(0));
    }
    // A zero duration is over at once.
    QVERIFY(readClock(0, 0, Mode::CountDown).over);
    QCOMPARE(readClock(0, 1, Mode::CountUp).shown, qint64(0));
    // A clock set back before the start: nothing has elapsed yet.
    r = readClock(300, -120, Mode::CountDown);
    QVERIFY(!r.over);
    QCOMPARE(r.shown, qint64(300));
    QCOMPARE(readClock(300, -120, Mode::CountUp).shown, qint64(0));
  }

  void clockTextIsTwoDigitHoursMinutesSeconds() {
    QCOMPARE(clockText(0), std::string("00:00:00"));
    QCOMPARE(clockText(59), std::string("00:00:59"));
    QCOMPARE(clockText(90), std::string("00:01:30"));
    QCOMPARE(clockText(3600 + 61), std::string("01:01:01"));
    QCOMPARE(clockText(kLongestRun), std::string("23:59:59"));
    QCOMPARE(clockText(86400 + 5), std::string("00:00:05"));
    QCOMPARE(clockText(-5), std::string("00:00:00"));
  }
};

QTEST_APPLESS_MAIN(TestTimerRules)
#include "test_timer_rules.moc"
