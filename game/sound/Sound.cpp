// The sound module: effect channels over named multimedia aliases with rotating layers, and the
// looping background music with the window hook that hears its end.
//
// Every command's result is ignored on purpose: a missing or broken file only makes the game
// quieter. No routine lets an exception out; the game's handlers go on with their next statement.
#include "game/sound/Sound.h"

#include <algorithm>

HWND hookWnd = nullptr;
WNDPROC prevWndProc = nullptr;
int32_t soundCount = 0;
std::array<std::string, kSoundSlots + 1> soundFile;
std::array<int32_t, kSoundSlots + 1> soundTopLayer{};
std::array<int32_t, kSoundSlots + 1> soundLastLayer{};

namespace {

constexpr int32_t kMaxLayer = 10;

void Send(const std::string& command, HWND callback = nullptr) {
  mciSendStringA(command.c_str(), nullptr, 0, callback);
}

// "sound_3" for a plain channel, "sound_2_0" for layer 0 of channel 2.
std::string Alias(int32_t id) {
  return "sound_" + std::to_string(id);
}
std::string Alias(int32_t id, int32_t layer) {
  return Alias(id) + "_" + std::to_string(layer);
}

void Open(const std::string& file, const std::string& alias) {
  Send("open \"" + file + "\" alias " + alias);
}
void Stop(const std::string& alias) {
  Send("stop " + alias);
}
void Play(const std::string& alias) {
  Send("play " + alias + " from 0");
}
void Close(const std::string& alias) {
  Send("close " + alias);
}

}  // namespace

int32_t FindChannel(const std::string& name) {
  try {
    int32_t last = std::clamp(soundCount, int32_t{0}, kSoundSlots);
    for (int32_t id = 1; id <= last; ++id)
      if (soundFile[static_cast<size_t>(id)] == name) return id;
  } catch (...) {
  }
  return 0;
}

bool IsBadChannel(int32_t id) {
  return id <= 0 || id > soundCount || id > kSoundSlots ||
         soundFile[static_cast<size_t>(id)].empty();
}

int32_t SoundOpen(const std::string& file, int32_t topLayer) {
  try {
    if (!hookWnd) return 0;
    if (file.empty()) return 0;
    if (FindChannel(file) != 0) return 0;
    int32_t id = FindChannel("");
    if (id == 0) {
      if (soundCount >= kSoundSlots) return 0;
      id = ++soundCount;
    }
    // A negative top layer would record layers that were never opened: it means one plain alias.
    topLayer = std::clamp(topLayer, int32_t{0}, kMaxLayer);
    if (topLayer == 0) {
      Open(file, Alias(id));
    } else {
      for (int32_t k = 0; k <= topLayer; ++k) Open(file, Alias(id, k));
    }
    auto slot = static_cast<size_t>(id);
    soundFile[slot] = file;
    soundTopLayer[slot] = topLayer;
    soundLastLayer[slot] = topLayer;
    return id;
  } catch (...) {
    return 0;
  }
}

int32_t SoundPlay(int32_t id) {
  try {
    if (IsBadChannel(id)) return 0;
    auto slot = static_cast<size_t>(id);
    int32_t top = soundTopLayer[slot];
    if (top == 0) {
      Stop(Alias(id));
      Play(Alias(id));
    } else {
      int32_t& last = soundLastLayer[slot];
      last = last < top ? last + 1 : 0;
      Stop(Alias(id, last));
      Play(Alias(id, last));
    }
    return id;
  } catch (...) {
    return 0;
  }
}

int32_t SoundClose(int32_t id) {
  try {
    if (IsBadChannel(id)) return 0;
    auto slot = static_cast<size_t>(id);
    int32_t top = soundTopLayer[slot];
    if (top == 0) {
      Stop(Alias(id));
      Close(Alias(id));
    } else {
      for (int32_t k = 0; k <= top; ++k) {
        Stop(Alias(id, k));
        Close(Alias(id, k));
      }
    }
    soundFile[slot].clear();
    soundTopLayer[slot] = 0;
    return id;
  } catch (...) {
    return 0;
  }
}

void SoundInit(HWND window) {
  try {
    if (hookWnd) return;
    hookWnd = window;
    prevWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&SoundWndProc)));
    soundCount = 0;
    for (std::string& f : soundFile) f.clear();
  } catch (...) {
  }
}

LRESULT SoundWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == MM_MCINOTIFY && wParam == MCI_NOTIFY_SUCCESSFUL) MusicReplay();
    if (message == WM_QUIT) SoundTerm();
  } catch (...) {
  }
  // Were we ever our own predecessor, passing the message on would never end.
  if (prevWndProc == &SoundWndProc) return 0;
  return CallWindowProcA(prevWndProc, window, message, wParam, lParam);
}

void SoundTerm() {
  try {
    if (!hookWnd) return;
    for (int32_t id = 1; id <= kSoundSlots; ++id) SoundClose(id);
    MusicStop();
    SetWindowLongA(hookWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(prevWndProc));
    hookWnd = nullptr;
  } catch (...) {
  }
}

void MusicPlay(const std::string& file) {
  try {
    if (!hookWnd) return;
    MusicStop();
    if (file.empty()) return;
    Send("open \"" + file + "\" alias sound_bgm");
    Send("play sound_bgm from 0 notify", hookWnd);
  } catch (...) {
  }
}

void MusicReplay() {
  try {
    Send("stop sound_bgm");
    Send("play sound_bgm from 0 notify", hookWnd);
  } catch (...) {
  }
}

void MusicStop() {
  try {
    Send("stop sound_bgm");
    Send("close sound_bgm");
  } catch (...) {
  }
}
