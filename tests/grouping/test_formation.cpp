#include <QTest>
#include <cmath>
#include <limits>
#include <map>
#include <random>

#include "grouping/formation.h"
#include "grouping/grouprule.h"

using namespace velquor;
using namespace velquor::grouping;

namespace {

// A class of n students numbered 101, 102, ... named "S1", "S2", ...
std::vector<Student> makeClass(int n) {
  std::vector<Student> students;
  for (int p = 1; p <= n; ++p)
    students.push_back({Variant::fromNumber(100 + p), Variant::fromText("S" + std::to_string(p))});
  return students;
}

UniformDraw seeded(unsigned seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

// The draw list as the straightforward shifting removal keeps it: entry h is taken and
// the entries after it move down one place.
std::vector<std::vector<int>> shiftingListGroups(int n, const std::vector<int>& sizes, const UniformDraw& draw) {
  std::vector<int> drawOrder;
  for (int p = 1; p <= n; ++p) drawOrder.push_back(p);
  std::vector<std::vector<int>> groups;
  for (int size : sizes) {
    std::vector<int> members;
    for (int j = 0; j < size; ++j) {
      const int m = static_cast<int>(drawOrder.size());
      const int h = static_cast<int>(std::floor(draw() * m)) + 1;
      members.push_back(drawOrder[static_cast<std::size_t>(h - 1)]);
      drawOrder.erase(drawOrder.begin() + (h - 1));
    }
    groups.push_back(members);
  }
  return groups;
}

std::vector<int> positionsOf(const GroupTable& table, int g) {
  std::vector<int> positions;
  for (const Member& m : table.members(g)) positions.push_back(m.student);
  return positions;
}

// Every student sits in exactly one group, its member record matches the class list,
// groupOf and locate agree with the table, and the sizes are those of the rule.
void checkPartition(const Grouping& grouping, const std::vector<Student>& students, int groupCount, int groupSize,
                    const char* where) {
  const int n = static_cast<int>(students.size());
  const std::vector<int> sizes = groupSizes(n, groupCount, groupSize);
  QVERIFY2(grouping.table.groupCount() == groupCount, where);
  QVERIFY2(static_cast<int>(grouping.groupOf.size()) == n, where);
  std::vector<int> seen(static_cast<std::size_t>(n) + 1, 0);
  for (int g = 1; g <= groupCount; ++g) {
    const auto& members = grouping.table.members(g);
    QVERIFY2(static_cast<int>(members.size()) == sizes[static_cast<std::size_t>(g - 1)], where);
    QVERIFY2(static_cast<int>(members.size()) <= groupSize, where);
    for (std::size_t j = 0; j < members.size(); ++j) {
      const Member& m = members[j];
      QVERIFY2(m.student >= 1 && m.student <= n, where);
      ++seen[static_cast<std::size_t>(m.student)];
      const Student& s = students[static_cast<std::size_t>(m.student - 1)];
      QVERIFY2(m.number == s.number && m.name == s.name, where);
      QVERIFY2(grouping.groupOf[static_cast<std::size_t>(m.student - 1)] == g, where);
    }
  }
  for (int p = 1; p <= n; ++p) QVERIFY2(seen[static_cast<std::size_t>(p)] == 1, where);
}

}  // namespace

class TestFormation : public QObject {
  Q_OBJECT
 private slots:
  void sizesFollowTheRule_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("groupCount");
    QTest::addColumn<int>("groupSize");
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("48 in 6 groups") << 48 << 6 << 8 << QList<int>{8, 8, 8, 8, 8, 8};
    QTest::newRow("10 in 4 groups") << 10 << 4 << 3 << QList<int>{3, 3, 3, 1};
    QTest::newRow("11 in 5 groups") << 11 << 5 << 3 << QList<int>{3, 3, 3, 2, 0};
    QTest::newRow("10 at 4 per group") << 10 << 3 << 4 << QList<int>{4, 4, 2};
    QTest::newRow("10 in 1 group") << 10 << 1 << 10 << QList<int>{10};
    QTest::newRow("48 in 5 groups") << 48 << 5 << 10 << QList<int>{10, 10, 10, 10, 8};
    QTest::newRow("48 at 7 per group") << 48 << 7 << 7 << QList<int>{7, 7, 7, 7, 7, 7, 6};
    QTest::newRow("7 in 6 groups") << 7 << 6 << 2 << QList<int>{2, 2, 2, 1, 0, 0};
    QTest::newRow("empty class") << 0 << 1 << 0 << QList<int>{0};
  }
  void sizesFollowTheRule() {
    QFETCH(int, n);
    QFETCH(int, groupCount);
    QFETCH(int, groupSize);
    QFETCH(QList<int>, sizes);
    const std::vector<int> got = groupSizes(n, groupCount, groupSize);
    QCOMPARE(QList<int>(got.begin(), got.end()), sizes);
    // Both orders give these sizes.
    const auto students = makeClass(n);
    const auto inOrder = formGroups(students, groupCount, groupSize, GroupingOrder::InOrder);
    const auto random = formGroups(students, groupCount, groupSize, GroupingOrder::Random, seeded(7));
    QVERIFY(inOrder && random);
    for (int g = 1; g <= groupCount; ++g) {
      QCOMPARE(static_cast<int>(inOrder->table.members(g).size()), sizes[g - 1]);
      QCOMPARE(static_cast<int>(random->table.members(g).size()), sizes[g - 1]);
    }
  }

  void inOrderTakesTheListInTurn() {
    const auto students = makeClass(48);
    const auto grouping = formGroups(students, 6, 8, GroupingOrder::InOrder);
    QVERIFY(grouping);
    QCOMPARE(positionsOf(grouping->table, 1), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    QCOMPARE(positionsOf(grouping->table, 6), (std::vector<int>{41, 42, 43, 44, 45, 46, 47, 48}));
    const Member& first = grouping->table.members(1).front();
    QCOMPARE(first.number, Variant::fromNumber(101));
    QCOMPARE(first.name, Variant::fromText("S1"));
    QCOMPARE(grouping->groupOf[40], 6);
    QCOMPARE(grouping->table.locate(41), (GroupTable::Seat{6, 1}));
    QCOMPARE(grouping->table.locate(8), (GroupTable::Seat{1, 8}));
    QVERIFY(!grouping->table.locate(49));
    checkPartition(*grouping, students, 6, 8, "48 in 6 in order");
  }

  void differentDrawsGiveDifferentGroups() {
    const auto students = makeClass(48);
    const auto a = formGroups(students, 6, 8, GroupingOrder::Random, seeded(1));
    const auto b = formGroups(students, 6, 8, GroupingOrder::Random, seeded(2));
    QVERIFY(a && b);
    checkPartition(*a, students, 6, 8, "seed 1");
    QVERIFY(a->groupOf != b->groupOf);
  }

  // For the same draws the groups hold the same students in the same slots as with the
  // shifting draw list.
  void picksMatchTheShiftingDrawList() {
    const struct {
      int n, groupCount, groupSize;
    } rules[] = {{48, 6, 8}, {11, 5, 3}, {10, 3, 4}, {1000, 7, 143}, {997, 100, 10}, {64, 64, 1}};
    for (const auto& rule : rules) {
      for (unsigned seed = 1; seed <= 5; ++seed) {
        const auto students = makeClass(rule.n);
        const auto grouping = formGroups(students, rule.groupCount, rule.groupSize, GroupingOrder::Random, seeded(seed));
        QVERIFY(grouping);
        const auto expected =
            shiftingListGroups(rule.n, groupSizes(rule.n, rule.groupCount, rule.groupSize), seeded(seed));
        for (int g = 1; g <= rule.groupCount; ++g) QCOMPARE(positionsOf(grouping->table, g), expected[g - 1]);
      }
    }
  }

  // Draws at the ends of [0, 1): 0 takes the first remaining student, a value just
  // below 1 the last one.
  void drawsAtTheEnds() {
    const auto students = makeClass(5);
    const auto lowest = formGroups(students, 1, 5, GroupingOrder::Random, [] { return 0.0; });
    QCOMPARE(positionsOf(lowest->table, 1), (std::vector<int>{1, 2, 3, 4, 5}));
    const double belowOne = std::nextafter(1.0, 0.0);
    const auto highest = formGroups(students, 1, 5, GroupingOrder::Random, [=] { return belowOne; });
    QCOMPARE(positionsOf(highest->table, 1), (std::vector<int>{5, 4, 3, 2, 1}));
    // A draw of 0.5 from {1..4} takes h = 3.
    const auto middle = formGroups(makeClass(4), 2, 2, GroupingOrder::Random, [] { return 0.5; });
    QCOMPARE(positionsOf(middle->table, 1), (std::vector<int>{3, 2}));
    QCOMPARE(positionsOf(middle->table, 2), (std::vector<int>{4, 1}));

    QCOMPARE(drawIndex(0.0, 7), 1);
    QCOMPARE(drawIndex(belowOne, 32767), 32767);
    QCOMPARE(drawIndex(1.0, 7), 7);    // out of range from a faulty generator
    QCOMPARE(drawIndex(-0.2, 7), 1);
    QCOMPARE(drawIndex(std::numeric_limits<double>::quiet_NaN(), 7), 1);
    QCOMPARE(drawIndex(0.5, 0), 0);
  }

  // Each of the 3! orders of three students in three groups of one turns up about
  // equally often.
  void randomOrdersAreUniform() {
    const auto students = makeClass(3);
    const auto draw = seeded(2024);
    std::map<std::vector<int>, int> counts;
    const int runs = 60000;
    for (int i = 0; i < runs; ++i) {
      const auto grouping = formGroups(students, 3, 1, GroupingOrder::Random, draw);
      ++counts[grouping->groupOf];
    }
    QCOMPARE(static_cast<int>(counts.size()), 6);
    for (const auto& [order, count] : counts) QVERIFY2(std::abs(count - runs / 6) < runs / 60, qPrintable(QString::number(count)));
  }

  // Every class up to 60, every rule the box accepts in either mode, both orders: every
  // student lands in exactly one group and the sizes are the in-order ones.
  void everyAcceptedRuleSeatsEveryStudent() {
    for (int n = 1; n <= 60; ++n) {
      const auto students = makeClass(n);
      for (RuleMode mode : {RuleMode::GroupCount, RuleMode::PersonsPerGroup}) {
        for (int v = 1; v <= n; ++v) {
          const auto rule = confirmRule(mode, std::to_string(v), n).rule;
          QVERIFY(rule);
          const QByteArray where = QString("n=%1 mode=%2 v=%3").arg(n).arg(int(mode)).arg(v).toUtf8();
          const auto inOrder = formGroups(students, rule->groupCount, rule->groupSize, GroupingOrder::InOrder);
          QVERIFY2(inOrder, where.constData());
          checkPartition(*inOrder, students, rule->groupCount, rule->groupSize, where.constData());
          const auto random = formGroups(students, rule->groupCount, rule->groupSize, GroupingOrder::Random,
                                         seeded(static_cast<unsigned>(n * 100 + v)));
          QVERIFY2(random, where.constData());
          checkPartition(*random, students, rule->groupCount, rule->groupSize, where.constData());
        }
      }
    }
  }

  // Many groups in a large class: the positions of the empty groups past the last
  // student run beyond the 16-bit range.
  void largeClassWithManyEmptyGroups() {
    const auto students = makeClass(32767);
    const auto rule = confirmRule(RuleMode::GroupCount, "20000", 32767).rule;
    QCOMPARE(*rule, (GroupRule{20000, 2}));
    const auto grouping = formGroups(students, 20000, 2, GroupingOrder::InOrder);
    QVERIFY(grouping);
    QCOMPARE(grouping->table.members(16383).size(), std::size_t{2});
    QCOMPARE(grouping->table.members(16384).size(), std::size_t{1});
    QCOMPARE(grouping->table.members(20000).size(), std::size_t{0});
    checkPartition(*grouping, students, 20000, 2, "32767 in 20000 groups");
  }

  void refusesARuleThatCannotSeatTheClass() {
    const auto students = makeClass(10);
    QVERIFY(!formGroups(students, 3, 3, GroupingOrder::InOrder));  // 9 seats for 10 students
    QVERIFY(!formGroups(students, 0, 10, GroupingOrder::InOrder));
    QVERIFY(!formGroups(students, 4, 3, GroupingOrder::Random));  // no generator
    const auto empty = formGroups({}, 1, 0, GroupingOrder::Random, seeded(1));
    QVERIFY(empty);
    QCOMPARE(empty->table.groupCount(), 1);
    QVERIFY(empty->table.members(1).empty());
  }
};

QTEST_APPLESS_MAIN(TestFormation)
#include "test_formation.moc"
