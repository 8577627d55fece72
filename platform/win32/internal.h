// Shared state of the Windows back end's own files. Not for the game: the game sees mMain.h only.
#pragma once

#define ZORBILO_WINDOWS_LAYER 1
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/mMain.h"
#include "platform/win32/utf16.h"

namespace platform::win32::detail {

// What the layer keeps of a form's window. The game sees the client area as a memory DC of its
// own size (hDC): the window shows it enlarged by `scale`, at `physOrigin` on the screen; in the
// game's screen coordinates the client area starts at `logOrigin`.
struct FormWindow {
  Form* form = nullptr;
  HWND hWnd = nullptr;
  HDC memDC = nullptr;
  HBITMAP memBitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  uint32_t* bits = nullptr;  // the DIB section's pixels, 0x00RRGGBB
  int clientW = 640;
  int clientH = 480;
  LONG_PTR style = 0;        // the style the game believes the window has
  HCURSOR cursor = nullptr;  // shown over the client area (WM_SETCURSOR)
};

// The full-screen stand-in: 0 while the desktop is as it is, else the picture's size.
struct Display {
  int virtualW = 0;
  int virtualH = 0;
};

struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};

Display& TheDisplay();
FormWindow* FindForm(HWND hWnd);
// Every form window the runtime holds (tests make many, one at a time).
std::vector<FormWindow*>& Forms();

// Whole factor at which a form's picture is shown: the full-screen scale, or the monitor's
// whole DPI factor (200 % -> 2) for a window.
int ScaleOf(const FormWindow& w);
// The physical screen point of the client area's top-left, and the whole factor.
void Placement(const FormWindow& w, POINT& physOrigin, int& scale, POINT& logOrigin);
// The frame around the client area as the game sees it (nothing for a popup): the system's, or
// the one a test pretends the window manager draws.
Frame FrameOf(const FormWindow& w);
// The system's own frame, which sizes the real window.
Frame RealFrameOf(const FormWindow& w);
std::optional<Frame>& SimulatedFrame();
// Shows the memory DC in the window: enlarged, centred on black in full screen.
void PresentForm(FormWindow& w);
void PresentAll();
// Sizes the window so its client area shows clientW x clientH at the current scale.
void ApplyGeometry(FormWindow& w, int logicalX, int logicalY, bool move);
// Fills the screen's monitor with the window while the stand-in is on.
void ApplyFullScreen(FormWindow& w);
void ApplyClip();
void ApplyCursor(FormWindow& w);
// Makes the client area clientW x clientH, keeping what fits of the picture.
bool ResizeSurface(FormWindow& w, int cw, int ch);

// Pictures that hold a picture now. A form may outlive the picture its MouseIcon names (a game
// form's pictures go before the form itself): the runtime touches only pictures listed here.
std::set<const Picture*>& LivePictures();

using win32::Utf8;
using win32::Wide;

LRESULT CALLBACK FormWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace platform::win32::detail
