// Fuzzes what is inside the sound and music files: the input's first byte picks a wave file or
// a MIDI file, the rest is the file. It goes through the readers of our own (the wave header
// check, the MIDI length reader) and then through open, play, stop and close, where SDL's
// decoders and the synthesiser see whatever the checks let through. Invariant: nothing
// crashes, no sanitizer complains, and an open that succeeds can be played and closed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/mMain.h"
#include "platform/mci_midi.h"
#include "platform/mci_wave.h"
#include "tests/media_files.h"

namespace {

const media_files::TempDir& Dir() {
  static const media_files::TempDir dir;
  if (dir.path().empty()) std::abort();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::Form form;  // a window for the notifications
  if (size < 1) return 0;
  const bool midi = data[0] & 1;
  const std::vector<uint8_t> file(data + 1, data + size);

  if (midi) {
    if (auto seconds = platform::mci::MidiLengthSeconds(file.data(), file.size()))
      if (!(*seconds >= 0)) std::abort();  // a length is never negative, nor NaN
  } else if (auto f = platform::mci::CheckWave(file.data(), file.size(), 44100, 4)) {
    if (f->channels < 1 || f->channels > 2 || f->rate < platform::mci::kWaveMinRate ||
        f->rate > platform::mci::kWaveMaxRate || f->dataBytes > platform::mci::kWaveMaxDecodedBytes)
      std::abort();
  }

  const std::string path = Dir().Write(midi ? "f.mid" : "f.wav", file);
  if (mciSendStringA(("open \"" + path + "\" alias f").c_str(), nullptr, 0, nullptr) == 0) {
    if (mciSendStringA("play f from 0 notify", nullptr, 0, form.hWnd) == 0) platform::DoEvents();
    mciSendStringA("stop f", nullptr, 0, nullptr);
    if (mciSendStringA("close f", nullptr, 0, nullptr) != 0) std::abort();
  }
  platform::DoEvents();
  return 0;
}
