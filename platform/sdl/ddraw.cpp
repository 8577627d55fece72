// The DirectDraw stand-in. "The display shows 640x480" is realised without touching the monitor:
// the game's windows go desktop-sized full screen and show their 640x480 picture scaled by the
// largest whole factor, centred on black. Screen coordinates become that 640x480 picture's.
#include <algorithm>

#include "platform/sdl/internal.h"

namespace platform::detail {

void ApplyVirtualGeometry(Window& w) {
  if (!w.sdl || S().virtualW <= 0) return;
  int display = std::max(0, SDL_GetWindowDisplayIndex(w.sdl));
  SDL_Rect b;
  if (SDL_GetDisplayBounds(display, &b) != 0) return;
  SDL_SetWindowBordered(w.sdl, SDL_FALSE);
  SDL_SetWindowPosition(w.sdl, b.x, b.y);
  SDL_SetWindowSize(w.sdl, b.w, b.h);
  w.dirty = true;
}

}  // namespace platform::detail

using namespace platform::detail;

namespace platform {

namespace {
int32_t kFailed = 1;
// Set while a dropped object gives the desktop back: the form that owned it is being torn down
// and its cursor pictures may already be gone, so the cursors are not made again from them.
bool releasing = false;
}

std::shared_ptr<DirectDraw7> DirectX7::DirectDrawCreate(const std::string& guid) {
  if (!guid.empty() || !EnsureVideo() || SDL_GetNumVideoDisplays() < 1) return nullptr;
  return std::make_shared<DirectDraw7>();
}

DirectDraw7::~DirectDraw7() {
  // Dropping the object gives the desktop back, as releasing a real one would.
  releasing = true;
  if (changed_) RestoreDisplayMode();
  releasing = false;
}

int32_t DirectDraw7::SetCooperativeLevel(HWND hWnd, int32_t flags) {
  if (hWnd && !GetWindow(hWnd)) return kFailed;
  if (flags & ~(DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | 8 /*NORMAL*/)) return kFailed;
  return 0;
}

int32_t DirectDraw7::SetDisplayMode(int32_t width, int32_t height, int32_t bpp, int32_t refreshRate,
                                    int32_t flags) {
  (void)refreshRate;
  (void)flags;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return kFailed;
  if (bpp != 0 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return kFailed;
  SDL_DisplayMode desk;
  if (SDL_GetDesktopDisplayMode(0, &desk) != 0 || desk.w < width || desk.h < height)
    return kFailed;
  State& st = S();
  bool ok = true;
  st.virtualW = width;
  st.virtualH = height;
  st.windows.ForEach([&](Window& w) {
    if (!w.sdl) return;
    ApplyVirtualGeometry(w);
    if (SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) ok = false;
  });
  if (!ok) {
    st.windows.ForEach([&](Window& w) {
      if (w.sdl) SDL_SetWindowFullscreen(w.sdl, 0);
    });
    st.virtualW = 0;
    st.virtualH = 0;
    return kFailed;
  }
  changed_ = true;
  st.windows.ForEach([](Window& w) {
    w.dirty = true;
    ApplyCursor(w);
  });
  ApplyClip();
  return 0;
}

int32_t DirectDraw7::RestoreDisplayMode() {
  State& st = S();
  if (st.virtualW <= 0) return 0;
  st.virtualW = 0;
  st.virtualH = 0;
  changed_ = false;
  st.windows.ForEach([](Window& w) {
    if (!w.sdl) return;
    SDL_SetWindowFullscreen(w.sdl, 0);
    SDL_SetWindowBordered(w.sdl, (w.style & WS_POPUP) ? SDL_FALSE : SDL_TRUE);
    const int k = ScreenUnit();
    if (w.clientW > 0 && w.clientH > 0) SDL_SetWindowSize(w.sdl, w.clientW * k, w.clientH * k);
    SDL_SetWindowPosition(w.sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    w.dirty = true;
    if (!releasing) ApplyCursor(w);
  });
  ApplyClip();
  return 0;
}

}  // namespace platform
