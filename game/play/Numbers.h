// The numeric conventions of play: floor, round (nearest, ties to even) and saturating sums, all
// landing in signed 32-bit integers. Out-of-range or NaN values are pinned instead of being
// converted with undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace play {

inline int32_t ToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

// Nearest integer, ties to even (the default rounding mode).
inline int32_t Round(double v) {
  return ToInt32(std::nearbyint(v));
}

inline int32_t Floor(double v) {
  return ToInt32(std::floor(v));
}

inline int32_t AddSat(int32_t a, int64_t b) {
  int64_t r = static_cast<int64_t>(a) + b;
  if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (r < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

}  // namespace play
