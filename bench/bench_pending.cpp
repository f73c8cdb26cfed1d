// Applying 100 waiting marks to a 48-student roster with one save: the work done when a
// held roster becomes free. "apply+save" opens the file, places the marks by number and
// name and saves without the final flush to disk (the component's cost); "flush" is the
// whole step as the program runs it, journal records and disk flushes included.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "results/pending.h"
#include "roster/file_ops.h"
#include "roster/workbook.h"

namespace fs = std::filesystem;
using velquor::roster::Workbook;
using namespace velquor::results;

namespace {

struct Fixture {
  fs::path dir = fs::temp_directory_path() / "velquor-pending-bench";
  fs::path roster = dir / "roster.xls";
  std::vector<std::uint8_t> image;
  std::vector<PendingWrite> writes;

  Fixture() {
    fs::create_directories(dir);
    Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名", "", "", "组别", "12月01", "12月03"}};
    for (int i = 1; i <= 48; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i), "", "", "", "3", "4"});
    image = Workbook::create({{"一班", rows}});
    for (int k = 0; k < 100; ++k) {
      PendingWrite w;
      w.id = static_cast<std::uint64_t>(k + 1);
      w.roster = fs::weakly_canonical(roster).string();
      w.sheet = "一班";
      w.date = "12月05";
      const int student = (k * 7) % 48 + 1;
      w.number = std::to_string(student);
      w.name = "学生" + std::to_string(student);
      w.score = std::to_string(k % 5 + 1);
      writes.push_back(w);
    }
  }
  void reset() const {
    std::ofstream out(roster, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
};

void applyAndSave(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    state.PauseTiming();
    f.reset();
    std::vector<PendingWrite> writes = f.writes;
    state.ResumeTiming();
    Workbook book = Workbook::open(f.roster, velquor::roster::systemFileOps(false));
    if (applyPending(book, writes).size() != 100) state.SkipWithError("not every mark was placed");
    book.save();
  }
}
BENCHMARK(applyAndSave)->Unit(benchmark::kMillisecond);

void flush(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    state.PauseTiming();
    f.reset();
    PendingJournal journal(f.dir / "pending.txt");
    journal.writes() = f.writes;
    state.ResumeTiming();
    Workbook book = Workbook::open(f.roster);
    if (flushPending(journal, book) != 100) state.SkipWithError("not every mark was placed");
  }
}
BENCHMARK(flush)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
