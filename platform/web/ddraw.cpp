// The DirectDraw stand-in in the page. "The display shows 640x480" becomes the browser's full
// screen: the page asks for it at the player's next click or key (a browser grants it only
// then) and shows the 640x480 canvas enlarged by the largest whole factor, centred on black.
// The canvas itself stays 640x480, so screen coordinates are the picture's as on the desktops.
#include <emscripten.h>

#include "platform/ddraw.h"
#include "platform/sdl/internal.h"

namespace platform::detail {

// The page sizes and places the canvas; SDL's window is the canvas and never moves.
void ApplyVirtualGeometry(Window&) {}

namespace {

EM_JS(void, AskFullScreen, (int on), {
  if (Module.zorbiloFullScreen) Module.zorbiloFullScreen(!!on);
});

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

namespace platform::ddraw::backend {

bool HasDisplay() { return EnsureVideo(); }

bool IsWindowHandle(HWND hWnd) { return GetWindow(hWnd) != nullptr; }

bool Enter(int32_t width, int32_t height) {
  State& st = S();
  st.virtualW = width;
  st.virtualH = height;
  st.windows.ForEach([](Window& w) {
    w.dirty = true;
    ApplyCursor(w);
  });
  AskFullScreen(1);
  return true;
}

bool Leave(bool releasing) {
  State& st = S();
  if (st.virtualW <= 0) return false;
  st.virtualW = 0;
  st.virtualH = 0;
  st.windows.ForEach([releasing](Window& w) {
    w.dirty = true;
    if (!releasing) ApplyCursor(w);
  });
  AskFullScreen(0);
  return true;
}

}  // namespace platform::ddraw::backend
