// Adding a score to a mark, and finding the row a mark may be written to.
#include <QTest>

#include "results/marks.h"

using namespace velquor;
using namespace velquor::results;

namespace {
std::optional<std::int16_t> add(const Variant& mark, const char* score) { return markAfterScore(mark, score); }
}  // namespace

class TestMarks : public QObject {
  Q_OBJECT
 private slots:
  void scoresAddToTheRoundedMarkAndTheSumRoundsHalvesToEven() {
    QCOMPARE(add(Variant::fromNumber(3), "-2"), std::optional<std::int16_t>(1));
    QCOMPARE(add(Variant::fromNumber(2), "0.5"), std::optional<std::int16_t>(2));
    QCOMPARE(add(Variant::fromNumber(3), "0.5"), std::optional<std::int16_t>(4));
    QCOMPARE(add(Variant::fromNumber(5), "5"), std::optional<std::int16_t>(10));
    QCOMPARE(add(Variant(), "5"), std::optional<std::int16_t>(5));
    QCOMPARE(add(Variant::fromText("缺席"), "5"), std::optional<std::int16_t>(5));   // text without a number
    QCOMPARE(add(Variant::fromText("4分"), "1"), std::optional<std::int16_t>(5));    // text with a leading number
    QCOMPARE(add(Variant::fromNumber(2.5), "0.5"), std::optional<std::int16_t>(2));  // 2.5 -> 2, then 2.5 -> 2
    QCOMPARE(add(Variant::fromNumber(7), "1.5.2"), std::optional<std::int16_t>(8));  // 8.5 -> 8
    QCOMPARE(add(Variant::fromNumber(7), "abc"), std::optional<std::int16_t>(7));
  }

  void aSumOutsideSixteenBitsIsRefused() {
    QCOMPARE(add(Variant::fromNumber(32766), "1"), std::optional<std::int16_t>(32767));
    QVERIFY(!add(Variant::fromNumber(32767), "1"));
    QVERIFY(!add(Variant::fromNumber(-32768), "-1"));
    QVERIFY(!add(Variant(), "1e9"));
  }

  void aMarkGoesOnlyIntoTheCurrentStudentsOwnRow() {
    QCOMPARE(markRow(7, 48, Variant::fromNumber(7)), std::optional<int>(9));
    QCOMPARE(markRow(7, 48, Variant::fromText(" 7 ")), std::optional<int>(9));  // number stored as text
    QCOMPARE(markRow(1, 1, Variant::fromNumber(1)), std::optional<int>(3));
    QVERIFY(!markRow(7, 48, Variant::fromNumber(8)));    // the sheet's numbers do not follow the rows
    QVERIFY(!markRow(7, 48, Variant::fromNumber(7.5)));
    QVERIFY(!markRow(7, 48, Variant::fromText("7a")));
    QVERIFY(!markRow(7, 48, Variant()));
    QVERIFY(!markRow(0, 48, Variant::fromNumber(0)));    // would be the heading row
    QVERIFY(!markRow(-1, 48, Variant::fromNumber(-1)));
    QVERIFY(!markRow(49, 48, Variant::fromNumber(49)));  // past the class
  }

  void theHeadingIsWrittenOnlyWhenItDoesNotShowToday() {
    QVERIFY(headingNeedsWriting("", "12月05"));
    QVERIFY(headingNeedsWriting("12月03", "12月05"));
    QVERIFY(!headingNeedsWriting("12月05", "12月05"));
  }
};

QTEST_APPLESS_MAIN(TestMarks)
#include "test_marks.moc"
