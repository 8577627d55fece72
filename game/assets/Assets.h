// The pictures built into the executable (see game/CMakeLists.txt).
#pragma once

#include <cstddef>

namespace assets {
extern const unsigned char sheet_bmp[];
extern const std::size_t sheet_bmp_size;
extern const unsigned char swat1_ico[];
extern const std::size_t swat1_ico_size;
extern const unsigned char swat2_ico[];
extern const std::size_t swat2_ico_size;
}  // namespace assets
