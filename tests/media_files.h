// Small sound and music files made on the spot, for the tests and benchmarks of the multimedia
// commands and the sound module, and a temporary folder to put them in.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace media_files {

// A 16-bit PCM wave of `seconds`, a saw tooth on every channel.
inline std::vector<uint8_t> MakeWav(double seconds, int rate = 22050, int channels = 1) {
  const auto frames = static_cast<uint32_t>(seconds * rate);
  const auto frameBytes = static_cast<uint32_t>(2 * channels);
  std::vector<uint8_t> b(44 + frames * frameBytes, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
  std::memcpy(&b[0], "RIFF", 4);
  put32(4, static_cast<uint32_t>(b.size() - 8));
  std::memcpy(&b[8], "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, static_cast<uint16_t>(channels));
  put32(24, static_cast<uint32_t>(rate));
  put32(28, static_cast<uint32_t>(rate) * frameBytes);
  put16(32, static_cast<uint16_t>(frameBytes));
  put16(34, 16);
  std::memcpy(&b[36], "data", 4);
  put32(40, frames * frameBytes);
  for (uint32_t i = 0; i < frames * static_cast<uint32_t>(channels); ++i)
    put16(44 + i * 2, static_cast<uint16_t>(static_cast<int16_t>((i % 50) * 300 - 7500)));
  return b;
}

// Builds a Standard MIDI File track by track.
struct Midi {
  std::vector<std::vector<uint8_t>> tracks;
  uint16_t format = 0;
  uint16_t division = 96;

  Midi& Track() {
    tracks.emplace_back();
    return *this;
  }
  Midi& Delta(uint32_t v) {
    uint8_t buf[5];
    int n = 0;
    buf[n++] = v & 0x7F;
    while (v >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
    while (n) tracks.back().push_back(buf[--n]);
    return *this;
  }
  Midi& Bytes(std::initializer_list<uint8_t> b) {
    tracks.back().insert(tracks.back().end(), b);
    return *this;
  }
  Midi& Tempo(uint32_t delta, uint32_t usPerQuarter) {
    return Delta(delta).Bytes({0xFF, 0x51, 3, static_cast<uint8_t>(usPerQuarter >> 16),
                               static_cast<uint8_t>(usPerQuarter >> 8),
                               static_cast<uint8_t>(usPerQuarter)});
  }
  Midi& End(uint32_t delta = 0) { return Delta(delta).Bytes({0xFF, 0x2F, 0}); }
  std::vector<uint8_t> File() const {
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format), 0,
                              static_cast<uint8_t>(tracks.size()),
                              static_cast<uint8_t>(division >> 8),
                              static_cast<uint8_t>(division)};
    for (const auto& t : tracks) {
      auto n = static_cast<uint32_t>(t.size());
      f.insert(f.end(),
               {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
      f.insert(f.end(), t.begin(), t.end());
    }
    return f;
  }
};

// A short tune: `notes` quarter notes at 120 bpm and 96 ticks per quarter, 0.5 s each.
inline std::vector<uint8_t> Tune(int notes) {
  Midi m;
  m.Track().Tempo(0, 500000).Delta(0).Bytes({0xC0, 0});
  for (int i = 0; i < notes; ++i)
    m.Delta(0)
        .Bytes({0x90, static_cast<uint8_t>(60 + i), 100})
        .Delta(96)
        .Bytes({0x80, static_cast<uint8_t>(60 + i), 0});
  m.End();
  return m.File();
}

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  // Under $TMPDIR when it is set, so that a caller can have everything cleared at once.
  TempDir() {
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / "zorbilo-media-XXXXXX").string();
    path_ = !ec && mkdtemp(tmpl.data()) ? tmpl : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  std::string Write(const std::string& name, const std::string& text) const {
    return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace media_files
