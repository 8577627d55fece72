// Window functions as the game sees them: geometry in its own 640x480 units, the cursor clip,
// the window-procedure hook, and presenting the client picture enlarged by whole factors.
//
// The game's screen coordinates are the system's, scaled about the client area's top-left by
// the window's whole factor. At factor 1 (a 96-dpi monitor, no full screen) every call here is
// the system's own.
#include <algorithm>
#include <optional>

#include "platform/win32/internal.h"

namespace platform::win32::detail {

namespace {

std::optional<RECT> clipRect;  // the game's clip, in its coordinates

bool MonitorRect(HWND h, RECT& r) {
  HMONITOR mon = MonitorFromWindow(h, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!mon || !GetMonitorInfoW(mon, &mi)) return false;
  r = mi.rcMonitor;
  return true;
}

FormWindow* FirstVisibleForm() {
  for (FormWindow* w : Forms())
    if (w->form && w->form->Loaded() && (w->style & WS_VISIBLE)) return w;
  return nullptr;
}

// A point of the game's screen on the real screen.
POINT ToPhysical(const FormWindow& w, LONG x, LONG y) {
  POINT phys, logical;
  int scale;
  Placement(w, phys, scale, logical);
  return {phys.x + (x - logical.x) * scale, phys.y + (y - logical.y) * scale};
}

}  // namespace

Display& TheDisplay() {
  static Display d;
  return d;
}

int ScaleOf(const FormWindow& w) {
  const Display& d = TheDisplay();
  if (d.virtualW > 0) {
    RECT m;
    if (!MonitorRect(w.hWnd, m)) return 1;
    return std::max(1L, std::min((m.right - m.left) / d.virtualW, (m.bottom - m.top) / d.virtualH));
  }
  const UINT dpi = GetDpiForWindow(w.hWnd);
  return std::max(1, static_cast<int>(dpi / 96));
}

void Placement(const FormWindow& w, POINT& physOrigin, int& scale, POINT& logOrigin) {
  scale = ScaleOf(w);
  const Display& d = TheDisplay();
  if (d.virtualW > 0) {
    RECT m{0, 0, d.virtualW, d.virtualH};
    MonitorRect(w.hWnd, m);
    physOrigin = {m.left + ((m.right - m.left) - d.virtualW * scale) / 2,
                  m.top + ((m.bottom - m.top) - d.virtualH * scale) / 2};
    logOrigin = {0, 0};
    return;
  }
  physOrigin = {0, 0};
  ::ClientToScreen(w.hWnd, &physOrigin);
  logOrigin = physOrigin;
}

std::optional<Frame>& SimulatedFrame() {
  static std::optional<Frame> frame;
  return frame;
}

Frame FrameOf(const FormWindow& w) {
  if ((w.style & WS_POPUP) || TheDisplay().virtualW > 0) return {};
  if (SimulatedFrame()) return *SimulatedFrame();
  return RealFrameOf(w);
}

Frame RealFrameOf(const FormWindow& w) {
  if (TheDisplay().virtualW > 0) return {};
  RECT wr, cr;
  POINT o{0, 0};
  if (!::GetWindowRect(w.hWnd, &wr) || !::GetClientRect(w.hWnd, &cr) ||
      !::ClientToScreen(w.hWnd, &o))
    return {};
  Frame f;
  f.left = std::max(0L, o.x - wr.left);
  f.top = std::max(0L, o.y - wr.top);
  f.right = std::max(0L, wr.right - (o.x + cr.right));
  f.bottom = std::max(0L, wr.bottom - (o.y + cr.bottom));
  return f;
}

void ApplyGeometry(FormWindow& w, int logicalX, int logicalY, bool move) {
  if (TheDisplay().virtualW > 0) {
    ApplyFullScreen(w);
    return;
  }
  const Frame f = RealFrameOf(w);
  const int scale = ScaleOf(w);
  ::SetWindowPos(w.hWnd, nullptr, logicalX, logicalY, w.clientW * scale + f.left + f.right,
                 w.clientH * scale + f.top + f.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | (move ? 0 : SWP_NOMOVE));
}

void ApplyFullScreen(FormWindow& w) {
  RECT m;
  if (!MonitorRect(w.hWnd, m)) return;
  LONG_PTR style = WS_POPUP | (w.style & WS_VISIBLE);
  ::SetWindowLongPtrW(w.hWnd, GWL_STYLE, style);
  ::SetWindowPos(w.hWnd, HWND_TOPMOST, m.left, m.top, m.right - m.left, m.bottom - m.top,
                 SWP_FRAMECHANGED | SWP_NOACTIVATE);
  InvalidateRect(w.hWnd, nullptr, FALSE);
}

void PresentForm(FormWindow& w) {
  if (!(w.style & WS_VISIBLE) || !IsWindowVisible(w.hWnd)) return;
  HDC dc = ::GetDC(w.hWnd);
  if (!dc) return;
  POINT phys, logical;
  int scale;
  Placement(w, phys, scale, logical);
  POINT client{0, 0};
  ::ClientToScreen(w.hWnd, &client);
  const int x = phys.x - client.x, y = phys.y - client.y;
  const int pw = w.clientW * scale, ph = w.clientH * scale;
  if (TheDisplay().virtualW > 0) {
    // Black around the picture, never over it: no flicker.
    RECT cr;
    ::GetClientRect(w.hWnd, &cr);
    auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT bands[4] = {{0, 0, cr.right, y},
                     {0, y + ph, cr.right, cr.bottom},
                     {0, y, x, y + ph},
                     {x + pw, y, cr.right, y + ph}};
    for (const RECT& b : bands)
      if (b.right > b.left && b.bottom > b.top) FillRect(dc, &b, black);
  }
  if (scale == 1) {
    ::BitBlt(dc, x, y, w.clientW, w.clientH, w.memDC, 0, 0, SRCCOPY);
  } else {
    // Whole factors and no smoothing: every game pixel a sharp square.
    SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, x, y, pw, ph, w.memDC, 0, 0, w.clientW, w.clientH, SRCCOPY);
  }
  ::ReleaseDC(w.hWnd, dc);
}

void PresentAll() {
  GdiFlush();
  for (FormWindow* w : Forms()) PresentForm(*w);
}

void ApplyClip() {
  if (!clipRect) {
    ::ClipCursor(nullptr);
    return;
  }
  FormWindow* w = FirstVisibleForm();
  if (!w) {
    ::ClipCursor(&*clipRect);
    return;
  }
  const POINT a = ToPhysical(*w, clipRect->left, clipRect->top);
  const POINT b = ToPhysical(*w, clipRect->right, clipRect->bottom);
  RECT r{a.x, a.y, b.x, b.y};
  ::ClipCursor(&r);
}

}  // namespace platform::win32::detail

using namespace platform::win32::detail;

namespace platform::win32 {

BOOL GetWindowRect(HWND hWnd, RECT* lpRect) {
  if (!lpRect) return FALSE;
  const Display& d = TheDisplay();
  if (hWnd == ::GetDesktopWindow() && d.virtualW > 0) {
    *lpRect = {0, 0, d.virtualW, d.virtualH};
    return TRUE;
  }
  FormWindow* w = FindForm(hWnd);
  if (!w) return ::GetWindowRect(hWnd, lpRect);
  if (d.virtualW > 0) {
    *lpRect = {0, 0, w->clientW, w->clientH};
    return TRUE;
  }
  RECT r;
  if (!::GetWindowRect(hWnd, &r)) return FALSE;
  const Frame f = FrameOf(*w);
  *lpRect = {r.left, r.top, r.left + f.left + w->clientW + f.right,
             r.top + f.top + w->clientH + f.bottom};
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, RECT* lpRect) {
  if (!lpRect) return FALSE;
  FormWindow* w = FindForm(hWnd);
  if (!w) {
    if (hWnd == ::GetDesktopWindow()) return platform::win32::GetWindowRect(hWnd, lpRect);
    return ::GetClientRect(hWnd, lpRect);
  }
  *lpRect = {0, 0, w->clientW, w->clientH};
  return TRUE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  FormWindow* w = FindForm(hWnd);
  if (!w) return ::SetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
  const Frame f = FrameOf(*w);
  if (!(uFlags & SWP_NOSIZE)) {
    // The size asked for is the outer size: the client area is what the frame leaves.
    if (cx < 0 || cy < 0 || cx > 16384 || cy > 16384) return FALSE;
    if (!ResizeSurface(*w, std::max(0, cx - f.left - f.right), std::max(0, cy - f.top - f.bottom)))
      return FALSE;
  }
  BOOL ok = TRUE;
  if (TheDisplay().virtualW > 0) {
    ApplyFullScreen(*w);
  } else {
    const int scale = ScaleOf(*w);
    const Frame real = RealFrameOf(*w);
    ok = ::SetWindowPos(hWnd, hWndInsertAfter, X, Y, w->clientW * scale + real.left + real.right,
                        w->clientH * scale + real.top + real.bottom, uFlags & ~SWP_NOSIZE);
  }
  if (!(uFlags & SWP_NOZORDER) &&
      (hWndInsertAfter == HWND_TOPMOST || hWndInsertAfter == HWND_NOTOPMOST))
    ::SetWindowPos(hWnd, hWndInsertAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  InvalidateRect(hWnd, nullptr, FALSE);
  ApplyClip();
  return ok;
}

BOOL ClipCursor(const RECT* lpRect) {
  if (lpRect) {
    if (lpRect->right < lpRect->left || lpRect->bottom < lpRect->top) return FALSE;
    clipRect = *lpRect;
  } else {
    clipRect.reset();
  }
  ApplyClip();
  return TRUE;
}

BOOL GetClipCursor(RECT* lpRect) {
  if (!lpRect) return FALSE;
  if (clipRect) {
    *lpRect = *clipRect;
    return TRUE;
  }
  return platform::win32::GetWindowRect(::GetDesktopWindow(), lpRect);
}

int GetDeviceCaps(HDC hdc, int index) {
  const Display& d = TheDisplay();
  if (d.virtualW > 0 && hdc && GetObjectType(hdc) == OBJ_DC) {
    if (index == HORZRES) return d.virtualW;
    if (index == VERTRES) return d.virtualH;
  }
  return ::GetDeviceCaps(hdc, index);
}

LONG_PTR GetWindowLongA(HWND hWnd, int nIndex) {
  if (nIndex == GWL_WNDPROC) return ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC);
  FormWindow* w = FindForm(hWnd);
  if (w && nIndex == GWL_STYLE) return w->style;
  return ::GetWindowLongPtrA(hWnd, nIndex);
}

LONG_PTR SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  // Window procedures are pointers, 64 bits wide on Win64.
  if (nIndex == GWL_WNDPROC) {
    if (!dwNewLong || !IsWindow(hWnd)) return 0;
    return ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, dwNewLong);
  }
  FormWindow* w = FindForm(hWnd);
  if (!w || nIndex != GWL_STYLE) return ::SetWindowLongPtrA(hWnd, nIndex, dwNewLong);
  const LONG_PTR old = w->style;
  w->style = dwNewLong & 0xFFFFFFFF;
  if (TheDisplay().virtualW > 0) {
    ApplyFullScreen(*w);
  } else {
    // The frame changes; the client area keeps its size.
    // Showing and hiding go through Visible; the system's visibility bit stays its own.
    const LONG_PTR shown = ::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_VISIBLE;
    ::SetWindowLongPtrW(hWnd, GWL_STYLE, (w->style & ~static_cast<LONG_PTR>(WS_VISIBLE)) | shown);
    ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyGeometry(*w, 0, 0, false);
  }
  if (w->form && ((old ^ w->style) & WS_VISIBLE)) w->form->Visible = (w->style & WS_VISIBLE) != 0;
  return old;
}

}  // namespace platform::win32
