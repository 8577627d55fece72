// BitBlt of a whole 640x480 frame against memcpy of the same bytes, in one run, along its two
// paths:
// - the copy path: every iteration brings a frame that differs from the one before in every row
//   (two source frames, taken in turn), so every row is compared and written, as when the game
//   draws a new picture;
// - the skip path: the same, unchanged source again, which the layer answers without touching a
//   pixel (the game's still screens).
// ratio_to_memcpy is memcpy's time for one frame over the call's time (medians, measured side by
// side): 1 is memcpy's speed, more is faster. The memcpy takes two sources in turn as well, so
// both touch as much memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/mMain.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr size_t kBytes = size_t{kW} * kH * 4;

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint32_t> a(kBytes / 4, 1), b(kBytes / 4, 2), c(kBytes / 4, 3);
  int i = 0;
  for (auto _ : state) {
    std::memcpy(c.data(), (++i & 1) ? b.data() : a.data(), kBytes);
    benchmark::DoNotOptimize(c.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

// A whole frame of one colour, as a picture control decodes it from a 24-bit BMP.
std::unique_ptr<platform::Picture> Solid(uint8_t r, uint8_t g, uint8_t b) {
  const uint32_t rowBytes = kW * 3, pixels = rowBytes * kH, size = 54 + pixels;
  std::vector<uint8_t> bmp(size, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int k = 0; k < n; ++k) bmp[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put(2, size, 4);
  put(10, 54, 4);  // pixels start
  put(14, 40, 4);  // BITMAPINFOHEADER
  put(18, kW, 4);
  put(22, kH, 4);  // bottom-up
  put(26, 1, 2);   // planes
  put(28, 24, 2);  // bits per pixel
  put(34, pixels, 4);
  for (uint32_t i = 54; i < size; i += 3) {
    bmp[i] = b;
    bmp[i + 1] = g;
    bmp[i + 2] = r;
  }
  auto pic = std::make_unique<platform::Picture>();
  if (!pic->Load(bmp.data(), bmp.size())) std::abort();
  return pic;
}

// BitBlt(rop) of whole frames into a fresh black frame, the sources taken in turn. Each
// iteration also times one memcpy of a frame, so that the ratio compares medians taken side by
// side: on a shared machine a neighbour's burst then slows both alike.
void Run(benchmark::State& state, DWORD rop, const std::vector<HDC>& sources) {
  using Clock = std::chrono::steady_clock;
  HDC dst = CreateCompatibleDC(nullptr);
  HBITMAP db = CreateCompatibleBitmap(dst, kW, kH);
  SelectObject(dst, db);
  std::vector<uint32_t> a(kBytes / 4, 1), b(kBytes / 4, 2), c(kBytes / 4, 3);
  std::vector<double> blt, copy;
  size_t i = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    BitBlt(dst, 0, 0, kW, kH, sources[i % sources.size()], 0, 0, rop);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    std::memcpy(c.data(), (i & 1) ? b.data() : a.data(), kBytes);
    benchmark::DoNotOptimize(c.data());
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    blt.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
    copy.push_back(std::chrono::duration<double, std::nano>(t2 - t1).count());
    ++i;
  }
  const double bltNs = Median(blt), copyNs = Median(copy);
  state.counters["ns_per_frame"] = bltNs;
  state.counters["ratio_to_memcpy"] = bltNs > 0 ? copyNs / bltNs : 0;
  DeleteDC(dst);
  DeleteObject(db);
}

// Two frames that differ in every pixel: each copy of one over the other writes every row.
struct Sources {
  std::unique_ptr<platform::Picture> a = Solid(0x12, 0x34, 0x56), b = Solid(0x65, 0x43, 0x21);
  std::vector<HDC> both{a->hDC, b->hDC};
  std::vector<HDC> one{a->hDC};
};
Sources& Src() {
  static Sources s;
  return s;
}

void BM_BitBltSrcCopy(benchmark::State& s) {
  Run(s, SRCCOPY, Src().both);
}
void BM_BitBltSrcCopySkip(benchmark::State& s) {
  Run(s, SRCCOPY, Src().one);
}
void BM_BitBltSrcPaint(benchmark::State& s) {
  Run(s, SRCPAINT, Src().both);
}
void BM_BitBltSrcAnd(benchmark::State& s) {
  Run(s, SRCAND, Src().both);
}

}  // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_BitBltSrcCopy);
BENCHMARK(BM_BitBltSrcCopySkip);
BENCHMARK(BM_BitBltSrcPaint);
BENCHMARK(BM_BitBltSrcAnd);
BENCHMARK_MAIN();
