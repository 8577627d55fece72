// Window functions: geometry, style, the window-procedure chain, the cursor clip and presenting
// a window's client pixels on screen.
#include <algorithm>
#include <cstring>

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
    f.left = std::max(0, left);
    f.top = std::max(0, top);
    f.right = std::max(0, right);
    f.bottom = std::max(0, bottom);
  }
  return f;
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
    w = mode.w;
    h = mode.h;
  } else {
    w = 640;
    h = 480;
  }
}

bool VirtualPlacement(const Window& w, int& scale, int& offX, int& offY) {
  State& st = S();
  if (st.virtualW <= 0) return false;
  int ww = 0, wh = 0;
  SDL_GetWindowSize(w.sdl, &ww, &wh);
  if (SDL_Surface* surf = SDL_GetWindowSurface(w.sdl)) {
    ww = surf->w;
    wh = surf->h;
  }
  scale = std::max(1, std::min(ww / st.virtualW, wh / st.virtualH));
  offX = (ww - st.virtualW * scale) / 2;
  offY = (wh - st.virtualH * scale) / 2;
  return true;
}

void PresentWindow(Window& w) {
  w.dirty = false;
  if (!(w.style & WS_VISIBLE)) return;
  SDL_Surface* surf = SDL_GetWindowSurface(w.sdl);
  if (!surf || surf->format->BytesPerPixel != 4) return;
  if (SDL_MUSTLOCK(surf)) SDL_LockSurface(surf);
  int scale, offX, offY;
  auto* base = static_cast<uint8_t*>(surf->pixels);
  // Surfaces here are XRGB8888, the same layout as our pixels; anything else is converted per row.
  bool same = surf->format->format == SDL_PIXELFORMAT_RGB888 ||
              surf->format->format == SDL_PIXELFORMAT_ARGB8888;
  auto put = [&](uint32_t* dst, uint32_t p) {
    *dst = same ? p
                : SDL_MapRGB(surf->format, static_cast<Uint8>(p >> 16), static_cast<Uint8>(p >> 8),
                             static_cast<Uint8>(p));
  };
  if (VirtualPlacement(w, scale, offX, offY)) {
    // Black surround, then each game pixel as a scale x scale block.
    for (int y = 0; y < surf->h; ++y) std::memset(base + y * surf->pitch, 0, surf->w * 4u);
    int cw = std::min(w.clientW, S().virtualW), ch = std::min(w.clientH, S().virtualH);
    for (int y = 0; y < ch; ++y) {
      const uint32_t* src = w.fb.data() + static_cast<size_t>(y) * w.clientW;
      for (int k = 0; k < scale; ++k) {
        int dy = offY + y * scale + k;
        if (dy < 0 || dy >= surf->h) continue;
        auto* row = reinterpret_cast<uint32_t*>(base + dy * surf->pitch);
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
    int scale, offX, offY;
    if (VirtualPlacement(w, scale, offX, offY)) {
      sr = {offX + r.left * scale, offY + r.top * scale, (r.right - r.left) * scale,
            (r.bottom - r.top) * scale};
    } else {
      int cx = 0, cy = 0;
      SDL_GetWindowPosition(w.sdl, &cx, &cy);
      sr = {r.left - cx, r.top - cy, r.right - r.left, r.bottom - r.top};
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
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      int16_t button = (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP)   ? 1
                       : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) ? 2
                                                                        : 4;
      bool down = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN;
      auto& handler = down ? f.OnMouseDown : f.OnMouseUp;
      if (handler) handler(button, shift, x, y);
      return 0;
    }
    default:
      return 0;
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
    x = cx - f.left;
    y = cy - f.top;
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
      if (S().virtualW <= 0 && ncw > 0 && nch > 0) SDL_SetWindowSize(w->sdl, ncw, nch);
    }
  }
  if (!(uFlags & SWP_NOMOVE)) {
    w->x = X;
    w->y = Y;
    if (S().virtualW <= 0) SDL_SetWindowPosition(w->sdl, X + f.left, Y + f.top);
  } else if (S().virtualW <= 0 && !S().simulatedFrame) {
    int px = 0, py = 0;
    SDL_GetWindowPosition(w->sdl, &px, &py);
    w->x = px - f.left;
    w->y = py - f.top;
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

namespace platform {

void SimulateWindowFrame(int left, int top, int right, int bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0)
    S().simulatedFrame.reset();
  else
    S().simulatedFrame = Frame{left, top, right, bottom};
}

}  // namespace platform
