// Window functions: geometry, style, the window-procedure chain, the cursor clip and presenting
// a window's client pixels on screen.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/form.h"
#include "platform/sdl/internal.h"

namespace platform::detail {

Window* GetWindow(HWND h) { return S().windows.Get(h); }

Frame FrameOf(const Window& w) {
  // Borderless windows have no frame, whatever the window manager would draw otherwise.
  if (w.style & WS_POPUP) return {};
  if (S().simulatedFrame) return *S().simulatedFrame;
  Frame f;
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(w.sdl, &top, &left, &bottom, &right) == 0) {
    // In screen coordinates, which are the desktop's divided by its scale.
    const int k = ScreenUnit();
    auto logical = [k](int v) { return (std::max(0, v) + k - 1) / k; };
    f.left = logical(left);
    f.top = logical(top);
    f.right = logical(right);
    f.bottom = logical(bottom);
  }
  return f;
}

int DesktopScaleFrom(const char* gdkScale, const char* xResources) {
  constexpr int kMost = 8;  // beyond any screen made; keeps sizes far from overflow
  if (gdkScale && *gdkScale) {
    char* end = nullptr;
    const long k = std::strtol(gdkScale, &end, 10);
    if (end != gdkScale && *end == 0 && k >= 1) return static_cast<int>(std::min<long>(k, kMost));
  }
  // The X resource database: lines "name:\tvalue"; Xft.dpi is what desktops set when scaled.
  if (xResources) {
    const std::string db(xResources);
    size_t at = 0;
    while ((at = db.find("Xft.dpi:", at)) != std::string::npos) {
      if (at == 0 || db[at - 1] == '\n') {
        const char* v = db.c_str() + at + 8;
        char* end = nullptr;
        const double dpi = std::strtod(v, &end);
        if (end != v && dpi >= 96 && dpi < 96.0 * (kMost + 1)) return static_cast<int>(dpi / 96);
        return 1;
      }
      at += 8;
    }
  }
  return 1;
}

int DesktopScale() {
  State& st = S();
  if (st.desktopScale > 0) return st.desktopScale;
  if (!EnsureVideo()) return 1;
  int k = DesktopScaleFrom(std::getenv("GDK_SCALE"), DesktopResources().c_str());
  // A window larger than the desktop would be no better than a small one.
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
    while (k > 1 && (640 * k > mode.w || 480 * k > mode.h)) --k;
  st.desktopScale = std::max(1, k);
  return st.desktopScale;
}

void ScreenSize(int& w, int& h) {
  State& st = S();
  if (st.virtualW > 0) {
    w = st.virtualW;
    h = st.virtualH;
    return;
  }
  SDL_DisplayMode mode;
  if (EnsureVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    w = mode.w / ScreenUnit();
    h = mode.h / ScreenUnit();
  } else {
    w = 640;
    h = 480;
  }
}

int ScreenUnit() {
  return S().virtualW > 0 ? 1 : DesktopScale();
}

Placement PlacementOf(const Window& w) {
  State& st = S();
  Placement p;
  if (st.virtualW <= 0) {
    // A window on a scaled desktop: enlarged from its top-left corner, like the original
    // platform enlarges a program that knows nothing of high-density screens.
    p.scale = p.desktop = w.sdl ? DesktopScale() : 1;
    return p;
  }
  int ww = 0, wh = 0;
  SDL_GetWindowSize(w.sdl, &ww, &wh);
  if (SDL_Surface* surf = SDL_GetWindowSurface(w.sdl)) {
    ww = surf->w;
    wh = surf->h;
  }
  p.virtualDisplay = true;
  p.scale = std::max(1, std::min(ww / st.virtualW, wh / st.virtualH));
  p.offX = (ww - st.virtualW * p.scale) / 2;
  p.offY = (wh - st.virtualH * p.scale) / 2;
  return p;
}

void PresentWindow(Window& w) {
  w.dirty = false;
  if (!(w.style & WS_VISIBLE)) return;
  SDL_Surface* surf = SDL_GetWindowSurface(w.sdl);
  if (!surf || surf->format->BytesPerPixel != 4) return;
  if (SDL_MUSTLOCK(surf)) SDL_LockSurface(surf);
  const Placement place = PlacementOf(w);
  const int scale = place.scale, offX = place.offX, offY = place.offY;
  auto* base = static_cast<uint8_t*>(surf->pixels);
  // Surfaces here are XRGB8888, the same layout as our pixels; anything else is converted per row.
  bool same = surf->format->format == SDL_PIXELFORMAT_RGB888 ||
              surf->format->format == SDL_PIXELFORMAT_ARGB8888;
  auto put = [&](uint32_t* dst, uint32_t p) {
    *dst = same ? p
                : SDL_MapRGB(surf->format, static_cast<Uint8>(p >> 16), static_cast<Uint8>(p >> 8),
                             static_cast<Uint8>(p));
  };
  if (place.Mapped()) {
    // Black surround (full screen), then each client pixel as a scale x scale block.
    const bool full = place.virtualDisplay;
    if (full || surf->w > w.clientW * scale || surf->h > w.clientH * scale)
      for (int y = 0; y < surf->h; ++y) std::memset(base + y * surf->pitch, 0, surf->w * 4u);
    int cw = full ? std::min(w.clientW, S().virtualW) : w.clientW;
    int ch = full ? std::min(w.clientH, S().virtualH) : w.clientH;
    for (int y = 0; y < ch; ++y) {
      const uint32_t* src = w.fb.data() + static_cast<size_t>(y) * w.clientW;
      for (int k = 0; k < scale; ++k) {
        int dy = offY + y * scale + k;
        if (dy < 0 || dy >= surf->h) continue;
        auto* row = reinterpret_cast<uint32_t*>(base + dy * surf->pitch);
        if (k > 0 && same && offY + y * scale >= 0) {  // a block's rows are alike: copy the first
          std::memcpy(row, base + (dy - 1) * surf->pitch, surf->w * 4u);
          continue;
        }
        for (int x = 0; x < cw; ++x) {
          int dx = offX + x * scale;
          for (int j = 0; j < scale; ++j)
            if (dx + j >= 0 && dx + j < surf->w) put(row + dx + j, src[x]);
        }
      }
    }
  } else {
    int cw = std::min(w.clientW, surf->w), ch = std::min(w.clientH, surf->h);
    for (int y = 0; y < ch; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(base + y * surf->pitch);
      const uint32_t* src = w.fb.data() + static_cast<size_t>(y) * w.clientW;
      if (same)
        std::memcpy(row, src, static_cast<size_t>(cw) * 4);
      else
        for (int x = 0; x < cw; ++x) put(row + x, src[x]);
    }
  }
  if (SDL_MUSTLOCK(surf)) SDL_UnlockSurface(surf);
  SDL_UpdateWindowSurface(w.sdl);
  ++S().presents;
}

void ApplyClip() {
  State& st = S();
  st.windows.ForEach([&](Window& w) {
    if (!w.sdl) return;
    if (!st.clip || !(w.style & WS_VISIBLE)) {
      SDL_SetWindowMouseRect(w.sdl, nullptr);
      return;
    }
    // The clip rectangle is in screen coordinates; SDL wants it relative to the window.
    RECT r = *st.clip;
    SDL_Rect sr;
    const Placement p = PlacementOf(w);
    if (p.virtualDisplay) {
      sr = {p.offX + r.left * p.scale, p.offY + r.top * p.scale, (r.right - r.left) * p.scale,
            (r.bottom - r.top) * p.scale};
    } else {
      const int k = p.desktop;
      int cx = 0, cy = 0;
      SDL_GetWindowPosition(w.sdl, &cx, &cy);
      sr = {(r.left - cx / k) * k, (r.top - cy / k) * k, (r.right - r.left) * k,
            (r.bottom - r.top) * k};
    }
    if (sr.w > 0 && sr.h > 0) SDL_SetWindowMouseRect(w.sdl, &sr);
  });
}

LRESULT Dispatch(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = GetWindow(hWnd);
  if (!w || !w->proc) return 0;
  return w->proc(hWnd, msg, wParam, lParam);
}

// The runtime's own procedure: turns messages into the form's handlers.
LRESULT FormWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = GetWindow(hWnd);
  if (!w || !w->form || !w->form->Loaded()) return 0;
  Form& f = *w->form;
  auto x = static_cast<float>(static_cast<int16_t>(lParam & 0xFFFF));
  auto y = static_cast<float>(static_cast<int16_t>((lParam >> 16) & 0xFFFF));
  auto shift = static_cast<int16_t>(wParam & 0x7);
  switch (msg) {
    case WM_CLOSE:
      f.Unload();
      return 0;
    case WM_KEYDOWN:
      if (f.OnKeyDown) f.OnKeyDown(static_cast<int16_t>(wParam), static_cast<int16_t>(lParam));
      return 0;
    default: {
      int16_t button = 0;
      bool down = false;
      if (form::MouseButton(msg, button, down)) {
        auto& handler = down ? f.OnMouseDown : f.OnMouseUp;
        if (handler) handler(button, shift, x, y);
      }
      return 0;
    }
  }
}

void DestroyWindowRecord(HWND h) {
  State& st = S();
  Window* w = GetWindow(h);
  if (!w) return;
  if (w->ownDC) st.dcs.Remove(w->ownDC);
  if (w->sdl) SDL_DestroyWindow(w->sdl);
  st.windows.Remove(h);
}

}  // namespace platform::detail

using namespace platform::detail;

HWND GetDesktopWindow() {
  State& st = S();
  if (!GetWindow(st.desktop)) st.desktop = reinterpret_cast<HWND>(st.windows.Add(std::make_unique<Window>()));
  return st.desktop;
}

BOOL GetWindowRect(HWND hWnd, RECT* lpRect) {
  Window* w = GetWindow(hWnd);
  if (!w || !lpRect) return FALSE;
  if (!w->sdl) {  // the desktop
    int sw, sh;
    ScreenSize(sw, sh);
    *lpRect = {0, 0, sw, sh};
    return TRUE;
  }
  Frame f = FrameOf(*w);
  int x = w->x, y = w->y;
  if (S().virtualW <= 0 && !S().simulatedFrame) {
    int cx = 0, cy = 0;
    SDL_GetWindowPosition(w->sdl, &cx, &cy);
    x = cx / ScreenUnit() - f.left;
    y = cy / ScreenUnit() - f.top;
  }
  *lpRect = {x, y, x + f.left + w->clientW + f.right, y + f.top + w->clientH + f.bottom};
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, RECT* lpRect) {
  Window* w = GetWindow(hWnd);
  if (!w || !lpRect) return FALSE;
  if (!w->sdl) return GetWindowRect(hWnd, lpRect);
  *lpRect = {0, 0, w->clientW, w->clientH};
  return TRUE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  Window* w = GetWindow(hWnd);
  if (!w || !w->sdl) return FALSE;
  Frame f = FrameOf(*w);
  if (!(uFlags & SWP_NOSIZE)) {
    if (cx < 0 || cy < 0 || cx > 16384 || cy > 16384) return FALSE;
    // The size asked for is the outer size: the client area is what the frame leaves.
    int ncw = std::max(0, cx - f.left - f.right);
    int nch = std::max(0, cy - f.top - f.bottom);
    if (ncw != w->clientW || nch != w->clientH) {
      std::vector<uint32_t> fb(static_cast<size_t>(ncw) * nch, 0);
      for (int y = 0; y < std::min(nch, w->clientH); ++y)
        std::memcpy(fb.data() + static_cast<size_t>(y) * ncw,
                    w->fb.data() + static_cast<size_t>(y) * w->clientW,
                    static_cast<size_t>(std::min(ncw, w->clientW)) * 4);
      w->fb.swap(fb);
      w->clientW = ncw;
      w->clientH = nch;
      w->lastSrc = nullptr;
    }
    const int k = ScreenUnit();
    int pw = 0, ph = 0;
    SDL_GetWindowSize(w->sdl, &pw, &ph);
    if (S().virtualW <= 0 && ncw > 0 && nch > 0 && (pw != ncw * k || ph != nch * k)) {
      SDL_SetWindowSize(w->sdl, ncw * k, nch * k);
      // It was made centred at its unscaled size: centre it at its real one before it shows.
      if (k > 1 && (uFlags & SWP_NOMOVE) && !(w->style & WS_VISIBLE))
        SDL_SetWindowPosition(w->sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
  }
  const int k = ScreenUnit();
  if (!(uFlags & SWP_NOMOVE)) {
    w->x = X;
    w->y = Y;
    if (S().virtualW <= 0) SDL_SetWindowPosition(w->sdl, (X + f.left) * k, (Y + f.top) * k);
  } else if (S().virtualW <= 0 && !S().simulatedFrame) {
    int px = 0, py = 0;
    SDL_GetWindowPosition(w->sdl, &px, &py);
    w->x = px / k - f.left;
    w->y = py / k - f.top;
  }
  if (!(uFlags & SWP_NOZORDER)) {
    bool top = hWndInsertAfter == HWND_TOPMOST;
    if (top || hWndInsertAfter == HWND_NOTOPMOST) {
      w->topmost = top;
      SDL_SetWindowAlwaysOnTop(w->sdl, top ? SDL_TRUE : SDL_FALSE);
    }
    if (w->style & WS_VISIBLE) SDL_RaiseWindow(w->sdl);
  }
  w->dirty = true;
  ApplyClip();
  return TRUE;
}

BOOL ClipCursor(const RECT* lpRect) {
  State& st = S();
  if (lpRect) {
    if (lpRect->right < lpRect->left || lpRect->bottom < lpRect->top) return FALSE;
    st.clip = *lpRect;
  } else {
    st.clip.reset();
  }
  ApplyClip();
  return TRUE;
}

BOOL GetClipCursor(RECT* lpRect) {
  if (!lpRect) return FALSE;
  State& st = S();
  if (st.clip) {
    *lpRect = *st.clip;
  } else {
    int w, h;
    ScreenSize(w, h);
    *lpRect = {0, 0, w, h};
  }
  return TRUE;
}

HDC GetDC(HWND hWnd) {
  State& st = S();
  Window* w = GetWindow(hWnd);
  if (!w) return nullptr;
  auto dc = std::make_unique<DC>();
  dc->type = w->sdl ? DC::Type::Window : DC::Type::Screen;
  dc->window = hWnd;
  return reinterpret_cast<HDC>(st.dcs.Add(std::move(dc)));
}

int ReleaseDC(HWND hWnd, HDC hDC) {
  State& st = S();
  DC* dc = st.dcs.Get(hDC);
  Window* w = GetWindow(hWnd);
  // A window's own DC is never released; any other must belong to the window named.
  if (!dc || dc->type == DC::Type::Memory || dc->window != hWnd || (w && w->ownDC == hDC)) return 0;
  return st.dcs.Remove(hDC) ? 1 : 0;
}

LONG_PTR GetWindowLongA(HWND hWnd, int nIndex) {
  Window* w = GetWindow(hWnd);
  if (!w) return 0;
  if (nIndex == GWL_STYLE) return w->style;
  if (nIndex == GWL_WNDPROC) return reinterpret_cast<LONG_PTR>(w->proc);
  return 0;
}

LONG_PTR SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  Window* w = GetWindow(hWnd);
  if (!w || !w->sdl) return 0;
  if (nIndex == GWL_WNDPROC) {
    if (!dwNewLong) return 0;
    LONG_PTR old = reinterpret_cast<LONG_PTR>(w->proc);
    w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
    return old;
  }
  if (nIndex == GWL_STYLE) {
    LONG_PTR old = w->style;
    w->style = dwNewLong & 0xFFFFFFFF;
    bool bordered = !(w->style & WS_POPUP) && S().virtualW <= 0;
    SDL_SetWindowBordered(w->sdl, bordered ? SDL_TRUE : SDL_FALSE);
    if ((w->style & WS_VISIBLE) && !(old & WS_VISIBLE)) {
      SDL_ShowWindow(w->sdl);
      ApplyVirtualGeometry(*w);
      w->dirty = true;
    } else if (!(w->style & WS_VISIBLE) && (old & WS_VISIBLE)) {
      SDL_HideWindow(w->sdl);
    }
    if (w->form) w->form->Visible = (w->style & WS_VISIBLE) != 0;
    return old;
  }
  return 0;
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!lpPrevWndFunc) return 0;
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}
