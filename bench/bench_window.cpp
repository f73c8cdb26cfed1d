// The name-list work of the main window on rosters of a whole school year: opening the
// roster and loading a class (lists included), a rolling tick in one group of the largest
// class, a random grouping with the list refresh, and writing a mark or the groups with
// the safe save (each save is flushed to disk). And the relayout after a resize: every
// control placed again from its twips, with new fonts and styles when the factor changes
// (as when the teacher drags the window's corner), or new margins only.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

#include "tests/support/fakes.h"
#include "app/frmmd.h"
#include "roster/workbook.h"
#include "roster/workbookset.h"

namespace {

using velquor::FrmMd;
using velquor::roster::Workbook;

Workbook::SheetRows classRows(int n) {
  Workbook::SheetRows rows = {{"班级名单"}, {"学号", "姓名", "性别", "备注", "组别", "12月01", "12月03"}};
  rows.reserve(static_cast<std::size_t>(n) + 2);
  for (int i = 1; i <= n; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i), "", "", "", "3", ""});
  return rows;
}

// A roster folder with three classes of 48, or one class of the largest size.
struct Roster {
  QTemporaryDir folder;
  velquor::test::FakeServices fakes;
  std::unique_ptr<FrmMd> window;

  explicit Roster(int students) {
    std::vector<std::pair<std::string, Workbook::SheetRows>> sheets;
    if (students == 48) {
      for (const char* name : {"一班", "二班", "三班"}) sheets.emplace_back(name, classRows(48));
    } else {
      sheets.emplace_back("全年级", classRows(students));
    }
    const auto bytes = Workbook::create(sheets);
    QFile file(QDir(fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls")));
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();
    fakes.random.fallback = 0.5;
    window = std::make_unique<FrmMd>(fakes.services());
    window->show();
    window->switchCategory(0);
  }
};

void BM_OpenListAndLoad(benchmark::State& state) {
  Roster roster(static_cast<int>(state.range(0)));
  FrmMd& w = *roster.window;
  for (auto _ : state) {
    w.rosterApp.reset();  // read the file again, as on the first roster operation
    w.listClasses();
    benchmark::DoNotOptimize(w.studentCount);
  }
  if (w.studentCount != state.range(0)) state.SkipWithError("class not loaded");
}

void BM_LoadClass(benchmark::State& state) {
  Roster roster(static_cast<int>(state.range(0)));
  FrmMd& w = *roster.window;
  for (auto _ : state) {
    w.loadClass();
    benchmark::DoNotOptimize(w.studentCount);
  }
  if (w.studentCount != state.range(0)) state.SkipWithError("class not loaded");
}

void BM_RollingTickOneGroup(benchmark::State& state) {
  Roster roster(static_cast<int>(state.range(0)));
  FrmMd& w = *roster.window;
  std::size_t i = 0;
  for (auto _ : state) {
    roster.fakes.random.fallback = static_cast<double>(i++ % 997) / 997.0;
    w.onTimer1Tick();
    benchmark::DoNotOptimize(w.currentNumber);
  }
}

void BM_RandomGrouping100(benchmark::State& state) {
  Roster roster(static_cast<int>(state.range(0)));
  FrmMd& w = *roster.window;
  w.groupCount = 100;
  w.groupSize = (w.studentCount - 1) / 100 + 1;
  std::size_t i = 0;
  for (auto _ : state) {
    roster.fakes.random.fallback = static_cast<double>(i++ % 997) / 997.0;
    if (!w.formGroupsNow(true)) state.SkipWithError("grouping failed");
  }
}

void BM_WriteMark(benchmark::State& state) {
  Roster roster(static_cast<int>(state.range(0)));
  FrmMd& w = *roster.window;
  w.currentNumber = 7;
  w.Combo1[0]->setEditText(QStringLiteral("0"));
  for (auto _ : state) w.onCmdXieClick(1);
  if (!roster.fakes.dialogs.messages.empty()) state.SkipWithError("write refused");
}

void BM_WriteGroups(benchmark::State& state) {
  Roster roster(static_cast<int>(state.range(0)));
  FrmMd& w = *roster.window;
  for (auto _ : state) w.onCmdXieClick(0);
  if (!roster.fakes.dialogs.messages.empty()) state.SkipWithError("write refused");
}

// A window of the seat category, resized by its client area.
struct ResizedWindow {
  velquor::test::FakeServices fakes;
  std::unique_ptr<FrmMd> window;
  QSize chrome;
  ResizedWindow() {
    window = std::make_unique<FrmMd>(fakes.services());
    window->show();
    window->formActivate();
    chrome = window->size() - window->centralWidget()->size();
  }
  void resizeClient(QSize client) { window->resize(client + chrome); }
};

// Between the sizes of factors 1.5 and 2: new places and new fonts every time.
void BM_RelayoutNewFactor(benchmark::State& state) {
  ResizedWindow w;
  const QSize sizes[2] = {QSize(942, 955), QSize(1256, 1274)};
  std::size_t i = 0;
  for (auto _ : state) w.resizeClient(sizes[i++ % 2]);
  if (w.window->centralWidget()->size() != sizes[(i - 1) % 2]) state.SkipWithError("not resized");
}

// Wider and narrower at one height: the factor stays, the margins change.
void BM_RelayoutSameFactor(benchmark::State& state) {
  ResizedWindow w;
  const QSize sizes[2] = {QSize(1800, 1000), QSize(1700, 1000)};
  std::size_t i = 0;
  for (auto _ : state) w.resizeClient(sizes[i++ % 2]);
}

BENCHMARK(BM_RelayoutNewFactor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelayoutSameFactor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenListAndLoad)->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadClass)->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RollingTickOneGroup)->Arg(48)->Arg(32764)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RandomGrouping100)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteMark)->Arg(48)->Arg(32764)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteGroups)->Arg(32764)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
