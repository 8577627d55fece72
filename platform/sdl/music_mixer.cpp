// The desktops' music stream: SDL_mixer's own, each piece a Mix_Music with its own FluidSynth
// (see music.h). Loading a piece builds a synthesiser and reads its sound font, from a tenth of a
// second to two seconds, so loads go to a helper thread of their own.
#include <SDL.h>
#include <SDL_mixer.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/sdl/music.h"
#include "platform/sdl/system.h"

namespace platform::mci::music {

namespace {

// FluidSynth inside SDL_mixer 2.6 runs at gain 1.2 for full music volume, six times the
// synthesiser's own 0.2: General MIDI pieces at ordinary channel volumes clip, and the louder
// fonts (FluidR3) by ten decibels. A music volume of 64 is gain 0.6, which leaves the pieces
// their own balance and the effects room on top with either font.
constexpr int kMusicVolume = 64;

Mix_Music* MusicOf(Piece* piece) { return reinterpret_cast<Mix_Music*>(piece); }

// SDL_mixer retries opening its MIDI decoders inside every load, and one of them keeps global
// state: two loads at once (the helper's and a first open) must never overlap.
std::mutex& LoadMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}

struct Helper {
  SDL_Thread* thread = nullptr;
  std::mutex m;
  std::condition_variable cv;
  std::deque<std::function<void()>> work;
  bool stopped = false;
};

// Never destroyed: the helper may still be inside a load when the process ends.
Helper& H() {
  static Helper* h = new Helper();
  return *h;
}

// An SDL thread, not a std::thread: SDL frees its per-thread error buffer only for its own.
int HelperLoop(void*) {
  Helper& h = H();
  while (true) {
    std::function<void()> next;
    {
      std::unique_lock<std::mutex> lock(h.m);
      h.cv.wait(lock, [&] { return h.stopped || !h.work.empty(); });
      if (h.stopped) return 0;
      next = std::move(h.work.front());
      h.work.pop_front();
    }
    next();
  }
}

}  // namespace

void BeforeOpen() {
  // The font the user chose, else the system's General MIDI font. Named explicitly either way:
  // left to itself, Debian's SDL_mixer prefers its own default path over SDL_SOUNDFONTS.
  const char* chosen = SDL_getenv("SDL_SOUNDFONTS");
  if (chosen && *chosen)
    Mix_SetSoundFonts(chosen);
  else if (const char* font = platform::detail::SystemSoundFont())
    Mix_SetSoundFonts(font);
  Mix_Init(MIX_INIT_MID);
}

void AfterOpen(int) { Mix_VolumeMusic(kMusicVolume); }

Piece* Load(const Bytes& bytes) {
  SDL_RWops* rw = SDL_RWFromConstMem(bytes->data(), static_cast<int>(bytes->size()));
  if (!rw) return nullptr;
  std::lock_guard<std::mutex> lock(LoadMutex());
  return reinterpret_cast<Piece*>(Mix_LoadMUSType_RW(rw, MUS_MID, SDL_TRUE));
}

void Free(Piece* piece) {
  if (piece) Mix_FreeMusic(MusicOf(piece));
}

int Play(Piece* piece) { return Mix_PlayMusic(MusicOf(piece), 0); }

int Seek(double seconds) { return Mix_SetMusicPosition(seconds); }

void Halt() { Mix_HaltMusic(); }

bool Schedule(std::function<void()> work) {
  Helper& h = H();
  {
    std::lock_guard<std::mutex> lock(h.m);
    if (h.stopped) return false;
  }
  if (!h.thread) h.thread = SDL_CreateThread(HelperLoop, "zorbilo-music", nullptr);
  if (!h.thread) return false;
  {
    std::lock_guard<std::mutex> lock(h.m);
    h.work.push_back(std::move(work));
  }
  h.cv.notify_one();
  return true;
}

void StopScheduling() {
  Helper& h = H();
  {
    std::lock_guard<std::mutex> lock(h.m);
    h.stopped = true;
    h.work.clear();
  }
  h.cv.notify_all();
  if (h.thread) SDL_DetachThread(std::exchange(h.thread, nullptr));
}

}  // namespace platform::mci::music
