// The test seams over the SDL back end's own state (see platform/testing.h).
#include "platform/testing.h"

#include <algorithm>

#include "platform/sdl/internal.h"

using namespace platform::detail;

namespace platform {

void SetDesktopScale(int factor) {
  State& st = S();
  st.desktopScale = std::clamp(factor, 0, 8);
  st.windows.ForEach([&](Window& w) {
    if (!w.sdl || st.virtualW > 0) return;
    const int k = DesktopScale();
    SDL_SetWindowSize(w.sdl, std::max(1, w.clientW) * k, std::max(1, w.clientH) * k);
    w.dirty = true;
    ApplyCursor(w);
  });
  ApplyClip();
}

int DesktopScale() {
  return detail::DesktopScale();
}

uint64_t PresentCount() {
  return S().presents;
}

void SimulateWindowFrame(int left, int top, int right, int bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0)
    S().simulatedFrame.reset();
  else
    S().simulatedFrame = Frame{left, top, right, bottom};
}

int DisplayScale() {
  State& st = S();
  int scale = 0;
  if (st.virtualW <= 0) return 0;
  st.windows.ForEach([&](Window& w) {
    if (w.sdl && scale == 0) scale = PlacementOf(w).scale;
  });
  return std::max(scale, 1);
}

}  // namespace platform
