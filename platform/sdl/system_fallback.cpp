// The plain answers for an SDL system without Linux's additions (see system.h): SDL's own clock
// and wait, no stop signals, no desktop resources, no font or sound font at a known place. The
// game runs on them; it only knows less about the desktop.
#include <cstdint>
#include <string>

#include "platform/sdl/system.h"

namespace platform::detail {

uint64_t SystemMilliseconds() { return SDL_GetTicks64(); }

void CatchStopSignals(void (*)(int)) {}

void NameWindowClass(const char*) {}

void WatchDisplayConnection(int (*)(void*)) {}

std::string DesktopResources() { return {}; }

int SetUpDisplayWait(SDL_Window*) { return -1; }

bool WaitOnDisplay(int, int) { return true; }

std::string FindFontFile(const char*, bool) { return {}; }

const char* SystemSoundFont() { return nullptr; }

}  // namespace platform::detail
