// Wave files of any header, made on the spot: what a sound effect can be and what it must not
// be, for the header reader's cases and the devices' cases alike.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace media_files {

// A wave file: the format chunk's fields, its data, and ways to make its header lie.
struct Wave {
  uint16_t tag = 1, channels = 1, blockAlign = 2, bits = 16;
  uint32_t rate = 22050;
  std::vector<uint8_t> extension;  // after the 16 bytes of the basic format
  uint32_t dataBytes = 2000;
  std::optional<uint32_t> stated;  // the data chunk's size field, when it lies
  std::vector<uint8_t> before;     // whole chunks between "fmt " and "data"
  bool dataFirst = false;

  std::vector<uint8_t> File() const {
    std::vector<uint8_t> fmt;
    auto put = [](std::vector<uint8_t>& v, uint64_t x, int n) {
      for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    put(fmt, tag, 2), put(fmt, channels, 2), put(fmt, rate, 4);
    put(fmt, uint64_t{rate} * blockAlign, 4), put(fmt, blockAlign, 2), put(fmt, bits, 2);
    fmt.insert(fmt.end(), extension.begin(), extension.end());
    std::vector<uint8_t> fmtChunk = {'f', 'm', 't', ' '}, dataChunk = {'d', 'a', 't', 'a'};
    put(fmtChunk, fmt.size(), 4);
    fmtChunk.insert(fmtChunk.end(), fmt.begin(), fmt.end());
    put(dataChunk, stated.value_or(dataBytes), 4);
    dataChunk.insert(dataChunk.end(), dataBytes, 0x80);
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    const auto& first = dataFirst ? dataChunk : fmtChunk;
    const auto& second = dataFirst ? fmtChunk : dataChunk;
    body.insert(body.end(), first.begin(), first.end());
    body.insert(body.end(), before.begin(), before.end());
    body.insert(body.end(), second.begin(), second.end());
    std::vector<uint8_t> f = {'R', 'I', 'F', 'F'};
    put(f, body.size(), 4);
    f.insert(f.end(), body.begin(), body.end());
    return f;
  }
};

// The sub-format of WAVE_FORMAT_EXTENSIBLE: 22 bytes after the size of the extension.
inline std::vector<uint8_t> Extensible(uint16_t subTag, uint8_t lastGuidByte = 0x71) {
  std::vector<uint8_t> e = {
      22, 0, 16, 0, 4, 0, 0, 0, static_cast<uint8_t>(subTag), static_cast<uint8_t>(subTag >> 8)};
  const uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, lastGuidByte};
  e.insert(e.end(), tail, tail + 14);
  return e;
}


inline Wave Pcm(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t frames) {
  Wave w;
  w.rate = rate, w.channels = channels, w.bits = bits;
  w.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  w.dataBytes = frames * w.blockAlign;
  return w;
}

}  // namespace media_files
