// The Windows build's figures, the same ones the Linux benches give (Google Benchmark has no
// mingw build here): a stage-4 frame tick and a refresh against one memcpy of a 640x480 frame
// measured in the same run, the 30 ms timer's accuracy against its grid over 10 s of the real
// loop, and the CPU share of one core while stage 4 plays in a visible window.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/App.h"
#include "game/shell/fMain.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto secs = [](FILETIME t) {
    return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
  };
  return secs(kernel) + secs(user);
}

void FrameCosts(fMain& f) {
  std::vector<uint32_t> a(640u * 480u, 0x123456), b(640u * 480u);
  std::vector<double> copy, frame, refresh;
  for (int i = 0; i < 2000; ++i) {
    a[static_cast<size_t>(i)] = static_cast<uint32_t>(i);
    const auto t0 = Clock::now();
    std::memcpy(b.data(), a.data(), a.size() * 4);
    copy.push_back(Since(t0));
  }
  f.stage = 4;
  f.StartStage();
  for (int i = 0; i < 2000; ++i) {
    f.timeLeft = 100;  // the clock stands still: the stage never ends under the bench
    const auto t0 = Clock::now();
    f.timGame_Timer();
    frame.push_back(Since(t0));
    const auto t1 = Clock::now();
    f.timRefresh_Timer();
    GdiFlush();
    refresh.push_back(Since(t1));
  }
  const double m = Median(copy);
  std::printf("memcpy of one 640x480x4 frame: %.1f us\n", m);
  std::printf("frame tick, stage 4, %d flies: %.1f us = %.2fx memcpy\n", f.flyCount, Median(frame),
              Median(frame) / m);
  std::printf("refresh (back buffer to the window's picture): %.1f us = %.2fx memcpy\n",
              Median(refresh), Median(refresh) / m);
  f.ReturnToTitle();
}

void TimerAccuracy() {
  platform::Form form;
  platform::Timer refresh(10, true), frame(30, true), clock(800, true), stop(10000, true);
  std::vector<double> ticks;
  const auto start = Clock::now();
  refresh.Tick = [] {};
  clock.Tick = [] {};
  frame.Tick = [&] { ticks.push_back(Since(start) / 1000.0); };
  stop.Tick = [&] { form.Unload(); };
  const double cpu0 = CpuSeconds();
  platform::RunMessageLoop(form);
  const double wall = Since(start) / 1e6, cpu = CpuSeconds() - cpu0;
  std::vector<double> errors;
  for (size_t k = 0; k < ticks.size(); ++k) errors.push_back(std::fabs(ticks[k] - 30.0 * (k + 1)));
  std::sort(errors.begin(), errors.end());
  const double mean = ticks.size() > 1 ? (ticks.back() - ticks.front()) / (ticks.size() - 1) : 0;
  const auto within3 = std::count_if(errors.begin(), errors.end(), [](double e) { return e <= 3; });
  std::printf(
      "30 ms timer over %.1f s: %zu ticks (333 due), mean interval %.2f ms, %.1f %% within 3 ms "
      "of the grid, p99 error %.2f ms; idle loop CPU %.1f %% of one core\n",
      wall, ticks.size(), mean, errors.empty() ? 0.0 : 100.0 * within3 / errors.size(),
      errors.empty() ? 0.0 : errors[errors.size() * 99 / 100], 100 * cpu / wall);
}

void Stage4Cpu() {
  fMain f;
  f.Form_Load();
  f.stage = 4;
  f.StartStage();
  platform::Timer stop(10000, true);
  int frames = 0;
  platform::Timer count(30, true);
  count.Tick = [&] {
    ++frames;
    f.timeLeft = 100;
  };
  stop.Tick = [&] { f.Unload(); };
  const auto start = Clock::now();
  const double cpu0 = CpuSeconds();
  platform::RunMessageLoop(f);
  const double wall = Since(start) / 1e6, cpu = CpuSeconds() - cpu0;
  std::printf(
      "stage 4 played for %.1f s in a visible window: CPU %.1f %% of one core, %.1f frames/s\n",
      wall, 100 * cpu / wall, frames / wall);
}

}  // namespace

int main() {
  App.Init(nullptr);
  {
    fMain f;
    f.Form_Load();
    FrameCosts(f);
    f.Unload();
  }
  TimerAccuracy();
  Stage4Cpu();
  return 0;
}
