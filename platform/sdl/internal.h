// Shared state of the platform layer's own files. Not for the game: the game sees mMain.h only.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/mMain.h"
#include "platform/sdl/system.h"

namespace platform::detail {

// ---- Handle tables ---------------------------------------------------------------------------
// A handle packs kind, generation and slot index, so that 0, a deleted handle (its slot's
// generation has moved on) and a handle of another kind are all recognised and refused.

enum class Kind : uintptr_t { Window = 1, DC = 2, Bitmap = 3, Font = 4 };

template <class T, Kind K>
class HandleTable {
 public:
  uintptr_t Add(std::unique_ptr<T> obj) {
    size_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else {
      index = slots_.size();
      slots_.push_back({});
    }
    Slot& s = slots_[index];
    s.obj = std::move(obj);
    return Encode(index, s.generation);
  }
  T* Get(const void* handle) const {
    size_t index;
    uint32_t gen;
    if (!Decode(reinterpret_cast<uintptr_t>(handle), index, gen)) return nullptr;
    const Slot& s = slots_[index];
    return s.generation == gen ? s.obj.get() : nullptr;
  }
  bool Remove(const void* handle) {
    size_t index;
    uint32_t gen;
    if (!Decode(reinterpret_cast<uintptr_t>(handle), index, gen)) return false;
    Slot& s = slots_[index];
    if (s.generation != gen || !s.obj) return false;
    s.obj.reset();
    s.generation = (s.generation + 1) & kGenMask;
    free_.push_back(index);
    return true;
  }
  template <class F>
  void ForEach(F&& f) {
    for (auto& s : slots_)
      if (s.obj) f(*s.obj);
  }

 private:
  static constexpr uintptr_t kGenMask = 0xFFFFFF;
  struct Slot {
    std::unique_ptr<T> obj;
    uint32_t generation = 1;
  };
  // kind in bits 56..59, generation in 32..55, index + 1 in 0..31: never 0 and never -1/-2.
  static uintptr_t Encode(size_t index, uint32_t gen) {
    return (static_cast<uintptr_t>(K) << 56) | (static_cast<uintptr_t>(gen) << 32) |
           static_cast<uintptr_t>(index + 1);
  }
  bool Decode(uintptr_t h, size_t& index, uint32_t& gen) const {
    if ((h >> 56) != static_cast<uintptr_t>(K)) return false;
    uintptr_t low = h & 0xFFFFFFFFu;
    if (low == 0 || low > slots_.size()) return false;
    index = static_cast<size_t>(low - 1);
    gen = static_cast<uint32_t>((h >> 32) & kGenMask);
    return slots_[index].obj != nullptr;
  }
  std::vector<Slot> slots_;
  std::vector<size_t> free_;
};

// ---- GDI objects -----------------------------------------------------------------------------

// Pixels are 0x00RRGGBB words; the top byte carries alpha only for pictures decoded from icons.
struct Bitmap {
  int w = 0;
  int h = 0;
  std::vector<uint32_t> px;
  bool hasAlpha = false;
  uint64_t version = 0;  // a new value at every write (from one clock for all surfaces)
  // The version at which each row last changed; empty while unknown (every row counts as new).
  // A window that took this whole bitmap at version v need not look at rows not newer than v.
  std::vector<uint64_t> rowVersion;
  int selectedIn = 0;    // DCs that hold it; a selected bitmap cannot be deleted
};

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

// A drawable view of a DC: its pixel store and size, or nothing.
struct Surface {
  uint32_t* px = nullptr;
  int w = 0;
  int h = 0;
  uint64_t* version = nullptr;
  Window* window = nullptr;               // set when drawing into it must be presented
  std::vector<uint64_t>* rows = nullptr;  // a bitmap's row versions
};

// ---- Windows ---------------------------------------------------------------------------------

struct Window {
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
  bool dirty = false;
  HDC ownDC = nullptr;
  // what was last copied into fb, to skip copies of a frame already there
  const void* lastSrc = nullptr;
  uint64_t lastSrcVersion = 0;
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
