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
#include "tests/media_files.h"

namespace {

std::string Dir() {
  static const media_files::TempDir dir;
  static const bool made = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (dir.path().empty()) std::abort();
    dir.Write("a.wav", media_files::MakeWav(0.05));
    dir.Write("m.mid", media_files::Tune(1));
    dir.Write("g.wav", std::string("RIFF garbage that is no wave"));
    return true;
  }();
  (void)made;
  return dir.path();
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
