// The header check of wave files: RIFF chunks walked as SDL walks them (the first "fmt " chunk,
// then the first "data" chunk after it; odd chunks padded to even), every size counted in 64
// bits, and the cost of the sound bounded before a byte of it is decoded.
#include "platform/mci_wave.h"

#include <cstring>

namespace platform::mci {

namespace {

constexpr uint16_t kPcm = 1, kMsAdpcm = 2, kFloat = 3, kALaw = 6, kMuLaw = 7, kImaAdpcm = 0x11;
constexpr uint16_t kExtensible = 0xFFFE;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE is a format tag followed by these 14 bytes.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads the "fmt " chunk body; false when it is too short or its sub-format is not one of ours.
bool ReadFormat(const uint8_t* body, uint64_t length, WaveFormat& f) {
  if (length < 16) return false;
  f.tag = U16(body);
  f.channels = U16(body + 2);
  f.rate = U32(body + 4);
  f.blockAlign = U16(body + 12);
  f.bits = U16(body + 14);
  if (f.tag != kExtensible) return true;
  if (length < 40 || U16(body + 16) < 22) return false;
  if (std::memcmp(body + 26, kGuidTail, sizeof kGuidTail) != 0) return false;
  f.tag = U16(body + 24);
  return true;
}

// How the data's bytes make frames, and the bytes per sample the decoder hands out. A block is
// one frame for the plain codings; the ADPCM codecs pack many frames into each block.
struct Layout {
  uint64_t framesPerBlock = 0;
  uint32_t sampleBytes = 0;
  bool adpcm = false;
  bool ok = false;
};

Layout LayoutOf(const WaveFormat& f) {
  Layout l;
  const uint32_t ch = f.channels;
  l.framesPerBlock = 1;
  switch (f.tag) {
    case kPcm:
      if (f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32) return l;
      if (f.blockAlign != ch * f.bits / 8) return l;
      l.sampleBytes = f.bits == 24 ? 4 : f.bits / 8u;  // 24-bit samples come out as 32
      break;
    case kFloat:
      if (f.bits != 32 || f.blockAlign != ch * 4) return l;
      l.sampleBytes = 4;
      break;
    case kALaw:
    case kMuLaw:
      if (f.bits != 8 || f.blockAlign != ch) return l;
      l.sampleBytes = 2;
      break;
    case kMsAdpcm:
    case kImaAdpcm: {
      // Each block starts with a header per channel (7 or 4 bytes) holding one or two samples,
      // then two 4-bit samples a byte.
      const uint32_t header = f.tag == kMsAdpcm ? 7 : 4;
      if (f.bits != 4 || f.blockAlign <= header * ch) return l;
      l.framesPerBlock = (f.tag == kMsAdpcm ? 2 : 1) + (f.blockAlign - header * ch) * 2u / ch;
      l.adpcm = true;
      l.sampleBytes = 2;
      break;
    }
    default:
      return l;
  }
  l.ok = true;
  return l;
}

}  // namespace

std::optional<WaveFormat> CheckWave(const uint8_t* data, size_t size, int mixerRate,
                                    int mixerFrameBytes) {
  if (!data || size < 12 || std::memcmp(data, "RIFF", 4) != 0 ||
      std::memcmp(data + 8, "WAVE", 4) != 0)
    return std::nullopt;
  WaveFormat f;
  bool haveFormat = false, haveData = false;
  uint64_t held = 0;  // of the data, the bytes the file really holds
  for (uint64_t at = 12; at + 8 <= size;) {
    const uint8_t* head = data + at;
    const uint64_t length = U32(head + 4);
    const uint64_t body = at + 8;
    // The decoder allocates what these two chunks say they hold before it reads them: the
    // format must be in the file, and the data's stated size is what the bounds below judge
    // (a file cut short still plays what it holds).
    if (std::memcmp(head, "fmt ", 4) == 0 && !haveFormat) {
      if (length > size - body || !ReadFormat(data + body, length, f)) return std::nullopt;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) return std::nullopt;  // the decoder needs the format first
      f.dataBytes = length;
      held = length < size - body ? length : size - body;
      haveData = true;
      break;
    }
    at = body + length + (length & 1);
  }
  if (!haveData) return std::nullopt;
  if (f.channels < 1 || f.channels > 2) return std::nullopt;
  if (f.rate < kWaveMinRate || f.rate > kWaveMaxRate) return std::nullopt;
  const Layout l = LayoutOf(f);
  if (!l.ok) return std::nullopt;
  // A cut last frame of the plain codings is dropped; a cut ADPCM block counts whole.
  f.frames = l.adpcm ? (f.dataBytes + f.blockAlign - 1) / f.blockAlign * l.framesPerBlock
                     : f.dataBytes / f.blockAlign;

  // Checked in this order so that no product below can overflow: frames is then at most 2^26.
  if (f.frames > kWaveMaxDecodedBytes / (f.channels * l.sampleBytes)) return std::nullopt;
  const uint64_t rate =
      mixerRate > 0 && mixerRate <= 384000 ? static_cast<uint64_t>(mixerRate) : 44100;
  const uint64_t frameBytes =
      mixerFrameBytes > 0 && mixerFrameBytes <= 64 ? static_cast<uint64_t>(mixerFrameBytes) : 4;
  const uint64_t converted = (f.frames * rate + f.rate - 1) / f.rate * frameBytes;
  if (converted > kWaveMaxConvertedBytes) return std::nullopt;

  // At least one frame must come out at the mixer's rate: SDL_mixer 2.8 shrinks the converted
  // buffer to its length, and a length of 0 frees it and leaves the chunk holding the freed
  // pointer, which is freed again with the chunk. Only whole frames (whole ADPCM blocks) of
  // what the file holds count here; the converter rounds its frame count down.
  const uint64_t heldFrames = held / f.blockAlign * l.framesPerBlock;
  if (heldFrames * rate < f.rate) return std::nullopt;
  return f;
}

}  // namespace platform::mci
