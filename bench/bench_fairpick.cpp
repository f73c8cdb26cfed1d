// One least-called-first pick of a name list, the query of the call history included: a
// store holding five years of 200 lessons with 10 calls each for the class, for a class of 48
// and for the largest class a sheet can hold (32764). The store is a real database file on a
// memory file system (so that filling it does not wait for 10,000 disk flushes; a query reads
// from the page cache either way).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "rollcall/fairpick.h"
#include "store/programstore.h"

namespace {

using namespace velquor;
namespace fs = std::filesystem;

struct History {
  fs::path folder;
  std::unique_ptr<store::Store> store;
  rollcall::NameTable students;
  rollcall::NamePool pool;
  ~History() {
    store.reset();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

std::unique_ptr<History> history(int classSize) {
  auto h = std::make_unique<History>();
  const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  h->folder = base / ("velquor-bench-fairpick-" + std::to_string(getpid()) + "-" + std::to_string(classSize));
  fs::create_directories(h->folder);
  h->store = std::move(store::Store::open(h->folder / store::kDatabaseName, "2026-12-05").store);
  h->students.resize(static_cast<std::size_t>(classSize) + 1);
  for (int i = 1; i <= classSize; ++i)
    h->students[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), Variant::fromText("学生" + std::to_string(i)),
                                                Variant::fromNumber(i + 2)};
  h->pool = rollcall::fullNamePool(h->students, classSize);
  // Five school years back from today, 200 lessons a year, 10 calls a lesson.
  std::mt19937 random(5);
  const auto today = std::chrono::sys_days(std::chrono::year{2026} / std::chrono::December / 5);
  for (int lesson = 0; lesson < 5 * 200; ++lesson) {
    const auto day = today - std::chrono::days((5 * 365 * (5 * 200 - lesson)) / (5 * 200));
    for (int c = 0; c < 10; ++c) {
      const int i = 1 + static_cast<int>(random() % static_cast<unsigned>(classSize));
      store::Call call;
      char clock[16];
      std::snprintf(clock, sizeof clock, "T%02d:%02d:00", 8 + c / 4, (c * 7) % 60);
      call.time = rollcall::isoDay(day) + clock;
      call.roster = "/home/teacher/点名册.xls";
      call.sheet = "高一(1)班";
      call.number = std::to_string(i);
      call.name = "学生" + std::to_string(i);
      const auto id = h->store->recordCall(call);
      if (random() % 20 == 0) h->store->takeBackCall(id);
    }
  }
  return h;
}

// The same counts from the store's query of the whole history (every call of the class, with
// the last call ever), for comparison.
class WholeHistoryCounts : public rollcall::CallCounts {
 public:
  explicit WholeHistoryCounts(const store::Store& store) : store_(store) {}
  rollcall::CallsByStudent callsSince(const std::string& roster, const std::string& sheet, rollcall::Day from) const override {
    rollcall::CallsByStudent calls;
    for (const auto& s : store_.callsPerStudent(roster, sheet, rollcall::isoDay(from), "9999-12-31"))
      calls[rollcall::studentKey(s.number, s.name)] = {s.calls, rollcall::dayOfIso(s.lastTime)};
    return calls;
  }

 private:
  const store::Store& store_;
};

template <typename Counts>
void pick(benchmark::State& state, int classSize) {
  const auto h = history(classSize);
  const Counts counts(*h->store);
  const auto from = rollcall::windowStart({}, std::chrono::sys_days(std::chrono::year{2026} / std::chrono::December / 5));
  std::mt19937 random(1);
  for (auto _ : state) {
    const auto calls = counts.callsSince("/home/teacher/点名册.xls", "高一(1)班", from);
    const auto pos = rollcall::leastCalledPick(std::generate_canonical<double, 53>(random), h->pool, classSize,
                                               h->students, calls);
    benchmark::DoNotOptimize(pos);
  }
  state.counters["calls"] = static_cast<double>(h->store->calls("/home/teacher/点名册.xls", "高一(1)班").size());
}

void BM_LeastCalledPick48(benchmark::State& s) { pick<rollcall::StoreCallCounts>(s, 48); }
void BM_LeastCalledPick32764(benchmark::State& s) { pick<rollcall::StoreCallCounts>(s, 32764); }
void BM_LeastCalledPick48WholeHistoryQuery(benchmark::State& s) { pick<WholeHistoryCounts>(s, 48); }
BENCHMARK(BM_LeastCalledPick48)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LeastCalledPick32764)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LeastCalledPick48WholeHistoryQuery)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
