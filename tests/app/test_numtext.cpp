#include <QTest>
#include <cmath>
#include <limits>

#include "core/numtext.h"
#include "core/variant.h"

using namespace velquor;

class TestNumText : public QObject {
  Q_OBJECT
 private slots:
  void leadingNumberReadsTheStartOfTheText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "48" << 48.0;
    QTest::newRow("letters after") << "3abc" << 3.0;
    QTest::newRow("second point ends it") << "1.5.2" << 1.5;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("blanks inside") << " 1 2\t3" << 123.0;
    QTest::newRow("line feed and tab first") << "\n\t-7" << -7.0;
    QTest::newRow("sign then blank") << "- 5" << -5.0;
    QTest::newRow("plus") << "+4" << 4.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("exponent") << "2E3x" << 2000.0;
    QTest::newRow("negative exponent") << "-3.5e-1" << -0.35;
    QTest::newRow("exponent without digits") << "1e+" << 1.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("chinese after") << "12号" << 12.0;
    QTest::newRow("carriage return is not skipped") << "\r5" << 0.0;
  }
  void leadingNumberReadsTheStartOfTheText() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(leadingNumber(text.toStdString()), expected);
  }

  void beginsWithNumberNeedsADigit() {
    QVERIFY(beginsWithNumber("5"));
    QVERIFY(beginsWithNumber(" -.5"));
    QVERIFY(!beginsWithNumber("-"));
    QVERIFY(!beginsWithNumber("."));
    QVERIFY(!beginsWithNumber("abc"));
    QVERIFY(!beginsWithNumber(""));
  }

  void roundingTakesHalvesToEven() {
    QCOMPARE(roundHalfEven(2.5), 2.0);
    QCOMPARE(roundHalfEven(3.5), 4.0);
    QCOMPARE(roundHalfEven(6.5), 6.0);
    QCOMPARE(roundHalfEven(7.5), 8.0);
    QCOMPARE(roundHalfEven(-2.5), -2.0);
    QCOMPARE(roundHalfEven(-3.5), -4.0);
    QCOMPARE(roundHalfEven(2.4), 2.0);
    QCOMPARE(roundHalfEven(2.6), 3.0);
    QCOMPARE(roundHalfEven(-2.6), -3.0);
  }

  void integerConversionFailsOutsideSixteenBits() {
    QCOMPARE(toInteger(32767.4).value(), std::int16_t(32767));
    QVERIFY(!toInteger(32767.5).has_value());  // rounds to 32768
    QCOMPARE(toInteger(-32768.5).value(), std::int16_t(-32768));
    QVERIFY(!toInteger(-32769).has_value());
    QVERIFY(!toInteger(std::numeric_limits<double>::quiet_NaN()).has_value());
    QVERIFY(!toInteger(std::numeric_limits<double>::infinity()).has_value());
    QCOMPARE(toInteger(0.5).value(), std::int16_t(0));
    QCOMPARE(toInteger(-0.5).value(), std::int16_t(0));
  }

  void plainDecimalHasNoExponentNorTrailingZeros() {
    QCOMPARE(QString::fromStdString(plainDecimal(1.5)), QStringLiteral("1.5"));
    QCOMPARE(QString::fromStdString(plainDecimal(7)), QStringLiteral("7"));
    QCOMPARE(QString::fromStdString(plainDecimal(-3)), QStringLiteral("-3"));
    QCOMPARE(QString::fromStdString(plainDecimal(0)), QStringLiteral("0"));
    QCOMPARE(QString::fromStdString(plainDecimal(-0.0)), QStringLiteral("0"));
    QCOMPARE(QString::fromStdString(plainDecimal(0.1 + 0.2)), QStringLiteral("0.3"));
    QCOMPARE(QString::fromStdString(plainDecimal(1e20)), QStringLiteral("100000000000000000000"));
    QCOMPARE(QString::fromStdString(plainDecimal(1e-7)), QStringLiteral("0.0000001"));
    QCOMPARE(QString::fromStdString(plainDecimal(-123456.789)), QStringLiteral("-123456.789"));
  }

  void variantTextBlanknessAndInteger() {
    QCOMPARE(QString::fromStdString(Variant::fromNumber(3).toText()), QStringLiteral("3"));
    QCOMPARE(QString::fromStdString(Variant::fromNumber(2.5).toText()), QStringLiteral("2.5"));
    QVERIFY(Variant().isBlank());
    QVERIFY(Variant::fromText("   ").isBlank());
    QVERIFY(!Variant::fromText(" a ").isBlank());
    QVERIFY(!Variant::fromNumber(0).isBlank());
    QCOMPARE(Variant::fromNumber(15).toInteger(), std::optional<int>(15));
    QCOMPARE(Variant::fromNumber(2.5).toInteger(), std::optional<int>(2));
    QCOMPARE(Variant::fromText(" 7 ").toInteger(), std::optional<int>(7));
    QCOMPARE(Variant::fromText("1e3").toInteger(), std::optional<int>(1000));
    QVERIFY(!Variant::fromNumber(40000).toInteger());
    QVERIFY(!Variant::fromText("7a").toInteger());
    QVERIFY(!Variant::fromText("").toInteger());
    QVERIFY(!Variant::fromText("0x10").toInteger());
    QVERIFY(!Variant::fromText("inf").toInteger());
    QVERIFY(!Variant().toInteger());
  }

  void monthDayTextHasTwoDigitParts() {
    QCOMPARE(QString::fromStdString(monthDayText(12, 5)), QStringLiteral("12月05"));
    QCOMPARE(QString::fromStdString(monthDayText(1, 31)), QStringLiteral("01月31"));
  }
};

QTEST_APPLESS_MAIN(TestNumText)
#include "test_numtext.moc"
