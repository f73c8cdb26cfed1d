// Grouping a very large class: the random draw, the list-order grouping, and the data
// the group lists are refilled from.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "grouping/captions.h"
#include "grouping/formation.h"

using namespace velquor;
using namespace velquor::grouping;

namespace {

constexpr int kStudents = 32764;
constexpr int kGroups = 100;

std::vector<Student> makeClass(int n) {
  std::vector<Student> students;
  students.reserve(static_cast<std::size_t>(n));
  for (int p = 1; p <= n; ++p) students.push_back({Variant::fromNumber(p), Variant::fromText("学生" + std::to_string(p))});
  return students;
}

UniformDraw generator(std::mt19937& engine) {
  return [&engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(engine); };
}

void RandomGrouping(benchmark::State& state) {
  const auto students = makeClass(kStudents);
  const int groupSize = (kStudents - 1) / kGroups + 1;
  std::mt19937 engine(1);
  const UniformDraw draw = generator(engine);
  for (auto _ : state) {
    auto grouping = formGroups(students, kGroups, groupSize, GroupingOrder::Random, draw);
    benchmark::DoNotOptimize(grouping);
  }
}
BENCHMARK(RandomGrouping)->Unit(benchmark::kMillisecond);

// The grouping plus what the lists are refilled with: the group numbers, the names of
// group 1 and the summary caption.
void RandomGroupingWithListData(benchmark::State& state) {
  const auto students = makeClass(kStudents);
  const int groupSize = (kStudents - 1) / kGroups + 1;
  std::mt19937 engine(1);
  const UniformDraw draw = generator(engine);
  for (auto _ : state) {
    auto grouping = formGroups(students, kGroups, groupSize, GroupingOrder::Random, draw);
    std::vector<std::string> groupRows;
    for (int g = 1; g <= kGroups; ++g) groupRows.push_back(std::to_string(g));
    auto names = memberNames(grouping->table, 1);
    auto caption = summaryCaption(kStudents, kGroups, 1, static_cast<int>(grouping->table.members(1).size()));
    benchmark::DoNotOptimize(grouping);
    benchmark::DoNotOptimize(names);
    benchmark::DoNotOptimize(caption);
  }
}
BENCHMARK(RandomGroupingWithListData)->Unit(benchmark::kMillisecond);

void InOrderGrouping(benchmark::State& state) {
  const auto students = makeClass(kStudents);
  const int groupSize = (kStudents - 1) / kGroups + 1;
  for (auto _ : state) {
    auto grouping = formGroups(students, kGroups, groupSize, GroupingOrder::InOrder);
    benchmark::DoNotOptimize(grouping);
  }
}
BENCHMARK(InOrderGrouping)->Unit(benchmark::kMillisecond);

// For comparison: the draws alone, taken from a list whose later entries shift down
// one place at each removal.
void ShiftingDrawList(benchmark::State& state) {
  std::mt19937 engine(1);
  const UniformDraw draw = generator(engine);
  for (auto _ : state) {
    std::vector<int> drawOrder(kStudents);
    for (int p = 0; p < kStudents; ++p) drawOrder[static_cast<std::size_t>(p)] = p + 1;
    long long sum = 0;
    for (int m = kStudents; m > 0; --m) {
      const int h = drawIndex(draw(), m);
      sum += drawOrder[static_cast<std::size_t>(h - 1)];
      std::copy(drawOrder.begin() + h, drawOrder.begin() + m, drawOrder.begin() + (h - 1));
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(ShiftingDrawList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
