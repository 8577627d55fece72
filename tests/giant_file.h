// A file far larger than any profile: 64 GiB, sparse, whose size alone would exhaust memory if
// anything tried to hold it. The Windows build grows one to a little over 4 GiB instead, still
// past any 32-bit size: NTFS reserves the disk for a file grown that way, and Wine first checks
// that the disk has that much free.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace giant_file {

#ifdef _WIN32
constexpr std::uintmax_t kSize = (std::uintmax_t{4} << 30) + (64u << 10);
#else
constexpr std::uintmax_t kSize = std::uintmax_t{64} << 30;
#endif

// Grows path to kSize; false, with the system's reason, where this machine cannot.
inline bool Grow(const std::filesystem::path& path, std::string& why) {
  std::error_code ec;
#ifdef __EMSCRIPTEN__
  // emscripten 3.1.6 hands a truncation only the low 32 bits of its length (64 GiB would come
  // out empty): under node the file is grown by node itself.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdollar-in-identifier-extension"  // EM_ASM's arguments
  if (EM_ASM_INT({
        try {
          require('fs').truncateSync(UTF8ToString($0), $1);
          return 0;
        } catch (e) {
          return 1;
        }
      }, path.c_str(), static_cast<double>(kSize)) != 0)
    ec = std::make_error_code(std::errc::io_error);
#pragma clang diagnostic pop
#else
  std::filesystem::resize_file(path, kSize, ec);
#endif
  if (ec) why = "cannot grow a file to " + std::to_string(kSize >> 20) + " MiB here: " + ec.message();
  // A file system that quietly made it some other size would leave the case testing nothing.
  else if (const auto size = std::filesystem::file_size(path, ec); ec || size != kSize)
    why = "the file system made a file of " + std::to_string(kSize >> 20) + " MiB " +
          (ec ? "unreadable: " + ec.message() : std::to_string(size) + " bytes long");
  return why.empty();
}

}  // namespace giant_file
