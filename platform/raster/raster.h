// The software raster: 32-bit pixel stores and block transfers between them, with the skips that
// let a still screen cost next to nothing. Plain C++, for every back end that draws its own pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/mMain.h"

namespace platform::raster {

// Pixels are 0x00RRGGBB words; the top byte carries alpha only for pictures decoded from icons.
struct Bitmap {
  int w = 0;
  int h = 0;
  std::vector<uint32_t> px;
  bool hasAlpha = false;
  uint64_t version = 0;  // a new value at every write (from one clock for all surfaces)
  // The version at which each row last changed; empty while unknown (every row counts as new).
  // A window that took this whole bitmap at version v need not look at rows not newer than v.
  std::vector<uint64_t> rowVersion;
  int selectedIn = 0;    // DCs that hold it; a selected bitmap cannot be deleted
};

// What a window keeps of the pixels it shows, so that a transfer into it knows what is new.
struct Shown {
  bool dirty = false;  // drawn into since it was last presented
  // what was last copied into it whole, to skip copies of a frame already there
  const void* lastSrc = nullptr;
  uint64_t lastSrcVersion = 0;
};

// A drawable view of a DC: its pixel store and size, or nothing.
struct Surface {
  uint32_t* px = nullptr;
  int w = 0;
  int h = 0;
  uint64_t* version = nullptr;
  Shown* window = nullptr;                // set when drawing into it must be presented
  std::vector<uint64_t>* rows = nullptr;  // a bitmap's row versions
};

// BitBlt between two surfaces (SRCCOPY, SRCPAINT, SRCAND), clipped to both. Versions come from
// clock, one for all surfaces. Rows whose pixels do not change are not written, a window is
// marked dirty only when its pixels change, and a copy known to change nothing is skipped.
void Transfer(const Surface& d, const Surface& s, int x, int y, int cx, int cy, int x1, int y1,
              DWORD rop, uint64_t& clock);

}  // namespace platform::raster
