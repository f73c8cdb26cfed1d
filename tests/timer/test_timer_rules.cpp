// The timer's arithmetic at its edges: rounding and capping the set duration, the clock text.
#include <QTest>
#include <limits>

#include "timer/classtimer.h"

using namespace velquor::timer;

class TestTimerRules : public QObject {
  Q_OBJECT
 private slots:
  void setDurationConvertsRoundsAndCaps_data() {
    QTest::addColumn<double>("amount");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("1.5 min") << 1.5 << int(Unit::Minute) << qint64(90);
    QTest::newRow("2.5 s half to even") << 2.5 << int(Unit::Second) << qint64(2);
    QTest::newRow("3.5 s half to even") << 3.5 << int(Unit::Second) << qint64(4);
    QTest::newRow("0.01 min") << 0.01 << int(Unit::Minute) << qint64(1);
    QTest::newRow("-0.4 s rounds to zero") << -0.4 << int(Unit::Second) << qint64(0);
    QTest::newRow("negative") << -1.0 << int(Unit::Second) << qint64(0);
    QTest::newRow("negative hours") << -32768.0 << int(Unit::Hour) << qint64(0);
    QTest::newRow("23:59:59") << 86399.0 << int(Unit::Second) << qint64(86399);
    QTest::newRow("86399.5 s rounds to 24 h") << 86399.5 << int(Unit::Second) << qint64(kLongestRun);
    QTest::newRow("huge") << 1e300 << int(Unit::Hour) << qint64(kLongestRun);
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << int(Unit::Second)
                              << qint64(kLongestRun);
  }
  void setDurationConvertsRoundsAndCaps() {
    QFETCH(double, amount);
    QFETCH(int, unit);
    QFETCH(qint64, seconds);
    QCOMPARE(qint64(setDuration(amount, static_cast<Unit>(unit))), seconds);
  }

  void elapsedSecondsAreRoundedToTheNearest() {
    QCOMPARE(elapsedSeconds(-300), std::int64_t(0));
    QCOMPARE(elapsedSeconds(499), std::int64_t(0));
    QCOMPARE(elapsedSeconds(960), std::int64_t(1));
    QCOMPARE(elapsedSeconds(1499), std::int64_t(1));
    QCOMPARE(elapsedSeconds(2500), std::int64_t(3));
  }

  void clockTextIsTwoDigitHoursMinutesSeconds() {
    QCOMPARE(clockText(59), std::string("00:00:59"));
    QCOMPARE(clockText(3600 + 61), std::string("01:01:01"));
    QCOMPARE(clockText(kLongestRun), std::string("23:59:59"));
    QCOMPARE(clockText(86400 + 5), std::string("00:00:05"));
    QCOMPARE(clockText(-5), std::string("00:00:00"));
  }
};

QTEST_APPLESS_MAIN(TestTimerRules)
#include "test_timer_rules.moc"
