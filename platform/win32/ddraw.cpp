// The DirectDraw stand-in. "The display shows 640x480" is realised without touching the monitor:
// the game's windows become borderless, cover their monitor and show the 640x480 picture
// enlarged by the largest whole factor, centred on black. Screen coordinates become that
// picture's. A mode switch would rearrange the player's desktop and second screens.
#include <algorithm>

#include "platform/win32/internal.h"
//
#include "platform/ddraw.h"

using namespace platform::win32::detail;

namespace platform::ddraw::backend {

bool HasDisplay() {
  return GetSystemMetrics(SM_CMONITORS) >= 1;
}

bool IsWindowHandle(HWND hWnd) {
  return IsWindow(hWnd) != FALSE;
}

bool Enter(int32_t width, int32_t height) {
  // The primary monitor must hold the picture at least once.
  if (GetSystemMetrics(SM_CXSCREEN) < width || GetSystemMetrics(SM_CYSCREEN) < height)
    return false;
  Display& d = TheDisplay();
  d.virtualW = width;
  d.virtualH = height;
  for (FormWindow* w : Forms()) {
    ApplyFullScreen(*w);
    ApplyCursor(*w);
  }
  ApplyClip();
  PresentAll();
  return true;
}

bool Leave(bool) {
  Display& d = TheDisplay();
  if (d.virtualW <= 0) return false;
  d.virtualW = 0;
  d.virtualH = 0;
  for (FormWindow* w : Forms()) {
    const LONG_PTR shown = ::GetWindowLongPtrW(w->hWnd, GWL_STYLE) & WS_VISIBLE;
    ::SetWindowLongPtrW(w->hWnd, GWL_STYLE,
                        (w->style & ~static_cast<LONG_PTR>(WS_VISIBLE)) | shown);
    ::SetWindowPos(w->hWnd, HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ApplyGeometry(*w, 0, 0, false);
    ApplyCursor(*w);
  }
  ApplyClip();
  return true;
}

}  // namespace platform::ddraw::backend
