// The game's per-frame work against the cost of copying one 640x480 frame with memcpy, measured
// in the same run: a frame tick of stage 4 with 100 flies (limit 3x), a refresh (limit 2x, the
// present measured on its own), and a stage start with its music (limit 5 ms from the second
// start on). The media are copied from game/media into a temporary program folder, so that the
// music is really opened; ZORBILO_MEDIA names another folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/App.h"
#include "game/shell/fMain.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double memcpyNs = 0;                  // one frame's memcpy, nanoseconds (median)
std::map<std::string, double> perOp;  // nanoseconds per operation (median), by benchmark
std::unique_ptr<fMain> form;
fs::path folder;

fMain& Form() {
  if (!form) {
    char tmpl[] = "/tmp/zorbilo_bench_XXXXXX";
    folder = mkdtemp(tmpl) ? fs::path(tmpl) : fs::temp_directory_path();
    const char* env = std::getenv("ZORBILO_MEDIA");
    const fs::path media =
        env ? fs::path(env) : fs::path(__FILE__).parent_path().parent_path() / "game/media";
    std::error_code ec;
    for (const char* f :
         {"START.wav", "SWAT.wav", "MISS.wav", "CLEAR.wav", "TIMEUP.wav", "BGM.mid", "FINAL.mid"})
      fs::copy_file(media / f, folder / f, fs::copy_options::overwrite_existing, ec);
    App.Path = folder.string();
    platform::UseManualClock(1'000'000);
    form = std::make_unique<fMain>();
    form->Form_Load();
  }
  return *form;
}

// Medians, not means: the machine is shared, and a neighbour's burst should not decide a ratio.
double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

void Record(benchmark::State& state, const std::string& name, const std::vector<double>& samples) {
  const double ns = Median(samples);
  perOp[name] = ns;
  state.counters["median_us"] = ns / 1e3;
  state.counters["x_memcpy"] = ns / memcpyNs;
}

double Since(Clock::time_point t0) {
  return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint32_t> a(640 * 480, 7), b(640 * 480);
  std::vector<double> samples;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
    samples.push_back(Since(t0));
  }
  // The baseline of every ratio below, measured the same way as they are.
  memcpyNs = Median(samples);
  Record(state, "memcpy", samples);
}

void BM_FrameTickStage4(benchmark::State& state) {
  fMain& f = Form();
  f.ReturnToTitle();
  f.stage = 4;
  f.StartStage();
  std::vector<double> samples;
  for (auto _ : state) {
    f.timeLeft = 100;  // the clock stands still: the stage never ends under the bench
    const auto t0 = Clock::now();
    f.timGame_Timer();
    samples.push_back(Since(t0));
  }
  if (f.flyCount != 100 || f.gameState != 1) state.SkipWithError("not playing stage 4");
  Record(state, "frame", samples);
}

void BM_RefreshNewFrame(benchmark::State& state) {
  fMain& f = Form();
  std::vector<double> samples;
  int32_t n = 0;
  for (auto _ : state) {
    // A new frame each time, as the frame loop gives it, so that the copy cannot be skipped.
    state.PauseTiming();
    f.DrawSprite(++n % 600, 10, 0, 80, 10, 10);
    state.ResumeTiming();
    const auto t0 = Clock::now();
    f.timRefresh_Timer();
    samples.push_back(Since(t0));
  }
  Record(state, "refresh", samples);
}

void BM_Present(benchmark::State& state) {
  fMain& f = Form();
  std::vector<double> samples;
  int32_t n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    f.DrawSprite(++n % 600, 10, 0, 80, 10, 10);
    f.timRefresh_Timer();
    state.ResumeTiming();
    const auto t0 = Clock::now();
    platform::Present();
    samples.push_back(Since(t0));
  }
  Record(state, "present", samples);
}

void BM_StartStage(benchmark::State& state) {
  fMain& f = Form();
  const int32_t stage = static_cast<int32_t>(state.range(0));
  f.ReturnToTitle();
  f.stage = stage;
  f.StartStage();  // the first start loads the synthesiser
  std::vector<double> samples;
  for (auto _ : state) {
    state.PauseTiming();
    f.ReturnToTitle();
    f.stage = stage;
    state.ResumeTiming();
    const auto t0 = Clock::now();
    f.StartStage();
    samples.push_back(Since(t0));
  }
  f.ReturnToTitle();
  const double worst = *std::max_element(samples.begin(), samples.end());
  Record(state, "start" + std::to_string(stage), samples);
  perOp["start" + std::to_string(stage) + "_worst"] = worst;
  state.counters["worst_ms"] = worst / 1e6;
}

BENCHMARK(BM_MemcpyFrame)->MinTime(0.5);  // first: the baseline
BENCHMARK(BM_FrameTickStage4)->MinTime(1.0);
BENCHMARK(BM_RefreshNewFrame)->MinTime(0.5);
BENCHMARK(BM_Present)->MinTime(0.5);
BENCHMARK(BM_StartStage)->Arg(4)->Arg(5)->Iterations(40);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  auto verdict = [](bool ok) { return ok ? "within" : "OVER"; };
  std::printf("\nmemcpy of one 640x480x4 frame: %.1f us\n", memcpyNs / 1e3);
  if (perOp.count("frame"))
    std::printf("frame tick, stage 4, 100 flies: %.1f us = %.2fx memcpy (limit 3x: %s)\n",
                perOp["frame"] / 1e3, perOp["frame"] / memcpyNs,
                verdict(perOp["frame"] <= 3 * memcpyNs));
  if (perOp.count("refresh"))
    std::printf("refresh: %.1f us = %.2fx memcpy (limit 2x: %s)\n", perOp["refresh"] / 1e3,
                perOp["refresh"] / memcpyNs, verdict(perOp["refresh"] <= 2 * memcpyNs));
  if (perOp.count("present"))
    std::printf("present (reported on its own): %.1f us = %.2fx memcpy\n", perOp["present"] / 1e3,
                perOp["present"] / memcpyNs);
  for (const char* s : {"start4", "start5"})
    if (perOp.count(s))
      std::printf("StartStage %s: median %.3f ms, worst %.3f ms (limit 5 ms: %s)\n", s + 5,
                  perOp[s] / 1e6, perOp[std::string(s) + "_worst"] / 1e6,
                  verdict(perOp[std::string(s) + "_worst"] < 5e6));
  form.reset();
  std::error_code ec;
  if (!folder.empty()) fs::remove_all(folder, ec);
  return 0;
}
