// The DirectDraw stand-in. "The display shows 640x480" is realised without touching the monitor:
// the game's windows go desktop-sized full screen and show their 640x480 picture scaled by the
// largest whole factor, centred on black. Screen coordinates become that 640x480 picture's.
#include <algorithm>

#include "platform/ddraw.h"
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

namespace platform::ddraw::backend {

bool HasDisplay() {
  return EnsureVideo() && SDL_GetNumVideoDisplays() >= 1;
}

bool IsWindowHandle(HWND hWnd) {
  return GetWindow(hWnd) != nullptr;
}

bool Enter(int32_t width, int32_t height) {
  SDL_DisplayMode desk;
  if (SDL_GetDesktopDisplayMode(0, &desk) != 0 || desk.w < width || desk.h < height) return false;
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
    return false;
  }
  st.windows.ForEach([](Window& w) {
    w.dirty = true;
    ApplyCursor(w);
  });
  ApplyClip();
  return true;
}

bool Leave(bool releasing) {
  State& st = S();
  if (st.virtualW <= 0) return false;
  st.virtualW = 0;
  st.virtualH = 0;
  st.windows.ForEach([releasing](Window& w) {
    if (!w.sdl) return;
    SDL_SetWindowFullscreen(w.sdl, 0);
    SDL_SetWindowBordered(w.sdl, (w.style & WS_POPUP) ? SDL_FALSE : SDL_TRUE);
    const int k = ScreenUnit();
    if (w.clientW > 0 && w.clientH > 0) SDL_SetWindowSize(w.sdl, w.clientW * k, w.clientH * k);
    SDL_SetWindowPosition(w.sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    w.dirty = true;
    // The form that owned the display may be going, its cursor pictures with it.
    if (!releasing) ApplyCursor(w);
  });
  ApplyClip();
  return true;
}

}  // namespace platform::ddraw::backend
