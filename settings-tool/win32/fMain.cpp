#include "settings-tool/win32/fMain.h"

#include <string>

#include "platform/win32/utf16.h"
#include "settings-tool/design.h"
#include "settings-tool/rules.h"

namespace {

constexpr wchar_t kClassName[] = L"ZorbiloSettings";
constexpr int kIconId = 1;  // the .rc file's icon group

// The dialog is designed in twips: 1440 to an inch, so 15 to a pixel at 96 dpi.
int Px(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), 1440);
}

using platform::win32::Wide;

// The per-monitor DPI functions came with Windows 10 (1607). Looked up rather than imported,
// so the program still starts on an older system and is laid out there at the system's DPI.
template <typename F>
F User32(const char* name) {
  const FARPROC p = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

UINT WindowDpi(HWND hwnd) {
  static const auto get = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (get) {
    const UINT dpi = get(hwnd);
    if (dpi) return dpi;
  }
  HDC dc = GetDC(hwnd);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(hwnd, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The outer size of a window whose client area is w x h at this DPI.
SIZE OuterSize(DWORD style, DWORD exStyle, int w, int h, UINT dpi) {
  static const auto adjust =
      User32<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  RECT r{0, 0, w, h};
  if (!adjust || !adjust(&r, style, FALSE, exStyle, dpi))
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

int SystemMetric(int index, UINT dpi) {
  static const auto get = User32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return get ? get(index, dpi) : MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), 96);
}

// Whether the font draws every character of the dialog's captions.
bool DrawsCaptions(HFONT font) {
  const std::wstring text =
      Wide("画面モードウィンドウフルスクリーンマウスボタン左右クリックFPSを表示設定");
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return true;
  HGDIOBJ old = SelectObject(dc, font);
  std::wstring glyphs(text.size(), L'\0');
  const DWORD n =
      GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()),
                       reinterpret_cast<WORD*>(glyphs.data()), GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  DeleteDC(dc);
  return n != GDI_ERROR && glyphs.find(static_cast<wchar_t>(0xFFFF)) == std::wstring::npos;
}

// The system's dialog font at this DPI: Segoe UI on Windows, which the system links to a
// Japanese face for the captions. Where it cannot draw them itself and nothing links it (an
// unusual system, Wine), a Japanese Gothic face of the same height takes its place.
HFONT DialogFont(UINT dpi) {
  static const auto get =
      User32<BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT)>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW m{};
  m.cbSize = sizeof m;
  if (!get || !get(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0, dpi)) {
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) return nullptr;
    HDC dc = GetDC(nullptr);
    const int systemDpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    m.lfMessageFont.lfHeight = MulDiv(m.lfMessageFont.lfHeight, static_cast<int>(dpi), systemDpi);
  }
  HFONT font = CreateFontIndirectW(&m.lfMessageFont);
  if (!font || DrawsCaptions(font)) return font;
  for (const wchar_t* face : {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic", L"IPAGothic"}) {
    LOGFONTW lf = m.lfMessageFont;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    HFONT other = CreateFontIndirectW(&lf);
    if (other && DrawsCaptions(other)) {
      DeleteObject(font);
      return other;
    }
    if (other) DeleteObject(other);
  }
  return font;
}

HICON Icon(int metric, UINT dpi) {
  const int size = SystemMetric(metric, dpi);
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId),
                                       IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

// The controls' ids, in the design's order (tool::kControls).
constexpr int kIds[tool::kControlCount] = {kIdFrameScreen, kIdOptWindow,  kIdOptFullScreen,
                                           kIdFrameButton, kIdOptLeft,    kIdOptRight,
                                           kIdChkShowFPS,  kIdBtnOK};

// A frame is the parent of its option buttons: an automatic option button clears the others
// of its group among its siblings, so each frame's pair excludes each other and no more.
// WS_EX_CONTROLPARENT on a frame lets Tab and the arrow keys reach the buttons inside it.
constexpr DWORD kFrame = BS_GROUPBOX;
constexpr DWORD kOption = BS_AUTORADIOBUTTON | WS_TABSTOP;
// The check box is three-state without the automatic cycle: the grayed state is only shown for
// a value found in the file, and a click moves it by the tool's own rule (tool::AfterClick).
constexpr DWORD kCheck = BS_3STATE | WS_TABSTOP | WS_GROUP;
constexpr DWORD kDefault = BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP;

// The button style of a designed control: the first option of a frame starts its group.
DWORD StyleOf(int index) {
  const tool::Control& c = tool::kControls[index];
  switch (c.kind) {
    case tool::Kind::kFrame: return kFrame;
    case tool::Kind::kOption:
      return index > 0 && tool::kControls[index - 1].container == c.container ? kOption
                                                                              : kOption | WS_GROUP;
    case tool::Kind::kCheck: return kCheck;
    case tool::Kind::kButton: return kDefault;
  }
  return 0;
}

// A fixed dialog: a title bar with the system menu and its close button, no resizing.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

bool Checked(HWND button) {
  return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The check box's state as the tool's rules name it, and back.
tool::Check CheckOf(HWND box) {
  const LRESULT s = SendMessageW(box, BM_GETCHECK, 0, 0);
  return s == BST_INDETERMINATE ? tool::Check::kGrayed
         : s == BST_CHECKED     ? tool::Check::kChecked
                                : tool::Check::kUnchecked;
}

void SetCheck(HWND box, tool::Check state) {
  const WPARAM s = state == tool::Check::kGrayed    ? BST_INDETERMINATE
                   : state == tool::Check::kChecked ? BST_CHECKED
                                                    : BST_UNCHECKED;
  SendMessageW(box, BM_SETCHECK, s, 0);
}

}  // namespace

fMain::fMain() {
  static const ATOM windowClass = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &fMain::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc);
  }();
  if (!windowClass) return;
  const std::wstring caption = Wide(tool::kCaption);
  CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!hWnd) return;

  HWND* const slots[] = {&frameScreen, &optWindow, &optFullScreen, &frameButton,
                         &optLeft,     &optRight,  &chkShowFPS,    &btnOK};
  for (int i = 0; i < tool::kControlCount; ++i) {
    const tool::Control& d = tool::kControls[i];
    HWND parent = d.container < 0 ? hWnd : *slots[d.container];
    const std::wstring text = Wide(d.caption);
    const DWORD style = StyleOf(i);
    const DWORD exStyle = style == kFrame ? WS_EX_CONTROLPARENT : 0;
    *slots[i] = CreateWindowExW(
        exStyle, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIds[i])), GetModuleHandleW(nullptr), nullptr);
  }

  // Placed and sized for the monitor it opened on, then centred in that monitor's work area.
  Layout(WindowDpi(hWnd), nullptr);
  RECT r{};
  GetWindowRect(hWnd, &r);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST), &mi)) {
    const RECT& w = mi.rcWork;
    SetWindowPos(hWnd, nullptr, w.left + ((w.right - w.left) - (r.right - r.left)) / 2,
                 w.top + ((w.bottom - w.top) - (r.bottom - r.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The design's states, before the file is applied.
  SendMessageW(optWindow, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(optLeft, BM_SETCHECK, BST_CHECKED, 0);
  SetCheck(chkShowFPS, tool::Check::kUnchecked);

  Form_Load();
}

fMain::~fMain() {
  if (hWnd) DestroyWindow(hWnd);
  if (font) DeleteObject(font);
  if (iconBig) DestroyIcon(iconBig);
  if (iconSmall) DestroyIcon(iconSmall);
}

void fMain::Form_Load() {
  if (!hWnd) return;
  // An option that is off sets nothing: the design's selection stays.
  const tool::Choice c = tool::Load();
  if (c.fullScreen) CheckRadioButton(frameScreen, kIdOptWindow, kIdOptFullScreen, kIdOptFullScreen);
  if (c.rightClick) CheckRadioButton(frameButton, kIdOptLeft, kIdOptRight, kIdOptRight);
  SetCheck(chkShowFPS, c.showFps);
}

void fMain::btnOK_Click() {
  // Without its controls the dialog would read as "all off" and wipe the file's settings.
  if (!hWnd) return;
  tool::Choice c;
  c.fullScreen = Checked(optFullScreen);
  c.rightClick = Checked(optRight);
  c.showFps = CheckOf(chkShowFPS);
  tool::Save(c);
  DestroyWindow(hWnd);  // the only window: closing it ends the program
}

void fMain::Show() {
  if (!hWnd) return;
  ShowWindow(hWnd, SW_SHOW);
  SetForegroundWindow(hWnd);
  // The first control that Tab reaches: in a frame, its selected option.
  HWND first = GetNextDlgTabItem(hWnd, nullptr, FALSE);
  SetFocus(first ? first : optWindow);
  lastFocus = GetFocus();
}

void fMain::Run() {
  MSG msg;
  while (hWnd && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(hWnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void fMain::DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void fMain::Layout(UINT newDpi, const RECT* suggested) {
  dpi = newDpi;
  HFONT oldFont = font;
  font = DialogFont(dpi);
  HWND* const slots[] = {&frameScreen, &optWindow, &optFullScreen, &frameButton,
                         &optLeft,     &optRight,  &chkShowFPS,    &btnOK};
  for (int i = 0; i < tool::kControlCount; ++i) {
    const tool::Control& d = tool::kControls[i];
    HWND w = *slots[i];
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    MoveWindow(w, Px(d.left, dpi), Px(d.top, dpi), Px(d.width, dpi), Px(d.height, dpi), TRUE);
  }
  if (oldFont) DeleteObject(oldFont);

  HICON oldBig = iconBig, oldSmall = iconSmall;
  iconBig = Icon(SM_CXICON, dpi);
  iconSmall = Icon(SM_CXSMICON, dpi);
  SendMessageW(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconBig));
  SendMessageW(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall));
  if (oldBig) DestroyIcon(oldBig);
  if (oldSmall) DestroyIcon(oldSmall);

  // The client area keeps its design size in twips; the frame around it is the system's.
  const int clientW = Px(tool::kClientWidth, dpi), clientH = Px(tool::kClientHeight, dpi);
  const SIZE outer = OuterSize(kStyle, kExStyle, clientW, clientH, dpi);
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!suggested) flags |= SWP_NOMOVE;
  SetWindowPos(hWnd, nullptr, suggested ? suggested->left : 0, suggested ? suggested->top : 0,
               outer.cx, outer.cy, flags);
  // Where the frame drawn differs from the one computed (a theme, a system that scales the
  // frame later than the client area), the client area still gets its size.
  RECT client{};
  GetClientRect(hWnd, &client);
  const int dx = clientW - client.right, dy = clientH - client.bottom;
  if (dx || dy)
    SetWindowPos(hWnd, nullptr, 0, 0, outer.cx + dx, outer.cy + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hWnd, nullptr, TRUE);
}

LRESULT CALLBACK fMain::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  fMain* self = reinterpret_cast<fMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<fMain*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  return self ? self->Handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT fMain::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hWnd;
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDOK:  // the button, or Enter anywhere in the dialog
          btnOK_Click();
          return 0;
        case IDCANCEL:  // Esc: closes like the close button, writing nothing
          DestroyWindow(hWnd);
          return 0;
        case kIdChkShowFPS:
          if (HIWORD(wp) == BN_CLICKED) SetCheck(chkShowFPS, tool::AfterClick(CheckOf(chkShowFPS)));
          return 0;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_DPICHANGED:
      Layout(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_ACTIVATE:
      // The focus comes back to the control that had it when the dialog was left.
      if (LOWORD(wp) == WA_INACTIVE) {
        lastFocus = GetFocus();
      } else if (lastFocus && IsWindow(lastFocus)) {
        SetFocus(lastFocus);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hWnd = frameScreen = optWindow = optFullScreen = frameButton = optLeft = optRight =
          chkShowFPS = btnOK = lastFocus = nullptr;
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
