// Opening and reading whole rosters, writing one mark and saving, writing a group column, for
// .xls and .xlsx rosters.
// Saves skip the final flush to disk (the figure measures the component, not the disk).
// Build the data first: cmake --build build --target roster_bench_data
#include <benchmark/benchmark.h>
#include "roster/file_ops.h"
#include "roster/workbook.h"

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;
using velquor::roster::Workbook;

namespace {

fs::path source(int students, const char* ext) {
  return fs::path(VELQUOR_BENCH_DATA) / ("roster-" + std::to_string(students) + ext);
}

// A private copy of the roster, so that saving never touches the generated data.
fs::path workingCopy(int students, const char* ext) {
  const fs::path dir = fs::temp_directory_path() / "velquor-roster-bench";
  fs::create_directories(dir);
  const fs::path copy = dir / ("roster-" + std::to_string(students) + ext);
  fs::copy_file(source(students, ext), copy, fs::copy_options::overwrite_existing);
  return copy;
}

void openAndReadAll(benchmark::State& state, const char* ext) {
  const int students = static_cast<int>(state.range(0));
  const fs::path file = source(students, ext);
  if (!fs::exists(file)) {
    state.SkipWithError("no benchmark data: build the roster_bench_data target");
    return;
  }
  std::size_t cells = 0;
  for (auto _ : state) {
    Workbook wb = Workbook::open(file);
    cells = 0;
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      const int rows = wb.lastRow(s), cols = wb.lastColumn(s);
      for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) cells += !wb.cell(s, r, c).empty();
    }
    benchmark::DoNotOptimize(cells);
  }
  state.counters["cells"] = static_cast<double>(cells);
}

void writeMarkAndSave(benchmark::State& state, const char* ext) {
  const int students = static_cast<int>(state.range(0));
  if (!fs::exists(source(students, ext))) {
    state.SkipWithError("no benchmark data: build the roster_bench_data target");
    return;
  }
  Workbook wb = Workbook::open(workingCopy(students, ext), velquor::roster::systemFileOps(false));
  std::int16_t mark = 0;
  for (auto _ : state) {
    wb.setInteger(1, 9, 12, ++mark);
    wb.save();
  }
}

void writeGroupColumnAndSave(benchmark::State& state, const char* ext) {
  const int students = static_cast<int>(state.range(0));
  if (!fs::exists(source(students, ext))) {
    state.SkipWithError("no benchmark data: build the roster_bench_data target");
    return;
  }
  Workbook wb = Workbook::open(workingCopy(students, ext), velquor::roster::systemFileOps(false));
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int i = 1; i <= students; ++i) wb.setInteger(1, i + 2, 5, static_cast<std::int16_t>((i + round) % 6 + 1));
    wb.save();
  }
}

// The first save after opening: a sheet another program wrote is deflated whole (and cut into
// segments); the saves after it recompress only the segments their edits touch. Opening and
// closing the workbook are not timed.
void firstMarkAndSave(benchmark::State& state, const char* ext) {
  const int students = static_cast<int>(state.range(0));
  if (!fs::exists(source(students, ext))) {
    state.SkipWithError("no benchmark data: build the roster_bench_data target");
    return;
  }
  std::optional<Workbook> wb;
  for (auto _ : state) {
    state.PauseTiming();
    wb.reset();
    wb.emplace(Workbook::open(workingCopy(students, ext), velquor::roster::systemFileOps(false)));
    state.ResumeTiming();
    wb->setInteger(1, 9, 12, 5);
    wb->save();
  }
}

}  // namespace

BENCHMARK_CAPTURE(openAndReadAll, xls, ".xls")->Arg(48)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeMarkAndSave, xls, ".xls")->Arg(48)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeGroupColumnAndSave, xls, ".xls")->Arg(48)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openAndReadAll, xlsx, ".xlsx")->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeMarkAndSave, xlsx, ".xlsx")->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeGroupColumnAndSave, xlsx, ".xlsx")->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstMarkAndSave, xlsx, ".xlsx")->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
