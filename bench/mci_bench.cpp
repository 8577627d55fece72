// Cost of the multimedia commands against the frame budget. A command must never stall a frame:
// 5 ms is the budget for every call but the very first open of each file, which is reported.
// Each figure comes as milliseconds and as a ratio to the 5 ms budget (ratio_5ms < 1 fits).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/mMain.h"
#include "tests/media_files.h"

namespace {

using namespace media_files;

constexpr double kBudgetMs = 5.0;

struct Files {
  TempDir dir;
  std::string wav, mid, bgm;
  Files() {
    wav = dir.Write("swat.wav", MakeWav(0.3, 44100, 2));
    mid = dir.Write("tune.mid", Tune(8));  // four seconds
    std::filesystem::path media =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "game" / "media" / "BGM.mid";
    std::error_code ec;
    if (std::filesystem::is_regular_file(media, ec)) bgm = media.string();
  }
};

Files& F() {
  static Files f;
  return f;
}

double TimeMs(const std::string& command) {
  auto t0 = std::chrono::steady_clock::now();
  MCIERROR err = mciSendStringA(command.c_str(), nullptr, 0, nullptr);
  auto t1 = std::chrono::steady_clock::now();
  if (err) std::fprintf(stderr, "mci_bench: \"%s\" failed with %u\n", command.c_str(), err);
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void Report(benchmark::State& state, double meanMs, double maxMs) {
  state.counters["ms"] = meanMs;
  state.counters["ratio_5ms"] = meanMs / kBudgetMs;
  state.counters["max_ms"] = maxMs;
  state.counters["max_ratio_5ms"] = maxMs / kBudgetMs;
}

// A first open: run once per process, it pays for what is loaded and then kept.
void FirstOpen(benchmark::State& state, const std::string& path, const char* alias) {
  double ms = 0;
  for (auto _ : state) {
    ms = TimeMs("open \"" + path + "\" alias " + alias);
    state.SetIterationTime(ms / 1000.0);
  }
  TimeMs(std::string("close ") + alias);
  Report(state, ms, ms);
}

// One command timed on every iteration, with set-up and tidy-up around it untimed.
template <class Before, class After>
void Repeated(benchmark::State& state, const std::string& command, Before before, After after) {
  double sum = 0, worst = 0;
  int64_t n = 0;
  for (auto _ : state) {
    before();
    double ms = TimeMs(command);
    state.SetIterationTime(ms / 1000.0);
    after();
    sum += ms;
    worst = std::max(worst, ms);
    ++n;
  }
  Report(state, n ? sum / static_cast<double>(n) : 0, worst);
}

void Nothing() {}

void BM_FirstOpenWav(benchmark::State& s) {
  FirstOpen(s, F().wav, "w");
}
void BM_FirstOpenMid(benchmark::State& s) {
  FirstOpen(s, F().mid, "m");
}
void BM_FirstOpenBGM(benchmark::State& s) {
  if (F().bgm.empty()) {
    s.SkipWithError("no game/media/BGM.mid");
    for (auto _ : s) {
    }
    return;
  }
  FirstOpen(s, F().bgm, "b");
}

void BM_ReopenWav(benchmark::State& s) {
  Repeated(s, "open \"" + F().wav + "\" alias w", Nothing, [] { TimeMs("close w"); });
}
void BM_ReopenMid(benchmark::State& s) {
  Repeated(s, "open \"" + F().mid + "\" alias m", Nothing, [] { TimeMs("close m"); });
}
void BM_ReopenBGM(benchmark::State& s) {
  if (F().bgm.empty()) {
    s.SkipWithError("no game/media/BGM.mid");
    for (auto _ : s) {
    }
    return;
  }
  Repeated(s, "open \"" + F().bgm + "\" alias b", Nothing, [] { TimeMs("close b"); });
}

// The effect play of the game: stop and play from 0 on an open alias.
void BM_PlayWav(benchmark::State& s) {
  TimeMs("open \"" + F().wav + "\" alias w");
  Repeated(
      s, "play w from 0", [] { TimeMs("stop w"); }, Nothing);
  TimeMs("close w");
}
void BM_StopWav(benchmark::State& s) {
  TimeMs("open \"" + F().wav + "\" alias w");
  Repeated(
      s, "stop w", [] { TimeMs("play w from 0"); }, Nothing);
  TimeMs("close w");
}
// The music of a stage: a play with notify, and its stop in the middle of the piece.
void BM_PlayMid(benchmark::State& s) {
  TimeMs("open \"" + F().mid + "\" alias m");
  Repeated(
      s, "play m from 0 notify", [] { TimeMs("stop m"); }, [] { platform::DoEvents(); });
  TimeMs("close m");
}
// As between two stages: stopped a while ago, so a fresh synthesiser has been prepared and the
// play swaps it in (and frees the stopped one).
void BM_PlayMidAfterRest(benchmark::State& s) {
  TimeMs("open \"" + F().mid + "\" alias m");
  Repeated(
      s, "play m from 0 notify",
      [] {
        TimeMs("stop m");
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
        while (std::chrono::steady_clock::now() < until) platform::DoEvents();
      },
      [] { platform::DoEvents(); });
  TimeMs("close m");
}
void BM_StopMid(benchmark::State& s) {
  TimeMs("open \"" + F().mid + "\" alias m");
  Repeated(
      s, "stop m", [] { TimeMs("play m from 0 notify"); }, [] { platform::DoEvents(); });
  TimeMs("close m");
}
void BM_CloseMid(benchmark::State& s) {
  Repeated(
      s, "close m",
      [] {
        TimeMs("open \"" + F().mid + "\" alias m");
        TimeMs("play m from 0 notify");
      },
      [] { platform::DoEvents(); });
}

BENCHMARK(BM_FirstOpenWav)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstOpenMid)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstOpenBGM)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReopenWav)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReopenMid)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReopenBGM)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayWav)->Iterations(500)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopWav)->Iterations(500)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayMid)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayMidAfterRest)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopMid)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CloseMid)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
