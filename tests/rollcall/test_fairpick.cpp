// Least-called-first picks without a window: the fairness guarantee over simulated terms of
// lessons with absences and take-backs, ties broken uniformly, the window's first day, and a
// pick that is the design's own whenever the counts do not tell the candidates apart.
#include <QTest>
#include <algorithm>
#include <climits>
#include <map>
#include <random>

#include "rollcall/fairpick.h"
#include "rollcall/picksteps.h"
#include "rollcall/pool.h"
#include "rollcall/takeback.h"
#include "store/programstore.h"

using namespace velquor;
using namespace velquor::rollcall;
using namespace std::chrono;

namespace {

Day dayOf(int y, unsigned m, unsigned d) { return sys_days(year{y} / month{m} / d); }

NameTable classOf(int n) {
  NameTable table(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i)
    table[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), Variant::fromText("s"), Variant::fromNumber(i + 2)};
  return table;
}

// The call history as the store keeps it: every call with its day, take-backs marked.
struct History {
  struct Call {
    Day day;
    int student;
    bool takenBack = false;
  };
  std::vector<Call> calls;
  std::vector<int> counts(int n, Day from) const {
    std::vector<int> c(static_cast<std::size_t>(n) + 1, 0);
    for (const Call& call : calls)
      if (!call.takenBack && call.day >= from) ++c[static_cast<std::size_t>(call.student)];
    return c;
  }
};

// A class of `n` through 200 lessons a few days apart from `first`: each lesson loads the class
// afresh (its pool is every student present), some students are absent, the teacher calls a
// random number of times (past a refill now and then) and takes some calls back. After every
// call, the spread of counts within the window among the students present for the same
// lessons of the window is measured; the largest spread seen is returned.
int worstSpread(const CallWindow& window, int n, Day first, std::mt19937& random) {
  const NameTable students = classOf(n);
  History history;
  std::vector<std::vector<bool>> present;  // per lesson, per student
  std::vector<Day> lessonDays;
  Day today = first;
  int worst = 0;
  std::vector<int> now;  // calls within the window, per student
  Day lastFrom{};
  for (int lesson = 0; lesson < 200; ++lesson) {
    today += days(1 + static_cast<int>(random() % 3));
    lessonDays.push_back(today);
    std::vector<bool> here(static_cast<std::size_t>(n) + 1, true);
    for (int i = 1; i <= n; ++i) here[static_cast<std::size_t>(i)] = random() % 8 != 0;
    present.push_back(here);
    auto leaveOutAbsent = [&](PickPool& pool, int& count) {
      auto& rows = std::get<NamePool>(pool);
      int kept = 0;
      for (int p = 1; p <= count; ++p)
        if (here[static_cast<std::size_t>(rows[static_cast<std::size_t>(p)].student.toInteger().value_or(0))])
          rows[static_cast<std::size_t>(++kept)] = rows[static_cast<std::size_t>(p)];
      count = kept;
    };
    PickPool pool = fullNamePool(students, n);
    int count = n;
    leaveOutAbsent(pool, count);
    if (count == 0) continue;
    CallHistory takeBacks;
    takeBacks.startDay(kNameList, {});
    const Day from = windowStart(window, today);
    if (from != lastFrom) now = history.counts(n, from);  // otherwise carried on from the last lesson
    lastFrom = from;
    // Students are compared with those present for the same lessons of the window.
    std::vector<std::string> attendance(static_cast<std::size_t>(n) + 1);
    for (std::size_t l = 0; l < lessonDays.size(); ++l)
      if (lessonDays[l] >= from)
        for (int i = 1; i <= n; ++i) attendance[static_cast<std::size_t>(i)] += present[l][static_cast<std::size_t>(i)] ? '1' : '0';
    std::map<std::string, int> ids;
    std::vector<int> group(static_cast<std::size_t>(n) + 1);
    for (int i = 1; i <= n; ++i)
      group[static_cast<std::size_t>(i)] = ids.try_emplace(attendance[static_cast<std::size_t>(i)], static_cast<int>(ids.size())).first->second;
    const std::size_t groups = ids.size();
    const int calls = static_cast<int>(random() % static_cast<unsigned>(2 * n));
    for (int c = 0; c < calls; ++c) {
      std::vector<int> byPosition;
      const auto& rows = std::get<NamePool>(pool);
      for (int p = 1; p <= count; ++p)
        byPosition.push_back(now[static_cast<std::size_t>(*rows[static_cast<std::size_t>(p)].student.toInteger())]);
      const int pickPos = *leastCalledPosition(std::generate_canonical<double, 53>(random), byPosition);
      const int student = *rows[static_cast<std::size_t>(pickPos)].student.toInteger();
      takeBacks.record(kNameList, pool, count, pickPos, true, {});
      history.calls.push_back({today, student});
      const int counted = today >= from ? 1 : 0;  // a term set to start later counts nothing yet
      now[static_cast<std::size_t>(student)] += counted;
      if (dropFromNamePool(pool, count, pickPos, students, n) == DropResult::Refilled) leaveOutAbsent(pool, count);
      if (random() % 6 == 0) {
        // Taken back: the student returns to the pool and the call leaves the counts.
        if (!takeBacks.takeBack(kNameList, pool, count)) return 1000;
        history.calls.back().takenBack = true;
        now[static_cast<std::size_t>(student)] -= counted;
        leaveOutAbsent(pool, count);
      }
      std::vector<std::pair<int, int>> spread(groups, {INT_MAX, INT_MIN});  // least, most calls
      for (int i = 1; i <= n; ++i) {
        auto& range = spread[static_cast<std::size_t>(group[static_cast<std::size_t>(i)])];
        range.first = std::min(range.first, now[static_cast<std::size_t>(i)]);
        range.second = std::max(range.second, now[static_cast<std::size_t>(i)]);
      }
      for (const auto& range : spread) worst = std::max(worst, range.second - range.first);
    }
  }
  return worst;
}

}  // namespace

class TestFairPick : public QObject {
  Q_OBJECT
 private slots:
  void guaranteeOverTermsOfLessons() {
    std::mt19937 random(26);
    for (int run = 0; run < 20; ++run) {
      const int n = 2 + static_cast<int>(random() % 47);
      CallWindow term;
      if (run % 2) term.termStart = year{2026} / February / 20;  // a start the teacher set
      // Two hundred lessons run through more than one term start.
      const int worst = worstSpread(term, n, dayOf(2026, 1, 5), random);
      QVERIFY2(worst <= 1, qPrintable(QStringLiteral("class of %1: spread %2").arg(n).arg(worst)));
    }
  }

  // Ties go to every tied position equally often, whatever stands between them.
  void tiesAreBrokenUniformly() {
    const std::vector<int> counts{3, 1, 2, 1, 1, 5, 1, 4, 1, 1, 2};
    std::vector<int> tied;
    for (std::size_t i = 0; i < counts.size(); ++i)
      if (counts[i] == 1) tied.push_back(static_cast<int>(i) + 1);
    std::mt19937 random(7);
    std::map<int, int> hits;
    const int draws = 60000;
    for (int k = 0; k < draws; ++k) ++hits[*leastCalledPosition(std::generate_canonical<double, 53>(random), counts)];
    QCOMPARE(static_cast<int>(hits.size()), static_cast<int>(tied.size()));
    double chi2 = 0;
    const double expected = static_cast<double>(draws) / static_cast<double>(tied.size());
    for (int pos : tied) chi2 += (hits[pos] - expected) * (hits[pos] - expected) / expected;
    QVERIFY2(chi2 < 22.46, qPrintable(QString::number(chi2)));  // 6 degrees of freedom, p = 0.001
  }

  // With every count equal the pick is the design's random position for the same draw, so a
  // class without history (or with the option off) sees the design's sequence.
  void equalCountsGiveTheDesignsPosition() {
    std::mt19937 random(3);
    for (int k = 0; k < 2000; ++k) {
      const int n = 1 + static_cast<int>(random() % 60);
      const double r = k == 0 ? std::nextafter(1.0, 0.0) : std::generate_canonical<double, 53>(random);
      QCOMPARE(leastCalledPosition(r, std::vector<int>(static_cast<std::size_t>(n), 4)), randomPosition(r, n));
    }
    QVERIFY(!leastCalledPosition(0.5, {}));
    // One least-called student is always the one.
    QCOMPARE(leastCalledPosition(0.99, {2, 2, 0, 2}), 3);
  }

  void windowFirstDay() {
    // The term starts on 1 September or 1 March, whichever came last.
    QCOMPARE(windowStart({}, dayOf(2026, 3, 1)), dayOf(2026, 3, 1));
    QCOMPARE(windowStart({}, dayOf(2026, 2, 28)), dayOf(2025, 9, 1));
    QCOMPARE(windowStart({}, dayOf(2026, 8, 31)), dayOf(2026, 3, 1));
    QCOMPARE(windowStart({}, dayOf(2026, 9, 1)), dayOf(2026, 9, 1));
    QCOMPARE(windowStart({}, dayOf(2027, 1, 1)), dayOf(2026, 9, 1));
    CallWindow set;
    set.termStart = year{2026} / August / 24;
    QCOMPARE(windowStart(set, dayOf(2026, 10, 3)), dayOf(2026, 8, 24));
    set.termStart = year{2026} / February / 30;  // not a day: the default term
    QCOMPARE(windowStart(set, dayOf(2026, 10, 3)), dayOf(2026, 9, 1));
    // The last N days include today.
    CallWindow last{CallWindow::Kind::LastDays, {}, 7};
    QCOMPARE(windowStart(last, dayOf(2026, 3, 2)), dayOf(2026, 2, 24));
    last.days = 0;
    QCOMPARE(windowStart(last, dayOf(2026, 3, 2)), dayOf(2026, 3, 2));

    // The store counts the window's first day whole and nothing before it; calls taken back,
    // of another class or of another roster do not count.
    auto store = store::Store::inMemory();
    auto call = [&](const char* time, const char* sheet, const char* number, const char* roster = "r.xls") {
      store::Call c;
      c.time = time;
      c.roster = roster;
      c.sheet = sheet;
      c.number = number;
      c.name = "N";
      return store->recordCall(c);
    };
    call("2026-02-28T23:59:59", "A", "1");
    call("2026-03-01T00:00:00", "A", "1");
    call("2026-03-01T08:00:00", "A", "2");
    store->takeBackCall(call("2026-03-02T08:00:00", "A", "2"));
    call("2026-03-02T09:00:00", "B", "1");
    call("2026-03-02T09:00:00", "A", "1", "other.xls");
    const StoreCallCounts counts(*store);
    const CallsByStudent a = counts.callsSince("r.xls", "A", windowStart({}, dayOf(2026, 3, 5)));
    QCOMPARE(a.size(), std::size_t(2));
    QCOMPARE(a.at(studentKey("1", "N")), (StudentCalls{1, dayOf(2026, 3, 1)}));
    QCOMPARE(a.at(studentKey("2", "N")), (StudentCalls{1, dayOf(2026, 3, 1)}));
    QCOMPARE(counts.callsSince("r.xls", "A", dayOf(2026, 2, 28)).at(studentKey("1", "N")).count, 2);
  }
};

QTEST_APPLESS_MAIN(TestFairPick)
#include "test_fairpick.moc"
