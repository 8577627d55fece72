// Shared state of the platform layer's own files. Not for the game: the game sees mMain.h only.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/mMain.h"
#include "platform/raster/handles.h"
#include "platform/raster/raster.h"
#include "platform/sdl/system.h"

namespace platform::detail {

using raster::Bitmap;
using raster::HandleTable;
using raster::Kind;
using raster::Shown;
using raster::Surface;

// ---- GDI objects -----------------------------------------------------------------------------

struct Font {
  LOGFONTA lf{};
  void* ttf = nullptr;  // TTF_Font*, opened on first use
};

struct Window;

struct DC {
  enum class Type { Memory, Window, Screen } type = Type::Memory;
  HBITMAP bitmap = nullptr;  // memory DCs: the selected bitmap (0 = the 1x1 stock bitmap)
  HFONT font = nullptr;
  HWND window = nullptr;     // window DCs
  int bkMode = OPAQUE;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
};

// ---- Windows ---------------------------------------------------------------------------------

struct Window : Shown {
  SDL_Window* sdl = nullptr;
  Form* form = nullptr;
  WNDPROC proc = nullptr;
  LONG_PTR style = 0;
  bool topmost = false;
  int clientW = 0;
  int clientH = 0;
  int x = 0;  // outer top-left in screen coordinates (ours: 640x480 while the display is virtual)
  int y = 0;
  std::vector<uint32_t> fb;  // the client area's pixels, presented on demand
  uint64_t fbVersion = 0;
  HDC ownDC = nullptr;
};

struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// State shared by the layer's files. Everything here is touched on the UI thread only.
struct State {
  HandleTable<Window, Kind::Window> windows;
  HandleTable<DC, Kind::DC> dcs;
  HandleTable<Bitmap, Kind::Bitmap> bitmaps;
  HandleTable<Font, Kind::Font> fonts;
  HWND desktop = nullptr;
  std::optional<Frame> simulatedFrame;
  // The display: 0 = the desktop as it is; else the 640x480 picture is shown scaled.
  int virtualW = 0;
  int virtualH = 0;
  std::optional<RECT> clip;
  Bitmap stockBitmap;  // 1x1, what a fresh memory DC holds
  // The desktop's whole scale factor for windows (0: not asked yet); a window shows its client
  // pixels this many times enlarged, and screen coordinates are the desktop's divided by it.
  int desktopScale = 0;
  uint64_t presents = 0;  // times a window's pixels went to the screen
  // Versions of every surface come from this one clock, so a surface made where another one
  // was never shares a version with what a window took from the old one.
  uint64_t versionClock = 0;
};

State& S();

bool EnsureVideo();
Window* GetWindow(HWND h);
Surface SurfaceOf(HDC hdc);
Frame FrameOf(const Window& w);
LRESULT FormWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Hands a message to the window's procedure chain now.
LRESULT Dispatch(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PresentWindow(Window& w);
void ApplyCursor(Window& w);
void ApplyClip();
// Desktop size in screen coordinates (640x480 while the display is virtual).
void ScreenSize(int& w, int& h);
// How a window shows the game's pixels, found in this one place for presenting, the mouse, the
// cursor clip and full screen: each client pixel as a scale x scale block from (offX, offY) of
// the window, and `desktop` desktop pixels to one unit of the game's screen coordinates.
struct Placement {
  int scale = 1;
  int offX = 0;
  int offY = 0;
  int desktop = 1;
  bool virtualDisplay = false;  // the 640x480 picture in a full-screen window
  // Whether the pixels are shown other than 1:1 from the window's corner.
  bool Mapped() const { return virtualDisplay || scale > 1; }
};
// The 640x480 picture in a full-screen window: scaled by the largest whole factor that fits,
// centred; any other window on a desktop scaled by a whole factor: enlarged from its corner.
Placement PlacementOf(const Window& w);
// Desktop pixels to one unit of the game's screen coordinates, without a window: the desktop's
// scale, 1 while the display is virtual.
int ScreenUnit();
// The factor windows are enlarged by (1 when the desktop is not scaled), found once.
int DesktopScale();
// The whole factor a desktop asks for: GDK_SCALE when it holds a whole number of at least 1, else
// the X resource Xft.dpi divided by 96 (rounded down), else 1. Either may be null.
int DesktopScaleFrom(const char* gdkScale, const char* xResources);
void DestroyWindowRecord(HWND h);
// Covers the display with the window while the 640x480 picture is shown scaled. Also done after
// the window is shown: without a window manager nobody else moves or sizes it.
void ApplyVirtualGeometry(Window& w);

}  // namespace platform::detail
