// Taking back calls without a window: every removal the pick engine can make is undone
// exactly, newest first, down to the start of the day.
#include <QTest>
#include <random>

#include "rollcall/pool.h"
#include "rollcall/takeback.h"

using namespace velquor;
using namespace velquor::rollcall;

namespace {

NameTable classOf(int n) {
  NameTable table(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i)
    table[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), Variant::fromText("s"), Variant::fromNumber(i + 2)};
  return table;
}

Shown shownAfter(int call) { return Shown{"call " + std::to_string(call), call, call, 1, call, call}; }

}  // namespace

class TestTakeBack : public QObject {
  Q_OBJECT
 private slots:
  // Random runs of calls in both pool forms, with pick positions inside, at, beyond and
  // before the live entries and through refills, are taken back to the very first pool.
  void everyRemovalIsUndoneExactly() {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
      const bool names = round % 2 == 0;
      const int n = 1 + static_cast<int>(random() % 7);
      const NameTable students = classOf(n);
      // A day's pool may hold fewer than the class (students marked today wait).
      PickPool pool = names ? PickPool(fullNamePool(students, n)) : PickPool(fullRangeTable(kNumber, 10, n));
      int count = std::max(1, n - static_cast<int>(random() % 3));
      const PickPool first = pool;
      const int firstCount = count;
      CallHistory history;
      history.startDay(names ? kNameList : kNumber, shownAfter(0));
      std::vector<std::pair<PickPool, int>> states;
      const int calls = 1 + static_cast<int>(random() % 12);
      for (int c = 1; c <= calls; ++c) {
        const int pickPos = static_cast<int>(random() % static_cast<unsigned>(n + 3));  // 0 .. beyond the table
        states.emplace_back(pool, count);
        history.record(names ? kNameList : kNumber, pool, count, pickPos, c % 2 == 0, shownAfter(c));
        if (names)
          dropFromNamePool(pool, count, pickPos, students, n);
        else
          dropFromRangePool(pool, count, pickPos, kNumber, 10, n);
      }
      for (int c = calls; c >= 1; --c) {
        const auto back = history.takeBack(names ? kNameList : kNumber, pool, count);
        QVERIFY(back);
        QCOMPARE(count, states.back().second);
        QVERIFY(pool == states.back().first);
        QCOMPARE(back->startOfDay, c == 1);
        QCOMPARE(back->shown, shownAfter(c - 1));
        QCOMPARE(back->writeEnabled, c % 2 == 0);
        states.pop_back();
      }
      QVERIFY(pool == first);
      QCOMPARE(count, firstCount);
      QVERIFY(!history.takeBack(names ? kNameList : kNumber, pool, count));  // once per call
    }
  }

  void aRebuiltPoolOrAnotherCategoryHasNothingToTakeBack() {
    PickPool pool = fullRangeTable(kSeat, 1, 4);
    int count = 4;
    CallHistory history;
    history.startDay(kSeat, {});
    history.record(kSeat, pool, count, 2, true, shownAfter(1));
    dropFromRangePool(pool, count, 2, kSeat, 1, 4);
    QVERIFY(!history.canTakeBack(kNumber));
    QVERIFY(!history.takeBack(kNumber, pool, count));
    QCOMPARE(count, 3);
    // Something else changed the pool: the history is forgotten, the pool left alone.
    pool = fullRangeTable(kSeat, 1, 6);
    count = 6;
    QVERIFY(!history.takeBack(kSeat, pool, count));
    QCOMPARE(count, 6);
    QVERIFY(!history.canTakeBack(kSeat));
    // A new day forgets the calls of the last one.
    history.record(kSeat, pool, count, 1, true, shownAfter(1));
    dropFromRangePool(pool, count, 1, kSeat, 1, 6);
    history.startDay(kSeat, {});
    QVERIFY(!history.takeBack(kSeat, pool, count));
    QCOMPARE(count, 5);
  }
};

QTEST_MAIN(TestTakeBack)
#include "test_takeback.moc"
