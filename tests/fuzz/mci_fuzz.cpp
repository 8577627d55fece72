// Fuzzes the multimedia command interpreter with arbitrary command texts, one per line, against
// a few real files (a short sound, a short piece of music, garbage). Invariant: nothing crashes
// and no sanitizer complains; every alias the input opened is closed again.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/mMain.h"

namespace {

std::string Dir() {
  static std::string d = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    char dir[] = "/tmp/zorbilo-mci-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    std::string p(dir);
    // 0.05 s of 22.05 kHz mono silence-ish tone.
    std::vector<uint8_t> wav(44 + 2205 * 2, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&wav[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&wav[at], &v, 2); };
    std::memcpy(&wav[0], "RIFF", 4);
    put32(4, static_cast<uint32_t>(wav.size() - 8));
    std::memcpy(&wav[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 22050);
    put32(28, 44100);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(&wav[36], "data", 4);
    put32(40, 2205 * 2);
    for (size_t i = 0; i < 2205; ++i) put16(44 + i * 2, static_cast<uint16_t>((i % 50) * 300));
    std::ofstream(p + "/a.wav", std::ios::binary).write(reinterpret_cast<char*>(wav.data()), wav.size());
    // One quarter note at 120 bpm, then the end of the track.
    const uint8_t mid[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k',
                           0, 0, 0, 12, 0, 0x90, 60, 100, 96, 0x80, 60, 0, 0, 0xFF, 0x2F, 0};
    std::ofstream(p + "/m.mid", std::ios::binary).write(reinterpret_cast<const char*>(mid), sizeof mid);
    std::ofstream(p + "/g.wav", std::ios::binary) << "RIFF garbage that is no wave";
    return p;
  }();
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::Form form;  // a window for the notifications
  std::string dir = Dir();
  std::string text(reinterpret_cast<const char*>(data), size);
  // "@" stands for the folder of the test files, so the fuzzer can reach them.
  for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir);
  std::set<std::string> aliases;
  size_t start = 0;
  int lines = 0;
  while (start <= text.size() && lines++ < 16) {
    size_t nl = text.find('\n', start);
    std::string cmd = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    size_t a = cmd.find("alias ");
    if (a != std::string::npos) aliases.insert(cmd.substr(a + 6, 32));
    mciSendStringA(cmd.c_str(), nullptr, 0, (size & 1) ? form.hWnd : nullptr);
    char reply[16];
    mciSendStringA(cmd.c_str(), reply, sizeof reply, nullptr);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  for (const std::string& alias : aliases) mciSendStringA(("close " + alias).c_str(), nullptr, 0, nullptr);
  platform::DoEvents();
  return 0;
}
