// The roll-call rules without a window: pool removal and refill in both forms, the
// range check, the in-order successors, seat indices and the label texts.
#include <QTest>

#include "rollcall/picksteps.h"
#include "rollcall/pool.h"
#include "rollcall/ranges.h"

using namespace velquor;
using namespace velquor::rollcall;

namespace {

Variant num(double v) { return Variant::fromNumber(v); }
Variant text(const char* t) { return Variant::fromText(t); }

// The live entries 1..count of a number/seat pool as whole numbers (-1 for a non-number).
std::vector<int> live(const PickPool& pool, int count) {
  std::vector<int> values;
  const auto& entries = std::get<RangeTable>(pool);
  for (int i = 1; i <= count; ++i) values.push_back(entries[static_cast<std::size_t>(i)].toInteger().value_or(-1));
  return values;
}

NameTable classOf(int n) {
  NameTable table(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i) table[static_cast<std::size_t>(i)] = {num(i), text("student"), num(i + 2)};
  return table;
}

}  // namespace

class TestRollcallRules : public QObject {
  Q_OBJECT
 private slots:
  void rangeRemovalTakesOutTheEntryAtPickPos() {
    PickPool pool = fullRangeTable(kNumber, 1, 5);
    int count = 5;
    QCOMPARE(dropFromRangePool(pool, count, 3, kNumber, 1, 5), DropResult::Removed);
    QCOMPARE(count, 4);
    QCOMPARE(live(pool, count), (std::vector<int>{1, 2, 4, 5}));
    QCOMPARE(std::get<RangeTable>(pool)[5], text(""));  // the freed position is cleared
    QCOMPARE(std::get<RangeTable>(pool)[0], text(""));

    // pickPos at the last live entry: nothing moves, that entry is cleared.
    QCOMPARE(dropFromRangePool(pool, count, 4, kNumber, 1, 5), DropResult::Removed);
    QCOMPARE(live(pool, count), (std::vector<int>{1, 2, 4}));
    QCOMPARE(std::get<RangeTable>(pool)[4], text(""));

    // pickPos beyond the live entries, inside the table: the last live entry leaves.
    QCOMPARE(dropFromRangePool(pool, count, 5, kNumber, 1, 5), DropResult::Removed);
    QCOMPARE(live(pool, count), (std::vector<int>{1, 2}));

    // pickPos 0: the candidate at position 1 leaves, its content moves into position 0.
    QCOMPARE(dropFromRangePool(pool, count, 0, kNumber, 1, 5), DropResult::Removed);
    QCOMPARE(live(pool, count), (std::vector<int>{2}));
    QCOMPARE(std::get<RangeTable>(pool)[0], num(1));

    // The last candidate leaves: the whole range is back at once.
    QCOMPARE(dropFromRangePool(pool, count, 1, kNumber, 1, 5), DropResult::Refilled);
    QCOMPARE(count, 5);
    QCOMPARE(live(pool, count), (std::vector<int>{1, 2, 3, 4, 5}));
  }

  void rangeRemovalStaysInsideItsTable() {
    // A narrower range was accepted while pickPos still points into the old one.
    PickPool pool = fullRangeTable(kNumber, 10, 3);
    int count = 3;
    QCOMPARE(dropFromRangePool(pool, count, 40, kNumber, 10, 3), DropResult::Removed);
    QCOMPARE(std::get<RangeTable>(pool).size(), std::size_t(4));
    QCOMPARE(live(pool, count), (std::vector<int>{10, 11}));
    // Negative positions and a count larger than the table are survived the same way.
    QCOMPARE(dropFromRangePool(pool, count, -7, kNumber, 10, 3), DropResult::Removed);
    QCOMPARE(live(pool, count), (std::vector<int>{11}));
    int tooMany = 50;
    QCOMPARE(dropFromRangePool(pool, tooMany, 2, kNumber, 10, 3), DropResult::Removed);
    QCOMPARE(tooMany, 49);
    QCOMPARE(std::get<RangeTable>(pool).size(), std::size_t(4));

    // Seat refill holds the seat indices, whatever the row count.
    PickPool seats = fullRangeTable(kSeat, 2, 1);
    int seatCount = 1;
    QCOMPARE(dropFromRangePool(seats, seatCount, 1, kSeat, 2, 6), DropResult::Refilled);
    QCOMPARE(live(seats, seatCount), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  }

  void removalNeverWorksOnAPoolOfTheOtherForm() {
    PickPool range = fullRangeTable(kSeat, 6, 48);
    int count = 48;
    const NameTable students = classOf(4);
    QCOMPARE(dropFromNamePool(range, count, 3, students, 4), DropResult::WrongForm);
    QCOMPARE(count, 48);
    QCOMPARE(live(range, count).at(2), 3);

    PickPool names = fullNamePool(students, 4);
    int nameCount = 4;
    QCOMPARE(dropFromRangePool(names, nameCount, 1, kNumber, 1, 4), DropResult::WrongForm);
    QCOMPARE(nameCount, 4);

    PickPool nothing;
    int none = 0;
    QCOMPARE(dropFromRangePool(nothing, none, 1, kNumber, 1, 4), DropResult::WrongForm);
    QCOMPARE(dropFromNamePool(nothing, none, 1, students, 4), DropResult::WrongForm);
    QVERIFY(!rangeCandidate(names, nameCount, 1));
    QVERIFY(!nameCandidateNumber(range, count, 1));
  }

  void namePoolRemovalMovesWholeRowsAndRefillsEveryStudent() {
    const NameTable students = classOf(4);
    // The day's pool holds only students 2 and 4 (the others have a mark today).
    NamePool rows(5, NamePoolRow{text(""), text(""), text("")});
    rows[1] = {num(2), num(2), num(4)};
    rows[2] = {num(4), num(4), num(6)};
    PickPool pool = rows;
    int count = 2;
    QCOMPARE(nameCandidateNumber(pool, count, 2), std::optional<int>(4));
    QCOMPARE(dropFromNamePool(pool, count, 1, students, 4), DropResult::Removed);
    QCOMPARE(count, 1);
    QCOMPARE(std::get<NamePool>(pool)[1].sheetRow, num(6));
    QCOMPARE(std::get<NamePool>(pool)[2].number, text(""));
    QCOMPARE(dropFromNamePool(pool, count, 1, students, 4), DropResult::Refilled);
    QCOMPARE(count, 4);
    for (int i = 1; i <= 4; ++i) {
      const NamePoolRow& row = std::get<NamePool>(pool)[static_cast<std::size_t>(i)];
      QCOMPARE(row.student, num(i));
      QCOMPARE(row.number, num(i));
      QCOMPARE(row.sheetRow, num(i + 2));
    }
    // A student count beyond the class table refills only the students that exist.
    int short_ = 1;
    QCOMPARE(dropFromNamePool(pool, short_, 1, students, 30), DropResult::Refilled);
    QCOMPARE(short_, 4);
    // A non-numeric number is no candidate number.
    std::get<NamePool>(pool)[2].number = text("abc");
    QVERIFY(!nameCandidateNumber(pool, 4, 2));
    QVERIFY(!nameCandidateNumber(pool, 4, 5));
  }

  void rangeAcceptance() {
    auto accept = [](const char* low, const char* high, int box, int category) {
      return acceptRange(low, high, box, category);
    };
    auto same = [](std::optional<AcceptedRange> r, int low, int high, int count) {
      return r && r->low == low && r->high == high && r->count == count;
    };
    QVERIFY(!accept("5", "5", 0, kNumber));
    QVERIFY(same(accept("5", "6", 1, kNumber), 5, 6, 2));
    QVERIFY(same(accept("-5", "5", 0, kNumber), -5, 5, 11));
    QVERIFY(same(accept("2.4", "2.6", 0, kNumber), 2, 3, 2));
    QVERIFY(same(accept("2.5", "3.5", 0, kNumber), 2, 4, 3));
    QVERIFY(same(accept("2.6", "2.7", 0, kNumber), 3, 3, 1));  // passes the check, one number
    QVERIFY(!accept("8", "5", 1, kNumber));
    QVERIFY(!accept("", "48", 0, kNumber));
    QVERIFY(!accept("1", "", 1, kNumber));
    QVERIFY(!accept("12号", "48", 0, kNumber));
    // Only the box that lost the focus must be a number; the other reads its leading number.
    QVERIFY(same(accept("abc", "48", 1, kNumber), 0, 48, 49));
    QVERIFY(same(accept("3x", "48", 1, kNumber), 3, 48, 46));
    // What the 16-bit counts cannot hold.
    QVERIFY(same(accept("1", "32767", 1, kNumber), 1, 32767, 32767));
    QVERIFY(!accept("0", "32767", 1, kNumber));
    QVERIFY(!accept("-20000", "20000", 1, kNumber));
    QVERIFY(!accept("1", "32768", 1, kNumber));
    QVERIFY(!accept("-32769", "5", 0, kNumber));
    QVERIFY(!accept("1", "1e9", 1, kNumber));

    QVERIFY(same(accept("6", "8", 1, kSeat), 6, 8, 48));
    QVERIFY(!accept("8", "8", 1, kSeat));
    QVERIFY(!accept("8", "6", 0, kSeat));
    QVERIFY(!accept("0", "5", 0, kSeat));
    QVERIFY(!accept("-2", "5", 0, kSeat));
    QVERIFY(!accept("0.4", "5", 0, kSeat));  // rounds to no rows
    QVERIFY(same(accept("180", "182", 1, kSeat), 180, 182, 32760));
    QVERIFY(!accept("181", "182", 1, kSeat));

    // The name list only checks and keeps the values.
    QVERIFY(same(accept("1", "2", 0, kNameList), 1, 2, 0));
    QVERIFY(!accept("x", "2", 0, kNameList));

    for (const char* number : {"12", " -3.5 ", "1e2", ".5", "5.", "+7", "2E-1"}) QVERIFY2(isNumberText(number), number);
    for (const char* other : {"", " ", "12号", "1 2", "e5", "1e", ".", "-", "0x10", "inf"})
      QVERIFY2(!isNumberText(other), other);
  }

  void manualCallsAndInOrderEdges() {
    const auto seats = rangeEntryTexts(kSeat, 6, 8);
    QCOMPARE(seats.size(), std::size_t(48));
    QCOMPARE(seats[12], std::string("2行5列"));  // entry s - 1 is seat index s
    QVERIFY(rangeEntryTexts(kNameList, 1, 5).empty());
    QCOMPARE(manualCallCaption(kNumber, "-5号"), std::optional<std::string>("-5"));
    QCOMPARE(manualCallCaption(kSeat, "3行5列"), std::optional<std::string>("3行\r\n5列"));
    QVERIFY(!manualCallCaption(kSeat, "35"));
    QVERIFY(!manualCallCaption(kNameList, "12号"));

    // Values outside the range boxes' current range restart at its beginning.
    QCOMPARE(nextNumber(60, -5, 5), -5);
    QCOMPARE(nextNumber(-6, -5, 5), -5);
    QCOMPARE(nextSeat({7, 2}, 6, 8), (Seat{1, 1}));  // outside a narrower layout
    QCOMPARE(nextSeat({6, 8}, 6, 8), (Seat{1, 1}));
    QCOMPARE(nextSeat({1, 1}, 0, 8), (Seat{1, 1}));  // no rows: never inside

    QCOMPARE(seatOfIndex(13, 8), std::optional<Seat>(Seat{2, 5}));
    QCOMPARE(seatOfIndex(8, 8), std::optional<Seat>(Seat{1, 8}));
    QCOMPARE(seatOfIndex(9, 8), std::optional<Seat>(Seat{2, 1}));
    QVERIFY(!seatOfIndex(9, 0));

    QCOMPARE(randomPosition(0.0, 48), std::optional<int>(1));
    QCOMPARE(randomPosition(0.999999, 48), std::optional<int>(48));
    QCOMPARE(randomPosition(1.0, 48), std::optional<int>(48));  // a generator that ever returns 1
    QVERIFY(!randomPosition(0.5, 0));
  }
};

QTEST_APPLESS_MAIN(TestRollcallRules)
#include "test_rollcall_rules.moc"
