// What the game calls on the operating system, under the names and signatures it was written
// against: provided here over SDL2, or on Windows the system's own functions with the layer in
// front of the few whose view differs. This header is the only one the game needs from the
// platform; nothing in it exposes SDL.
//
// Every function checks its handles and arguments and fails by its return value instead of
// crashing: the game runs on a skip-and-continue rule and simply ignores a failed call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/wintypes.h"

#if defined(ZORBILO_BACKEND_WINDOWS)

// On Windows the game calls the system itself. The layer steps in front only where the game's
// view must differ from the system's, under the very names the game calls:
// - geometry, the cursor clip and the screen size are in the game's 640x480 units, while the
//   window is enlarged by the monitor's whole scale factor or shows the full-screen stand-in;
// - Win64 keeps window procedures in SetWindowLongPtrA, not in a 32-bit SetWindowLongA;
// - the manual clock of the tests replaces GetTickCount, and the command log sees every
//   multimedia command before the system does.
namespace platform::win32 {
BOOL GetWindowRect(HWND hWnd, RECT* lpRect);
BOOL GetClientRect(HWND hWnd, RECT* lpRect);
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
BOOL ClipCursor(const RECT* lpRect);
BOOL GetClipCursor(RECT* lpRect);
int GetDeviceCaps(HDC hdc, int index);
LONG_PTR SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG_PTR GetWindowLongA(HWND hWnd, int nIndex);
DWORD GetTickCount();
MCIERROR mciSendStringA(LPCSTR lpstrCommand, LPSTR lpstrReturnString, UINT uReturnLength,
                        HWND hwndCallback);
}  // namespace platform::win32

// The layer's own files call the system's functions by these names.
#ifndef ZORBILO_WINDOWS_LAYER
#define GetWindowRect platform::win32::GetWindowRect
#define GetClientRect platform::win32::GetClientRect
#define SetWindowPos platform::win32::SetWindowPos
#define ClipCursor platform::win32::ClipCursor
#define GetClipCursor platform::win32::GetClipCursor
#define GetDeviceCaps platform::win32::GetDeviceCaps
#undef SetWindowLongA
#define SetWindowLongA platform::win32::SetWindowLongA
#undef GetWindowLongA
#define GetWindowLongA platform::win32::GetWindowLongA
#define GetTickCount platform::win32::GetTickCount
#undef mciSendStringA
#define mciSendStringA platform::win32::mciSendStringA
#endif

#else  // the back ends that bring their own Win32 names

// ---- Constants (their published Win32 values) ----------------------------------------------

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;

constexpr int GWL_WNDPROC = -4;
constexpr int GWL_STYLE = -16;
constexpr LONG_PTR WS_POPUP = 0x80000000L;
constexpr LONG_PTR WS_VISIBLE = 0x10000000L;
constexpr LONG_PTR WS_CAPTION = 0x00C00000L;
constexpr LONG_PTR WS_OVERLAPPEDWINDOW = 0x00CF0000L;

inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<intptr_t>(-2));
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr int LF_FACESIZE = 32;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT MM_MCINOTIFY = 0x03B9;

constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 1;
constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 2;
constexpr WPARAM MCI_NOTIFY_ABORTED = 4;
constexpr WPARAM MCI_NOTIFY_FAILURE = 8;

constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_UNRECOGNIZED_KEYWORD = MCIERR_BASE + 3;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = MCIERR_BASE + 10;
constexpr MCIERROR MCIERR_MISSING_COMMAND_STRING = MCIERR_BASE + 11;
constexpr MCIERROR MCIERR_BAD_INTEGER = MCIERR_BASE + 14;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
constexpr MCIERROR MCIERR_EXTENSION_NOT_FOUND = MCIERR_BASE + 25;
constexpr MCIERROR MCIERR_DUPLICATE_ALIAS = MCIERR_BASE + 33;
constexpr MCIERROR MCIERR_NO_CLOSING_QUOTE = MCIERR_BASE + 38;
constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;

// ---- Records ---------------------------------------------------------------------------------

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

struct POINT {
  LONG x = 0;
  LONG y = 0;
};

struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[LF_FACESIZE];
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
         (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// ---- Window system ---------------------------------------------------------------------------

// Outer rectangle (client area plus the window manager's frame), in screen coordinates.
BOOL GetWindowRect(HWND hWnd, RECT* lpRect);
BOOL GetClientRect(HWND hWnd, RECT* lpRect);
// cx, cy are the outer size, as on the original platform.
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
// A screen rectangle confines the pointer; a null rectangle frees it.
BOOL ClipCursor(const RECT* lpRect);
// The rectangle the pointer is confined to (the whole screen while it is free).
BOOL GetClipCursor(RECT* lpRect);
HWND GetDesktopWindow();
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// GWL_STYLE sets the style (WS_POPUP makes the window borderless); GWL_WNDPROC installs a
// window procedure and returns the previous one. Returns the previous value, 0 on failure.
LONG_PTR SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG_PTR GetWindowLongA(HWND hWnd, int nIndex);
LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Queues a message for the window's procedure chain. Safe to call from any thread.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// ---- Graphics --------------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC hdc);
HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
BOOL DeleteDC(HDC hdc);
BOOL DeleteObject(HGDIOBJ ho);
HFONT CreateFontIndirectA(const LOGFONTA* lplf);
int SetBkMode(HDC hdc, int mode);
COLORREF SetTextColor(HDC hdc, COLORREF color);
int GetDeviceCaps(HDC hdc, int index);
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
COLORREF GetPixel(HDC hdc, int x, int y);

// ---- Kernel ----------------------------------------------------------------------------------

// Milliseconds since boot as a 32-bit count (or the manual clock, see platform::UseManualClock).
DWORD GetTickCount();

// ---- Multimedia ------------------------------------------------------------------------------

// The multimedia command-string interpreter: open "file" alias NAME, play NAME [from N] [notify],
// stop NAME, close NAME. .wav files open a waveaudio device, .mid files the sequencer. A play with
// notify posts MM_MCINOTIFY to hwndCallback when it ends. Returns 0 or an MCIERR_ code.
MCIERROR mciSendStringA(LPCSTR lpstrCommand, LPSTR lpstrReturnString, UINT uReturnLength,
                        HWND hwndCallback);

#endif  // ZORBILO_BACKEND_WINDOWS

// DirectDraw cooperative-level flags.
constexpr int32_t DDSCL_FULLSCREEN = 1;
constexpr int32_t DDSCL_ALLOWREBOOT = 2;
constexpr int32_t DDSCL_EXCLUSIVE = 16;

struct MciLogEntry {
  std::string command;
  HWND callback;
};
// Records every command text with its callback window; nullptr stops recording.
void mciSetLog(std::vector<MciLogEntry>* log);

// ---- The form and control runtime ------------------------------------------------------------

namespace platform {

namespace timers {
struct Schedule;
}

// A value with a setter hook, so that `timer.Interval = 500` restarts the timer and
// `form.Caption = "..."` retitles the window, as properties do on the original platform.
template <class T>
class Property {
 public:
  explicit Property(T initial = T{}, std::function<void(const T&)> onSet = {})
      : value_(std::move(initial)), onSet_(std::move(onSet)) {}
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;
  Property& operator=(const T& v) {
    value_ = v;
    if (onSet_) onSet_(value_);
    return *this;
  }
  operator const T&() const { return value_; }
  const T& get() const { return value_; }
  void bind(std::function<void(const T&)> onSet) { onSet_ = std::move(onSet); }

 private:
  T value_;
  std::function<void(const T&)> onSet_;
};

// A picture control: holds a picture in a persistent memory DC, so that hDC can be the source of
// block transfers while the control is hidden. Serves as picture box and as image.
class Picture {
 public:
  Picture() = default;
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  // Decodes a BMP or ICO file image. Returns false (and keeps the old picture) on bad data.
  bool Load(const void* data, size_t size);
  HDC hDC = nullptr;        // memory DC with the picture selected; 0 while empty
  HBITMAP Image = nullptr;  // the picture's bitmap
  int32_t Width = 0;
  int32_t Height = 0;
};
using PictureBox = Picture;
using Image = Picture;

// A periodic timer of the user-interface thread. It ticks at most once per interval, never
// queues missed ticks, and keeps its grid unless a tick is more than an interval late. Setting
// Interval or enabling it restarts the countdown from now.
class Timer {
 public:
  explicit Timer(int32_t interval = 0, bool enabled = false);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  Property<int32_t> Interval;
  Property<bool> Enabled;
  std::function<void()> Tick;  // the control's _Timer handler

 private:
  friend struct timers::Schedule;  // the runtime's bookkeeping
  uint64_t due_ = 0;
  bool armed_ = false;
};

// The base of a form: a top-level window with its properties and event handlers. Handlers are
// plain callbacks that the derived form binds in its constructor.
class Form {
 public:
  Form();
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  HWND hWnd = nullptr;
  HDC hDC = nullptr;                   // the window's own DC: a block transfer into it is presented
  Property<std::string> Caption;       // UTF-8
  Property<const Picture*> Icon;       // window icon
  Property<const Picture*> MouseIcon;  // custom cursor picture, hot spot at its centre
  Property<int32_t> MousePointer;      // 0 default, 1 arrow, 99 MouseIcon
  Property<bool> Visible;

  // Runs the unload handler; unless it sets Cancel, the window closes and the form is gone.
  void Unload();
  bool Loaded() const { return loaded_; }

  std::function<void(int16_t& Cancel)> OnUnload;
  std::function<void(int16_t KeyCode, int16_t Shift)> OnKeyDown;
  std::function<void(int16_t Button, int16_t Shift, float X, float Y)> OnMouseDown;
  std::function<void(int16_t Button, int16_t Shift, float X, float Y)> OnMouseUp;

 private:
  bool loaded_ = true;
};

// Runs the message loop until the form is unloaded (by its handlers, the close button, or
// SIGINT/SIGTERM, which unload it like the close button). Returns 0.
int RunMessageLoop(Form& form);
// Handles whatever is pending (input, posted messages, due timers) without waiting.
void DoEvents();

// Switches the whole runtime to a manual clock starting at ms; AdvanceClock moves it, firing due
// timers and delivering posted messages in order. Tests run minutes of play in milliseconds.
void UseManualClock(uint32_t ms);
void AdvanceClock(uint32_t ms);
void UseRealClock();
bool UsingManualClock();

// Runs fn on the user-interface thread at the next turn of the loop. Safe from any thread.
void PostToMainThread(std::function<void()> fn);

// Puts every window whose DC was drawn into since the last present on screen now.
void Present();

// Full screen, the modern way: SetDisplayMode(640, 480, ...) makes the window a desktop-sized
// borderless full screen that shows the 640x480 picture scaled by the largest whole factor,
// centred on black; mouse, window rectangle and ClipCursor work in 640x480 screen coordinates.
// The monitor's own mode never changes. Methods return 0 on success, nonzero on failure.
class DirectDraw7 {
 public:
  ~DirectDraw7();
  int32_t SetCooperativeLevel(HWND hWnd, int32_t flags);
  int32_t SetDisplayMode(int32_t width, int32_t height, int32_t bpp, int32_t refreshRate,
                         int32_t flags);
  int32_t RestoreDisplayMode();

 private:
  bool changed_ = false;
};

class DirectX7 {
 public:
  // guid "" names the primary display driver. Returns null when no display is available.
  std::shared_ptr<DirectDraw7> DirectDrawCreate(const std::string& guid);
};

}  // namespace platform
