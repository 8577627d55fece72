// The DirectDraw stand-in's rules, the same on every back end: which calls are accepted, and when
// the desktop is given back. "The display shows 640x480" itself is the back end's (ddraw.cpp in
// its folder): no monitor's mode ever changes.
#include "platform/ddraw.h"

namespace platform {

namespace {
constexpr int32_t kFailed = 1;
// Set while a dropped object gives the desktop back: the form that owned it may be being torn
// down, and the back end must not build anything from it again.
bool releasing = false;
}  // namespace

std::shared_ptr<DirectDraw7> DirectX7::DirectDrawCreate(const std::string& guid) {
  if (!guid.empty() || !ddraw::backend::HasDisplay()) return nullptr;
  return std::make_shared<DirectDraw7>();
}

DirectDraw7::~DirectDraw7() {
  // Dropping the object gives the desktop back, as releasing a real one would.
  releasing = true;
  if (changed_) RestoreDisplayMode();
  releasing = false;
}

int32_t DirectDraw7::SetCooperativeLevel(HWND hWnd, int32_t flags) {
  if (hWnd && !ddraw::backend::IsWindowHandle(hWnd)) return kFailed;
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
  if (!ddraw::backend::Enter(width, height)) return kFailed;
  changed_ = true;
  return 0;
}

int32_t DirectDraw7::RestoreDisplayMode() {
  if (!ddraw::backend::Leave(releasing)) return 0;
  changed_ = false;
  return 0;
}

}  // namespace platform
