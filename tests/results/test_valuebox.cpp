// The value box rules: key filter, tidying on focus loss, stepping, the Integer range.
#include <QTest>

#include "results/valuebox.h"

using namespace velquor::results;

class TestValueBox : public QObject {
  Q_OBJECT
 private slots:
  void keyFilterTakesDigitsPointMinusAndBackspace() {
    for (char32_t c = U'0'; c <= U'9'; ++c) QVERIFY(acceptsTypedCharacter(c));
    QVERIFY(acceptsTypedCharacter(U'.'));
    QVERIFY(acceptsTypedCharacter(U'-'));
    QVERIFY(acceptsTypedCharacter(8));
    for (char32_t c : {U'+', U'e', U'E', U' ', U'a', U',', U'/', U':', U'五', U'１', U'－'}) {
      QVERIFY2(!acceptsTypedCharacter(c), qPrintable(QString::fromUcs4(&c, 1)));
    }
  }

  void focusLossWritesTheLeadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("second point") << "1.5.2" << "1.5";
    QTest::newRow("leading zeros") << "007" << "7";
    QTest::newRow("empty") << "" << "0";
    QTest::newRow("minus and digit") << "-3" << "-3";
    QTest::newRow("minus inside") << "3-4" << "3";
    QTest::newRow("minus only") << "-" << "0";
    QTest::newRow("points only") << ".." << "0";
    QTest::newRow("point first") << ".5" << "0.5";
    QTest::newRow("trailing point") << "4." << "4";
    QTest::newRow("negative zero") << "-0" << "0";
    QTest::newRow("pasted letters") << "abc" << "0";
    QTest::newRow("exponent written out") << "1e3" << "1000";
    QTest::newRow("top of the range") << "32767" << "32767";
    QTest::newRow("fraction under the top") << "32766.5" << "32766.5";
    QTest::newRow("fraction over the top") << "32767.4" << "32767";
    QTest::newRow("above the range") << "99999" << "32767";
    QTest::newRow("below the range") << "-32768.5" << "-32768";
    QTest::newRow("far above") << "1e300" << "32767";
  }
  void focusLossWritesTheLeadingNumber() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(normalisedText(text.toStdString())), expected);
  }

  void stepsRoundFirstAndStayInRange_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("expected");
    QTest::newRow("2.5 up") << "2.5" << true << "3";
    QTest::newRow("3.5 up") << "3.5" << true << "5";
    QTest::newRow("0 down") << "0" << false << "-1";
    QTest::newRow("-1 up") << "-1" << true << "0";
    QTest::newRow("1 down") << "1" << false << "0";
    QTest::newRow("-2.5 down") << "-2.5" << false << "-3";
    QTest::newRow("untidy text") << "1.5.2x" << true << "3";
    QTest::newRow("no number") << "abc" << true << "1";
    QTest::newRow("top stays") << "32767" << true << "32767";
    QTest::newRow("bottom stays") << "-32768" << false << "-32768";
    QTest::newRow("from above, down") << "40000" << false << "32766";
    QTest::newRow("from above, up") << "40000" << true << "32767";
    QTest::newRow("from below, up") << "-1e9" << true << "-32767";
  }
  void stepsRoundFirstAndStayInRange() {
    QFETCH(QString, text);
    QFETCH(bool, up);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(steppedText(text.toStdString(), up)), expected);
  }
};

QTEST_APPLESS_MAIN(TestValueBox)
#include "test_valuebox.moc"
