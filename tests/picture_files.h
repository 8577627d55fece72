// Small picture files made on the spot, for the tests of picture controls and block transfers.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/mMain.h"

// A 24-bit bottom-up BMP of w x h pixels produced by colour(x, y).
template <class F>
inline std::vector<uint8_t> MakeBmp(int w, int h, F colour) {
  int stride = (w * 3 + 3) & ~3;
  uint32_t size = 54 + stride * h;
  std::vector<uint8_t> b(size, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      COLORREF c = colour(x, y);
      size_t at = 54 + static_cast<size_t>(h - 1 - y) * stride + x * 3;
      b[at] = GetBValue(c);
      b[at + 1] = GetGValue(c);
      b[at + 2] = GetRValue(c);
    }
  return b;
}
