// Waiting marks. "applyAndSave": 100 waiting marks placed in a 48-student roster with one
// save, without the final flush to disk (the component's cost); "flush": the whole step as
// the program runs it, claims in the store and disk flushes included. "retry": the window's
// thread on one retry with 3 rosters of 48 or 32764 students that stay held by another
// program, each with a waiting mark: "unchanged" is the retry as it runs (nothing changed,
// nothing read), "forced" reads and tries every roster as every retry did before.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "app/frmmd.h"
#include "app/pendingwrites.h"
#include "results/pending.h"
#include "roster/file_ops.h"
#include "roster/workbook.h"
#include "tests/support/fakes.h"

namespace fs = std::filesystem;
using velquor::roster::Workbook;
using namespace velquor::results;

namespace {

Workbook::SheetRows classRows(int n) {
  Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名", "", "", "组别", "12月01", "12月03"}};
  rows.reserve(static_cast<std::size_t>(n) + 2);
  for (int i = 1; i <= n; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i), "", "", "", "3", "4"});
  return rows;
}

struct Fixture {
  fs::path dir = fs::temp_directory_path() / "velquor-pending-bench";
  fs::path roster = dir / "roster.xls";
  std::vector<std::uint8_t> image;
  std::vector<PendingWrite> writes;

  Fixture() {
    fs::create_directories(dir);
    image = Workbook::create({{"一班", classRows(48)}});
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
  auto store = velquor::store::Store::open(f.dir / "velquor.db", "2026-12-05").store;
  PendingJournal journal(*store);
  for (auto _ : state) {
    state.PauseTiming();
    f.reset();
    for (const PendingWrite& w : f.writes) journal.add(w);
    state.ResumeTiming();
    if (flushPending(journal, f.roster.string()) != 100) state.SkipWithError("not every mark was placed");
  }
}
BENCHMARK(flush)->Unit(benchmark::kMillisecond);

// Three rosters of `students` each, held by another program's lock file, each with a mark
// waiting; the window has tried them once.
struct HeldRosters {
  velquor::test::FakeServices fakes;
  std::unique_ptr<velquor::FrmMd> window;

  explicit HeldRosters(int students) {
    const auto bytes = Workbook::create({{"一班", classRows(students)}});
    window = std::make_unique<velquor::FrmMd>(fakes.services());
    for (int r = 0; r < 3; ++r) {
      const QString name = QStringLiteral("名单%1.xls").arg(r);
      const QString path = QDir(fakes.programFolder.path()).filePath(name);
      QFile file(path);
      file.open(QIODevice::WriteOnly);
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
      file.close();
      QFile lock(QDir(fakes.programFolder.path()).filePath(QStringLiteral(".~lock.") + name + QLatin1Char('#')));
      lock.open(QIODevice::WriteOnly);
      lock.write("王老师,teacher,classroom-pc,05.12.2026 09:00,file:///home/teacher;\n");
      lock.close();
      PendingWrite w;
      w.roster = path.toStdString();
      w.sheet = "一班";
      w.date = "12月05";
      w.number = "1";
      w.name = "学生1";
      w.score = "5";
      window->pendingWrites->keep(w, velquor::roster::WorkbookError("held", velquor::roster::ErrorKind::Held));
    }
    window->pendingWrites->retry(true);
  }
};

void retryUnchanged(benchmark::State& state) {
  HeldRosters held(static_cast<int>(state.range(0)));
  for (auto _ : state) held.window->pendingWrites->retry();
  if (held.window->pendingWrites->writes().size() != 3) state.SkipWithError("a held roster was written");
}
BENCHMARK(retryUnchanged)->Arg(48)->Arg(32764)->Unit(benchmark::kMicrosecond);

void retryForced(benchmark::State& state) {
  HeldRosters held(static_cast<int>(state.range(0)));
  for (auto _ : state) held.window->pendingWrites->retry(true);
  if (held.window->pendingWrites->writes().size() != 3) state.SkipWithError("a held roster was written");
}
BENCHMARK(retryForced)->Arg(48)->Arg(32764)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
