// The software raster (see raster.h).
#include "platform/raster/raster.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform::raster {

namespace {

// Clips a w x h transfer against both surfaces; false when nothing is left. The arithmetic is
// done in 64 bits, so huge or extreme arguments clip instead of overflowing.
bool ClipTransfer(int& dx, int& dy, int& w, int& h, int& sx, int& sy, int dw, int dh, int sw,
                  int sh) {
  if (w <= 0 || h <= 0) return false;
  auto clipAxis = [](int& d, int& s, int& len, int dlen, int slen) {
    int64_t D = d, Sx = s, L = len;
    if (D < 0) {
      Sx -= D;
      L += D;
      D = 0;
    }
    if (Sx < 0) {
      D -= Sx;
      L += Sx;
      Sx = 0;
    }
    L = std::min({L, int64_t{dlen} - D, int64_t{slen} - Sx});
    if (L <= 0) return false;
    d = static_cast<int>(D);
    s = static_cast<int>(Sx);
    len = static_cast<int>(L);
    return true;
  };
  return clipAxis(dx, sx, w, dw, sw) && clipAxis(dy, sy, h, dh, sh);
}

template <class Op>
void Blend(uint32_t* __restrict d, const uint32_t* __restrict s, int n, Op op) {
  for (int i = 0; i < n; ++i) d[i] = op(d[i], s[i]);
}

// The last plain copies between bitmaps, each with the clock's reading once it was done: then
// the destination's rectangle held the source's. While no row of either has changed since, the
// same copy again would change nothing, and is skipped without looking at a pixel. (The title
// screen is 48 such tile copies every frame, onto a back buffer that already shows them.)
struct CopyStamp {
  const uint64_t* dst = nullptr;
  const uint64_t* src = nullptr;
  int x = 0, y = 0, w = 0, h = 0, x1 = 0, y1 = 0;
  uint64_t at = 0;
  bool Same(const CopyStamp& o) const {
    return dst == o.dst && src == o.src && x == o.x && y == o.y && w == o.w && h == o.h &&
           x1 == o.x1 && y1 == o.y1;
  }
};
// Roomy, so that the few dozen copies of a frame seldom share a slot and push each other out.
std::array<CopyStamp, 4096> copyStamps;

CopyStamp& StampSlot(const CopyStamp& key) {
  // Tile positions are multiples of the tile size: every bit must reach the slot number.
  uint64_t hash =
      reinterpret_cast<uintptr_t>(key.dst) ^ (reinterpret_cast<uintptr_t>(key.src) << 7);
  for (int v : {key.x, key.y, key.w, key.h, key.x1, key.y1}) {
    hash = (hash ^ static_cast<uint32_t>(v)) * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 29;
  }
  return copyStamps[hash % copyStamps.size()];
}

bool RowsNotNewer(const std::vector<uint64_t>* rows, int height, int from, int count, uint64_t at) {
  if (!rows || rows->size() != static_cast<size_t>(height)) return false;  // not known
  for (int r = from; r < from + count; ++r)
    if ((*rows)[r] > at) return false;
  return true;
}


uint64_t SameCopyAt(const Surface& d, const Surface& s, int x, int y, int w, int h, int x1,
                    int y1) {
  const CopyStamp key{d.version, s.version, x, y, w, h, x1, y1, 0};
  const CopyStamp& slot = StampSlot(key);
  if (!slot.Same(key) || !d.rows || d.rows->size() != static_cast<size_t>(d.h)) return 0;
  return RowsNotNewer(s.rows, s.h, y1, h, slot.at) ? slot.at : 0;
}

void RememberCopy(const Surface& d, const Surface& s, int x, int y, int w, int h, int x1, int y1,
                  uint64_t clock) {
  StampSlot(CopyStamp{d.version, s.version, x, y, w, h, x1, y1, 0}) =
      CopyStamp{d.version, s.version, x, y, w, h, x1, y1, clock};
}

}  // namespace

void Transfer(const Surface& d, const Surface& s, int x, int y, int cx, int cy, int x1, int y1,
              DWORD rop, uint64_t& clock) {
  int w = cx, h = cy;
  if (!ClipTransfer(x, y, w, h, x1, y1, d.w, d.h, s.w, s.h)) return;  // nothing to draw

  // A window already showing this very frame of this very source needs neither copy nor present.
  if (d.window && rop == SRCCOPY && x == 0 && y == 0 && x1 == 0 && y1 == 0 && w == d.w &&
      h == d.h && d.window->lastSrc == s.version && d.window->lastSrcVersion == *s.version)
    return;

  // Only rows whose pixels change are written, and a window is presented only when its pixels
  // change: the game redraws still screens (the title, the closing text) every frame, identical
  // each time, and writing and sending them again costs far more than comparing them. A window
  // that took this whole source before compares only the rows the source changed since.
  const bool whole =
      rop == SRCCOPY && x == 0 && y == 0 && x1 == 0 && y1 == 0 && w == d.w && h == d.h;
  const bool known = d.window && whole && d.window->lastSrc == s.version && s.rows &&
                     s.rows->size() == static_cast<size_t>(s.h);
  const uint64_t since = known ? d.window->lastSrcVersion : 0;
  // The same plain copy as before, the source untouched since: only destination rows drawn
  // over since then can differ (on the title, the few under its words), the rest are skipped.
  const uint64_t sameAt = rop == SRCCOPY && !d.window && d.px != s.px
                              ? SameCopyAt(d, s, x, y, w, h, x1, y1)
                              : 0;
  if (sameAt && RowsNotNewer(d.rows, d.h, y, h, sameAt)) return;
  const uint64_t next = clock + 1;
  bool changed = false;
  auto mark = [&](int row) {
    if (d.rows) {
      if (d.rows->size() != static_cast<size_t>(d.h)) d.rows->assign(d.h, next);
      (*d.rows)[row] = next;
    }
    changed = true;
  };
  bool overlap = d.px == s.px;
  for (int row = 0; row < h; ++row) {
    // Copy bottom-up when source and destination share a store and the rows could collide.
    int r = (overlap && y > y1) ? h - 1 - row : row;
    if (known && (*s.rows)[y1 + r] <= since) continue;
    if (sameAt && (*d.rows)[y + r] <= sameAt) continue;
    uint32_t* dp = d.px + static_cast<size_t>(y + r) * d.w + x;
    const uint32_t* sp = s.px + static_cast<size_t>(y1 + r) * s.w + x1;
    if (rop == SRCCOPY) {
      if (std::memcmp(dp, sp, static_cast<size_t>(w) * 4) == 0) continue;
      std::memmove(dp, sp, static_cast<size_t>(w) * 4);
    } else if (overlap) {
      for (int i = 0; i < w; ++i) dp[i] = rop == SRCPAINT ? (dp[i] | sp[i]) : (dp[i] & sp[i]);
    } else if (rop == SRCPAINT) {
      Blend(dp, sp, w, [](uint32_t a, uint32_t b) { return a | b; });
    } else {
      Blend(dp, sp, w, [](uint32_t a, uint32_t b) { return a & b; });
    }
    mark(y + r);
  }
  if (changed) *d.version = ++clock;
  if (rop == SRCCOPY && !d.window && d.px != s.px) RememberCopy(d, s, x, y, w, h, x1, y1, clock);
  if (d.window) {
    if (changed) d.window->dirty = true;
    d.window->lastSrc = whole ? s.version : nullptr;
    d.window->lastSrcVersion = whole ? *s.version : 0;
  }
}

}  // namespace platform::raster
