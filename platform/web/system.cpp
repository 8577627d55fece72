// What the browser answers for the system beneath SDL (see platform/sdl/system.h). The page
// (web/zorbilo-page.js) is the other side: it writes the font into the file system before the
// program starts, sizes the canvas, and calls the functions exported at the end of this file.
#include <SDL.h>
#include <emscripten.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/sdl/internal.h"
#include "platform/sdl/system.h"
#include "platform/timers.h"

namespace platform::detail {

namespace {

// Where the page puts the game's one font before the program starts.
constexpr const char* kFontFile = "/fonts/ipag.ttf";

bool (*loopStep)(bool) = nullptr;
bool deliveryDue = false;
int cursorScale = 1;

EM_JS(int, InPage, (), {
  return typeof window !== 'undefined' && typeof document !== 'undefined';
});

// The page's own business once the game is over: the files go to storage, and the canvas gives
// way to the "start again" screen.
EM_JS(void, TellPageEnded, (), {
  if (Module.zorbiloEnded) Module.zorbiloEnded();
});

void PageTurn() {
  if (!loopStep) return;
  if (!loopStep(false)) {
    loopStep = nullptr;
    emscripten_cancel_main_loop();
    TellPageEnded();
    return;
  }
  // The next turn when the next timer is due (the timers' 10/30 ms grid), or sooner for input:
  // SDL queues the page's events as they come, and the refresh timer takes them within 10 ms.
  const double wait = platform::timers::MsUntilNextDue(emscripten_get_now(), 100);
  emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, std::max(0, static_cast<int>(wait)));
}

void Deliver(void* fn) {
  deliveryDue = false;
  if (loopStep) reinterpret_cast<void (*)()>(fn)();
}

}  // namespace

uint64_t SystemMilliseconds() { return static_cast<uint64_t>(emscripten_get_now()); }

// A page has no signals; closing or hiding it is handled by zorbilo_close.
void CatchStopSignals(void (*)(int)) {}

void NameWindowClass(const char*) {}

void WatchDisplayConnection(int (*)(void*)) {}

std::string DesktopResources() { return {}; }

int SetUpDisplayWait(SDL_Window*) { return -1; }

bool WaitOnDisplay(int, int) { return true; }

std::string FindFontFile(const char*, bool) {
  struct stat st {};
  return stat(kFontFile, &st) == 0 && S_ISREG(st.st_mode) ? kFontFile : "";
}

// The music is the page's synthesiser's, with the font the page loads.
const char* SystemSoundFont() { return nullptr; }

void RunLoop(bool (*step)(bool wait)) {
  if (!InPage()) {
    // Under node (the test suites) nothing else needs the thread: the loop runs as a desktop's.
    while (step(true)) {
    }
    return;
  }
  loopStep = step;
  // Never returns: main's frame, and the form in it, stay as they are while the page turns it.
  emscripten_set_main_loop(PageTurn, 0, 1);
}

void WakeLoop(void (*deliver)()) {
  // Delivered as soon as the page is free again rather than at the next turn: a piece's end
  // (posted from the audio callback) must restart it before the next audio buffer.
  if (!loopStep || deliveryDue) return;
  deliveryDue = true;
  emscripten_async_call(Deliver, reinterpret_cast<void*>(deliver), 0);
}

int CursorScale(int) { return cursorScale; }

}  // namespace platform::detail

using namespace platform::detail;

extern "C" {

// The page is being hidden or closed: the game closes as by its close button (its record is
// written), at once, so that the page can store the files while it still may.
EMSCRIPTEN_KEEPALIVE void zorbilo_close() {
  if (!loopStep) return;
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  PageTurn();
}

// The canvas's enlargement in CSS pixels, which the cursor pictures follow.
EMSCRIPTEN_KEEPALIVE void zorbilo_set_cursor_scale(int scale) {
  scale = std::clamp(scale, 1, 4);  // browsers refuse cursors over 128 pixels
  if (scale == cursorScale) return;
  cursorScale = scale;
  S().windows.ForEach([](Window& w) { ApplyCursor(w); });
}

}  // extern "C"
