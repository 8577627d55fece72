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

namespace {

constexpr double kBudgetMs = 5.0;

std::vector<uint8_t> MakeWav(double seconds) {
  const int rate = 44100;
  auto frames = static_cast<uint32_t>(seconds * rate);
  std::vector<uint8_t> b(44 + frames * 4u, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
  std::memcpy(&b[0], "RIFF", 4);
  put32(4, static_cast<uint32_t>(b.size() - 8));
  std::memcpy(&b[8], "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, 2);
  put32(24, rate);
  put32(28, rate * 4);
  put16(32, 4);
  put16(34, 16);
  std::memcpy(&b[36], "data", 4);
  put32(40, frames * 4u);
  for (uint32_t i = 0; i < frames * 2; ++i)
    put16(44 + i * 2, static_cast<uint16_t>(static_cast<int16_t>((i % 100) * 200 - 10000)));
  return b;
}

// Eight quarter notes at 120 bpm: four seconds.
std::vector<uint8_t> MakeMid() {
  std::vector<uint8_t> t = {0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xC0, 0};
  for (int i = 0; i < 8; ++i) {
    auto note = static_cast<uint8_t>(60 + i);
    t.insert(t.end(), {0, 0x90, note, 100, 0x60, 0x80, note, 0});
  }
  t.insert(t.end(), {0, 0xFF, 0x2F, 0});
  std::vector<uint8_t> f = {
      'M', 'T', 'h', 'd', 0,   0,   0,   6, 0, 0, 0,
      1,   0,   96,  'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(t.size())};
  f.insert(f.end(), t.begin(), t.end());
  return f;
}

struct Files {
  std::string dir, wav, mid, bgm;
  Files() {
    char tmpl[] = "/tmp/zorbilo-mci-bench-XXXXXX";
    dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    wav = Write("swat.wav", MakeWav(0.3));
    mid = Write("tune.mid", MakeMid());
    std::filesystem::path media =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "game" / "media" / "BGM.mid";
    std::error_code ec;
    if (std::filesystem::is_regular_file(media, ec)) bgm = media.string();
  }
  ~Files() { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string p = dir + "/" + name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p;
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
