// The DirectDraw stand-in. "The display shows 640x480" is realised without touching the monitor:
// the game's windows become borderless, cover their monitor and show the 640x480 picture
// enlarged by the largest whole factor, centred on black. Screen coordinates become that
// picture's. A mode switch would rearrange the player's desktop and second screens.
#include <algorithm>

#include "platform/win32/internal.h"

using namespace platform::win32::detail;

namespace platform {

namespace {
constexpr int32_t kFailed = 1;
}

std::shared_ptr<DirectDraw7> DirectX7::DirectDrawCreate(const std::string& guid) {
  if (!guid.empty() || GetSystemMetrics(SM_CMONITORS) < 1) return nullptr;
  return std::make_shared<DirectDraw7>();
}

DirectDraw7::~DirectDraw7() {
  // Dropping the object gives the desktop back, as releasing a real one would.
  if (changed_) RestoreDisplayMode();
}

int32_t DirectDraw7::SetCooperativeLevel(HWND hWnd, int32_t flags) {
  if (hWnd && !IsWindow(hWnd)) return kFailed;
  if (flags & ~(DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | 8 /*NORMAL*/))
    return kFailed;
  return 0;
}

int32_t DirectDraw7::SetDisplayMode(int32_t width, int32_t height, int32_t bpp, int32_t refreshRate,
                                    int32_t flags) {
  (void)refreshRate;
  (void)flags;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return kFailed;
  if (bpp != 0 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return kFailed;
  // The primary monitor must hold the picture at least once.
  if (GetSystemMetrics(SM_CXSCREEN) < width || GetSystemMetrics(SM_CYSCREEN) < height)
    return kFailed;
  Display& d = TheDisplay();
  d.virtualW = width;
  d.virtualH = height;
  changed_ = true;
  for (FormWindow* w : Forms()) {
    ApplyFullScreen(*w);
    ApplyCursor(*w);
  }
  ApplyClip();
  PresentAll();
  return 0;
}

int32_t DirectDraw7::RestoreDisplayMode() {
  Display& d = TheDisplay();
  if (d.virtualW <= 0) return 0;
  d.virtualW = 0;
  d.virtualH = 0;
  changed_ = false;
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
  return 0;
}

}  // namespace platform
