// What the DirectDraw stand-in (ddraw.cpp) asks of each back end.
#pragma once

#include <cstdint>

#include "platform/mMain.h"

namespace platform::ddraw::backend {
// Whether there is a display to show the game on at all.
bool HasDisplay();
// Whether hWnd is a window of this process.
bool IsWindowHandle(HWND hWnd);
// Shows the game's windows full screen with a width x height picture; false (and nothing
// changed) where the display cannot hold it.
bool Enter(int32_t width, int32_t height);
// Gives the desktop back; false when it was not taken. While releasing, the form that owned the
// display may be going: nothing is made again from its pictures.
bool Leave(bool releasing);
}  // namespace platform::ddraw::backend
