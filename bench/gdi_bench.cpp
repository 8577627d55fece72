// BitBlt of a whole 640x480 frame against memcpy of the same bytes, in one run. The ratios are
// reported as counters of the BitBlt benchmarks (ratio_to_memcpy).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/mMain.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr size_t kBytes = size_t{kW} * kH * 4;

double MemcpySeconds() {
  static double secs = [] {
    std::vector<uint32_t> a(kBytes / 4, 1), b(kBytes / 4, 2);
    const int n = 2000;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
      std::memcpy(b.data(), a.data(), kBytes);
      benchmark::DoNotOptimize(b.data());
      benchmark::ClobberMemory();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
  }();
  return secs;
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint32_t> a(kBytes / 4, 1), b(kBytes / 4, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), kBytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BitBltBench(benchmark::State& state, DWORD rop) {
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr);
  HBITMAP sb = CreateCompatibleBitmap(src, kW, kH), db = CreateCompatibleBitmap(dst, kW, kH);
  SelectObject(src, sb);
  SelectObject(dst, db);
  double base = MemcpySeconds();
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    BitBlt(dst, 0, 0, kW, kH, src, 0, 0, rop);
    benchmark::ClobberMemory();
  }
  double per = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
               static_cast<double>(state.iterations());
  state.counters["ratio_to_memcpy"] = per / base;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
  DeleteDC(src);
  DeleteDC(dst);
  DeleteObject(sb);
  DeleteObject(db);
}

void BM_BitBltSrcCopy(benchmark::State& s) { BitBltBench(s, SRCCOPY); }
void BM_BitBltSrcPaint(benchmark::State& s) { BitBltBench(s, SRCPAINT); }
void BM_BitBltSrcAnd(benchmark::State& s) { BitBltBench(s, SRCAND); }

}  // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_BitBltSrcCopy);
BENCHMARK(BM_BitBltSrcPaint);
BENCHMARK(BM_BitBltSrcAnd);
BENCHMARK_MAIN();
