// One tick of the rolling display: a pick step and the name label's new caption, for the
// classroom's 48 seats and for the widest number range, 1 to 32767. A tick comes every
// 50 ms, so it must stay far below that on an old classroom PC.
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <benchmark/benchmark.h>
#include <memory>

#include "app/frmmd.h"
#include "app/services.h"
#include "app/widgets.h"

namespace {

using velquor::FrmMd;

// The real services: the clock and the generator reseeded on every tick are part of its cost.
velquor::RealServices& realServices() {
  static velquor::RealServices services;
  return services;
}

std::unique_ptr<FrmMd> window(int category, const char* low, const char* high, bool random) {
  auto w = std::make_unique<FrmMd>(realServices().services());
  w->show();
  w->switchCategory(category);
  w->txtXh[0]->setText(QString::fromLatin1(low));
  w->txtXh[1]->setText(QString::fromLatin1(high));
  w->onTxtXhLostFocus(1);
  w->OptDmFs[random ? 0 : 1]->setChecked(true);
  return w;
}

void tick(benchmark::State& state, int category, const char* low, const char* high, bool random, bool paint) {
  auto w = window(category, low, high, random);
  if (w->pickPoolCount != w->studentCount || w->studentCount < 1) {
    state.SkipWithError("range not accepted");
    return;
  }
  for (auto _ : state) {
    w->onTimer1Tick();
    if (paint) w->lblXm->repaint();  // the label drawn at once instead of at the next frame
    benchmark::DoNotOptimize(w->currentValue);
  }
  state.counters["candidates"] = w->pickPoolCount;
}

void BM_TickSeats48Random(benchmark::State& s) { tick(s, 2, "6", "8", true, false); }
void BM_TickSeats48InOrder(benchmark::State& s) { tick(s, 2, "6", "8", false, false); }
void BM_TickNumbers32767Random(benchmark::State& s) { tick(s, 1, "1", "32767", true, false); }
void BM_TickNumbers32767InOrder(benchmark::State& s) { tick(s, 1, "1", "32767", false, false); }
void BM_TickSeats48RandomPainted(benchmark::State& s) { tick(s, 2, "6", "8", true, true); }
void BM_TickNumbers32767RandomPainted(benchmark::State& s) { tick(s, 1, "1", "32767", true, true); }

BENCHMARK(BM_TickSeats48Random)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickSeats48InOrder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickNumbers32767Random)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickNumbers32767InOrder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickSeats48RandomPainted)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickNumbers32767RandomPainted)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
