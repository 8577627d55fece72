// The message loop at rest: three timers of the game's intervals (10, 30 and 800 ms) run for
// 10 s of real time. Reports the loop's CPU use as a share of one core, and the accuracy of the
// 30 ms timer against its grid. Run under a real X server for the figures that matter.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "platform/mMain.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_IdleLoopWithGameTimers(benchmark::State& state) {
  for (auto _ : state) {
    platform::Form form;
    platform::Timer refresh(10, true), frame(30, true), clock(800, true), stop(10000, true);
    std::vector<double> ticks;
    auto start = std::chrono::steady_clock::now();
    auto since = [&] {
      return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
          .count();
    };
    refresh.Tick = [] {};
    clock.Tick = [] {};
    frame.Tick = [&] { ticks.push_back(since()); };
    stop.Tick = [&] { form.Unload(); };
    double cpu0 = CpuSeconds();
    platform::RunMessageLoop(form);
    double wall = since() / 1000.0;
    double cpu = CpuSeconds() - cpu0;

    // Grid: tick k is due at 30 * (k + 1) ms from the start.
    std::vector<double> errors;
    for (size_t k = 0; k < ticks.size(); ++k) errors.push_back(std::fabs(ticks[k] - 30.0 * (k + 1)));
    std::sort(errors.begin(), errors.end());
    double mean = ticks.size() > 1 ? (ticks.back() - ticks.front()) / (ticks.size() - 1) : 0;
    size_t within3 = static_cast<size_t>(
        std::count_if(errors.begin(), errors.end(), [](double e) { return e <= 3.0; }));
    state.counters["cpu_share_of_one_core"] = cpu / wall;
    state.counters["ticks_30ms"] = static_cast<double>(ticks.size());
    state.counters["mean_interval_ms"] = mean;
    state.counters["share_within_3ms"] = ticks.empty() ? 0 : double(within3) / ticks.size();
    state.counters["p99_error_ms"] = errors.empty() ? 0 : errors[errors.size() * 99 / 100];
  }
}

}  // namespace

BENCHMARK(BM_IdleLoopWithGameTimers)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
