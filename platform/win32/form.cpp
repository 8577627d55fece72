// Forms over Win32 windows: the window class and procedure, the client area as a memory DC,
// caption, icon, cursor, visibility and unload.
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/win32/internal.h"
//
#include "platform/form.h"

namespace platform::win32::detail {

namespace {

constexpr wchar_t kClassName[] = L"ZorbiloForm";

bool RegisterFormClass() {
  static bool ok = [] {
    // The process draws at the monitor's own pixels; the layer enlarges by whole factors itself.
    // (The manifest says so too; this covers a program started without it, such as a test.)
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = FormWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = nullptr;  // each form sets its own (WM_SETCURSOR)
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
  }();
  return ok;
}

int16_t ShiftState() {
  return static_cast<int16_t>(((GetKeyState(VK_SHIFT) < 0) ? 1 : 0) |
                              ((GetKeyState(VK_CONTROL) < 0) ? 2 : 0) |
                              ((GetKeyState(VK_MENU) < 0) ? 4 : 0));
}

// A cursor made from a picture: its colours with the picture's transparency, the hot spot at
// its centre, enlarged by the display's whole factor.
struct PictureCursor {
  HCURSOR cursor = nullptr;
  int scale = 0;
};

// Made on first use, one per picture.
std::map<const Picture*, PictureCursor>& PictureCursors() {
  static std::map<const Picture*, PictureCursor> cursors;
  return cursors;
}

HCURSOR MakeCursor(const Picture& pic, int scale) {
  DIBSECTION ds{};
  if (!pic.Image || GetObjectW(pic.Image, sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits ||
      ds.dsBm.bmBitsPixel != 32)
    return nullptr;
  const int w = ds.dsBm.bmWidth, h = ds.dsBm.bmHeight;
  const int cw = w * scale, ch = h * scale;
  BITMAPV5HEADER bi{};
  bi.bV5Size = sizeof bi;
  bi.bV5Width = cw;
  bi.bV5Height = -ch;
  bi.bV5Planes = 1;
  bi.bV5BitCount = 32;
  bi.bV5Compression = BI_BITFIELDS;
  bi.bV5RedMask = 0x00FF0000;
  bi.bV5GreenMask = 0x0000FF00;
  bi.bV5BlueMask = 0x000000FF;
  bi.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (!colour) return nullptr;
  // The mask is unused with an alpha channel, but the system wants one.
  std::vector<uint8_t> maskBits(static_cast<size_t>((cw + 15) / 16 * 2) * ch, 0);
  HBITMAP mask = CreateBitmap(cw, ch, 1, 1, maskBits.data());
  const auto* src = static_cast<const uint32_t*>(ds.dsBm.bmBits);
  auto* dst = static_cast<uint32_t*>(bits);
  // Our DIB sections are top-down, like the cursor's.
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) {
      uint32_t p = src[static_cast<size_t>(y / scale) * w + x / scale];
      uint32_t a = p >> 24;
      // Premultiplied, as the system expects of a 32-bit cursor with alpha.
      uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255,
               b = (p & 0xFF) * a / 255;
      dst[static_cast<size_t>(y) * cw + x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  ICONINFO ii{};
  ii.fIcon = FALSE;
  ii.xHotspot = static_cast<DWORD>(cw / 2);
  ii.yHotspot = static_cast<DWORD>(ch / 2);
  ii.hbmMask = mask;
  ii.hbmColor = colour;
  HCURSOR c = CreateIconIndirect(&ii);
  DeleteObject(colour);
  DeleteObject(mask);
  return c;
}

HICON MakeIcon(const Picture& pic) {
  HCURSOR c = MakeCursor(pic, 1);
  if (!c) return nullptr;
  // A cursor and an icon differ only in the flag; the system draws either as a window icon.
  ICONINFO ii{};
  if (!GetIconInfo(c, &ii)) {
    DestroyCursor(c);
    return nullptr;
  }
  ii.fIcon = TRUE;
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  DestroyCursor(c);
  return icon;
}

}  // namespace

void ApplyCursor(FormWindow& w) {
  if (!w.form) return;
  HCURSOR cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  const Picture* pic = w.form->MouseIcon.get();
  if (w.form->MousePointer.get() == 99 && pic && LivePictures().count(pic) && pic->Image) {
    PictureCursor* pc = &PictureCursors()[pic];
    const int scale = ScaleOf(w);
    if (!pc->cursor || pc->scale != scale) {
      if (pc->cursor) DestroyCursor(pc->cursor);
      pc->cursor = MakeCursor(*pic, scale);
      pc->scale = scale;
    }
    if (pc->cursor) cursor = pc->cursor;
  }
  // Per window, not per class: every form has its own pointer.
  w.cursor = cursor;
  // The pointer changes at once when it is over the window, not at its next move.
  POINT p;
  if (GetCursorPos(&p) && WindowFromPoint(p) == w.hWnd) SetCursor(cursor);
}

void ForgetPictureCursor(const Picture* pic) {
  auto it = PictureCursors().find(pic);
  if (it == PictureCursors().end()) return;
  PictureCursor* pc = &it->second;
  if (pc->cursor) {
    // A picture may go before the form that shows it: the arrow takes its place.
    HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    for (FormWindow* w : Forms())
      if (w->cursor == pc->cursor) w->cursor = arrow;
    if (GetCursor() == pc->cursor) SetCursor(arrow);
    DestroyCursor(pc->cursor);
  }
  PictureCursors().erase(it);
}

// The runtime's own procedure: turns messages into the form's handlers.
LRESULT CALLBACK FormWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  FormWindow* w = FindForm(hWnd);
  if (!w || !w->form) return DefWindowProcW(hWnd, msg, wParam, lParam);
  Form& f = *w->form;
  switch (msg) {
    case WM_CLOSE:
      if (f.Loaded()) f.Unload();
      return 0;
    case WM_ENDSESSION:
      // Logging off or shutting down closes the game like its close button: the record is kept.
      if (wParam && f.Loaded()) f.Unload();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      PresentForm(*w);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && w->cursor) {
        SetCursor(w->cursor);
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // The system frees the clip when another window takes the focus; ours comes back with it.
      if (LOWORD(wParam) != WA_INACTIVE) ApplyClip();
      break;
    case WM_DPICHANGED:
      if (f.Loaded()) {
        // Moved to a monitor of another scale: the same game picture at the new whole factor.
        ApplyGeometry(*w, 0, 0, false);
        ApplyCursor(*w);
      }
      return 0;
    case WM_KEYDOWN:
      if (f.Loaded() && f.OnKeyDown && wParam < 0x8000)
        f.OnKeyDown(static_cast<int16_t>(wParam), ShiftState());
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      if (!f.Loaded()) return 0;
      int16_t button = 0;
      bool down = false;
      form::MouseButton(msg, button, down);
      if (down)
        SetCapture(hWnd);
      else if (!(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)))
        ReleaseCapture();
      POINT phys;
      int scale;
      POINT logical;
      Placement(*w, phys, scale, logical);
      // Client pixels of the window back to the game's 640x480 picture.
      POINT client{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
      POINT origin{0, 0};
      ::ClientToScreen(hWnd, &origin);
      auto toGame = [scale](LONG physical, LONG start) {
        LONG d = physical - start;
        return static_cast<float>(d >= 0 ? d / scale : -((-d + scale - 1) / scale));
      };
      const float x = toGame(origin.x + client.x, phys.x);
      const float y = toGame(origin.y + client.y, phys.y);
      auto& handler = down ? f.OnMouseDown : f.OnMouseUp;
      if (handler) handler(button, ShiftState(), x, y);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hWnd, msg, wParam, lParam);
}

bool ResizeSurface(FormWindow& w, int cw, int ch) {
  if (cw < 0 || ch < 0 || cw > 16384 || ch > 16384) return false;
  if (w.memBitmap && cw == w.clientW && ch == w.clientH) return true;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = std::max(1, cw);
  bi.bmiHeader.biHeight = -std::max(1, ch);  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(w.memDC, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return false;
  std::memset(bits, 0, static_cast<size_t>(std::max(1, cw)) * std::max(1, ch) * 4);
  HGDIOBJ prev = SelectObject(w.memDC, bmp);
  if (w.memBitmap) {
    // Keep what fits of the old picture.
    HDC tmp = CreateCompatibleDC(w.memDC);
    HGDIOBJ o = SelectObject(tmp, prev);
    ::BitBlt(w.memDC, 0, 0, std::min(cw, w.clientW), std::min(ch, w.clientH), tmp, 0, 0, SRCCOPY);
    SelectObject(tmp, o);
    DeleteDC(tmp);
    DeleteObject(w.memBitmap);
  } else {
    w.oldBitmap = prev;
  }
  w.memBitmap = bmp;
  w.bits = static_cast<uint32_t*>(bits);
  w.clientW = cw;
  w.clientH = ch;
  return true;
}

}  // namespace platform::win32::detail

using namespace platform::win32::detail;

namespace platform {

namespace form::backend {

void Retitle(Form& f, const std::string& caption) {
  if (FindForm(f.hWnd)) SetWindowTextW(f.hWnd, Wide(caption).c_str());
}

void ShowIcon(Form& f, const Picture* pic) {
  if (!FindForm(f.hWnd) || !pic || !LivePictures().count(pic)) return;
  HICON icon = MakeIcon(*pic);
  if (!icon) return;
  HICON oldBig = reinterpret_cast<HICON>(
      SendMessageW(f.hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)));
  HICON oldSmall = reinterpret_cast<HICON>(
      SendMessageW(f.hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  if (oldBig) DestroyIcon(oldBig);
  if (oldSmall && oldSmall != oldBig) DestroyIcon(oldSmall);
}

void ShowPointer(Form& f) {
  if (FormWindow* w = FindForm(f.hWnd)) ApplyCursor(*w);
}

void Show(Form& f, bool visible) {
  FormWindow* w = FindForm(f.hWnd);
  if (!w) return;
  if (visible) {
    w->style |= WS_VISIBLE;
    if (TheDisplay().virtualW > 0) ApplyFullScreen(*w);
    ShowWindow(f.hWnd, SW_SHOW);
    SetForegroundWindow(f.hWnd);
    PresentForm(*w);
  } else {
    w->style &= ~static_cast<LONG_PTR>(WS_VISIBLE);
    ShowWindow(f.hWnd, SW_HIDE);
  }
}

void Unloaded(Form& f) {
  if (FindForm(f.hWnd)) ShowWindow(f.hWnd, SW_HIDE);
  ::ClipCursor(nullptr);
}

}  // namespace form::backend

Form::Form()
    : Caption(std::string()), Icon(nullptr), MouseIcon(nullptr), MousePointer(0), Visible(false) {
  if (RegisterFormClass()) {
    auto* w = new FormWindow();
    w->form = this;
    w->style = WS_OVERLAPPEDWINDOW;
    w->cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    w->memDC = CreateCompatibleDC(nullptr);
    HWND h = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                             640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (h && w->memDC && ResizeSurface(*w, 640, 480)) {
      w->hWnd = h;
      Forms().push_back(w);
      hWnd = h;
      hDC = w->memDC;
      ApplyGeometry(*w, 0, 0, false);
    } else {
      if (h) DestroyWindow(h);
      if (w->memDC) DeleteDC(w->memDC);
      delete w;
    }
  }
  form::BindProperties(*this);
}

Form::~Form() {
  FormWindow* w = FindForm(hWnd);
  if (!w) return;
  auto& all = Forms();
  all.erase(std::remove(all.begin(), all.end(), w), all.end());
  HICON big = reinterpret_cast<HICON>(SendMessageW(hWnd, WM_GETICON, ICON_BIG, 0));
  DestroyWindow(hWnd);
  if (big) DestroyIcon(big);
  SelectObject(w->memDC, w->oldBitmap);
  DeleteObject(w->memBitmap);
  DeleteDC(w->memDC);
  delete w;
  ApplyClip();
}

}  // namespace platform
