// What tests reach under the game's API: stand-ins for the window manager and the desktop, and
// what the display is doing. Not for the game; tests include this and link
// zorbilo_platform_testing.
#pragma once

#include <cstdint>

#include "platform/mMain.h"

namespace platform {

// Pretend the window manager draws a frame of these widths around every window (instead of
// asking it); negative values return to the real frame.
void SimulateWindowFrame(int left, int top, int right, int bottom);

// What the display currently shows: 0 when no 640x480 picture is being scaled, else the whole
// factor in use.
int DisplayScale();

#if defined(ZORBILO_BACKEND_SDL)
// A desktop scaled by a whole factor k (GDK_SCALE, or Xft.dpi of 96k or more on X11) shows each
// window k times enlarged, pixels sharp; the game still sees its client area, window and clip
// rectangles and mouse positions in unscaled units, and the screen as the desktop's size / k.
// DesktopScale is the factor in use; SetDesktopScale forces one, 0 finds it again.
int DesktopScale();
void SetDesktopScale(int factor);

// How many times a window's pixels have gone to the screen: a frame equal to the one shown is
// not sent again.
uint64_t PresentCount();
#endif

}  // namespace platform
