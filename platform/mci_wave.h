// Reading a wave file's header ourselves, before any decoder sees the file: SDL's converter
// corrupts its heap on absurd sample rates, and a header may promise hours of sound or
// gigabytes after conversion. Only what a sound effect can be is let through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform::mci {

// What the header says. tag is the coding: 1 PCM, 2 MS ADPCM, 3 float, 6 A-law, 7 mu-law,
// 0x11 IMA ADPCM (for WAVE_FORMAT_EXTENSIBLE, its sub-format).
struct WaveFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;        // frames per second
  uint16_t bits = 0;        // per sample, as stored
  uint16_t blockAlign = 0;  // bytes per frame, or per block of the ADPCM codecs
  uint64_t dataBytes = 0;   // of the first data chunk, as its header states it
  uint64_t frames = 0;      // at most this many frames decode from it
};

// Bounds on one sound: the mixer holds it whole, converted to its own rate.
inline constexpr uint32_t kWaveMinRate = 4000;
inline constexpr uint32_t kWaveMaxRate = 192000;
inline constexpr uint64_t kWaveMaxDecodedBytes = uint64_t{64} << 20;    // as the decoder gives it
inline constexpr uint64_t kWaveMaxConvertedBytes = uint64_t{32} << 20;  // at the mixer's format

// The format of a RIFF WAVE file of mono or stereo PCM (8, 16, 24, 32 bits), 32-bit float,
// A-law, mu-law, or 4-bit MS or IMA ADPCM (also when dressed as WAVE_FORMAT_EXTENSIBLE), at
// kWaveMinRate..kWaveMaxRate, whose sound fits the bounds above once converted to mixerRate
// frames per second of mixerFrameBytes each, and of which the file holds enough to make at least
// one frame at mixerRate. Empty for anything else, including a header that contradicts itself.
// data is the whole file.
std::optional<WaveFormat> CheckWave(const uint8_t* data, size_t size, int mixerRate,
                                    int mixerFrameBytes);

}  // namespace platform::mci
