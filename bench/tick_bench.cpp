// Cost of one control tick: busy (every channel changes) and idle.
#include <benchmark/benchmark.h>

#include "app/form_shell.h"
#include "config/settings_file.h"
#include "kit/fakes.h"

namespace zq {
namespace {

constexpr std::string_view kSetup =
    "[main]\nYaxis=0 1\nXaxis=0 0\nZaxis=0 2\nTrimAxis=0 3\nTrimXAxis=0 4\nTrimZAxis=0 5\n"
    "PowerPlus=-1 80\nPowerMinus=-1 77\nflapsdown=0 1\nflapsup=0 2\nfire=-1 70\n"
    "Y=0 40 70 90 100\nX=0 100 100 100 100 50 100 100 100 100 100\nZ=0 33 66 99 100\n"
    "Y1=0 50\n";

struct Panel {
  test::FakeDevices dev;
  test::NullView view;
  test::RecordingSender udp;
  test::CountingReport report;
  CurveBank bank;
  TForm1 form{bank, dev, view, udp};
  Panel() {
    dev.recordPolls = false;
    dev.plugged.fill(true);
    udp.keepAll = false;
    CreateForm(form, ProfileTextSettings(kSetup), NoKeyCharMap(), {1920, 1080}, report);
  }

  // Two device states that differ in every channel the tick reports.
  void Phase(bool a) {
    JoyInfoEx& s = dev.sticks[0];
    s.dwXpos = a ? 47513 : 14713;  // readings 450 / -550: curve values on exact halves
    s.dwYpos = a ? 50000 : 20000;
    s.dwZpos = a ? 60000 : 5000;
    s.dwRpos = a ? 40000 : 30000;
    s.dwUpos = a ? 45000 : 25000;
    s.dwVpos = a ? 35000 : 20000;
    s.dwButtons = a ? 1u : 2u;  // flaps down, then up
    dev.keys[80] = a ? 128 : 0;
    dev.keys[77] = a ? 0 : 128;
    dev.keys[70] = 128;
  }
};

void BM_BusyTick(benchmark::State& state) {
  Panel p;
  bool phase = false;
  for (auto _ : state) {
    p.Phase(phase = !phase);
    RunTick(p.form, p.report);
  }
  state.counters["datagrams/tick"] =
      benchmark::Counter(static_cast<double>(p.udp.sends), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BusyTick);

void BM_IdleTick(benchmark::State& state) {
  Panel p;
  p.Phase(true);
  p.dev.keys[70] = 0;
  RunTick(p.form, p.report);
  RunTick(p.form, p.report);
  long before = p.udp.sends;
  for (auto _ : state) RunTick(p.form, p.report);
  state.counters["datagrams/tick"] = benchmark::Counter(static_cast<double>(p.udp.sends - before),
                                                        benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_IdleTick);

void BM_CurveEvaluation(benchmark::State& state) {
  Curve c;
  ParseCurve("0 100 100 100 100 50 100 100 100 100 100", c);
  PointValues v = ComputePointValues(c);
  int32_t reading = -1000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EvaluateCurve(reading, v));
    reading = reading == 1000 ? -1000 : reading + 1;
  }
}
BENCHMARK(BM_CurveEvaluation);

}  // namespace
}  // namespace zq
