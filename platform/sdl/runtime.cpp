// The form and control runtime: clock, timers, the message queue and loop, forms, pictures and
// cursors.
#include <SDL_image.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "common/Settings.h"
#include "platform/form.h"
#include "platform/sdl/internal.h"
#include "platform/timers.h"

namespace platform::detail {

State& S() {
  static State* st = [] {
    auto* s = new State();  // never destroyed: handles may be released during static teardown
    s->stockBitmap.w = 1;
    s->stockBitmap.h = 1;
    s->stockBitmap.px.assign(1, 0);
    return s;
  }();
  return *st;
}

namespace {

// ---- Clock -----------------------------------------------------------------------------------

uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// ---- Posted messages and tasks -----------------------------------------------------------------

struct Posted {
  HWND hWnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  std::function<void()> task;
};

std::mutex queueMutex;
std::deque<Posted> queue;
Uint32 wakeEvent = 0;  // SDL user event that wakes a waiting loop

// Set when a wait for events has just ended empty and nothing can be waiting on the display's
// connection (SDL read it on the way out, or it stayed silent): the next turn takes what SDL has
// queued without reading the connection again.
bool displayQuiet = false;

// Ends a wait on the display's connection (see WaitOnDisplay) when another thread posts;
// negative while the loop waits through SDL.
std::atomic<int> wakeFd{-1};

void DeliverPosted();

void Wake() {
  WakeLoop(DeliverPosted);
  if (wakeEvent != 0 && SDL_WasInit(SDL_INIT_EVENTS)) {
    SDL_Event ev{};
    ev.type = wakeEvent;
    SDL_PushEvent(&ev);
  }
  if (const int fd = wakeFd.load(); fd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
  }
}

void DeliverPosted() {
  // Deliver only what was queued before we started, so a handler that posts again cannot
  // keep this turn of the loop going for ever.
  std::unique_lock<std::mutex> lock(queueMutex);
  if (queue.empty()) return;  // the usual case: not even an empty batch is made
  std::deque<Posted> batch;
  batch.swap(queue);
  lock.unlock();
  for (Posted& p : batch) {
    if (p.task)
      p.task();
    else
      Dispatch(p.hWnd, p.msg, p.wParam, p.lParam);
  }
}

// ---- Input -----------------------------------------------------------------------------------

volatile std::sig_atomic_t stopSignal = 0;
void OnStopSignal(int) { stopSignal = 1; }

// ---- The display -------------------------------------------------------------------------------

std::string videoFailure;  // why there is no window, for the message at the start of the loop

// SDL's stand-ins for a display, which show nothing to anyone: used only when asked for by name
// (the tests do), never as the fallback SDL takes when no X server or compositor answers.
bool InvisibleDriverRefused() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || (SDL_strcasecmp(driver, "offscreen") != 0 && SDL_strcasecmp(driver, "dummy") != 0))
    return false;
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  if (asked && SDL_strcasestr(asked, driver)) return false;
  videoFailure = "no display: neither an X server nor a Wayland compositor answered";
  return true;
}

Form* runningForm = nullptr;
SDL_threadID mainThread = 0;
bool displayLost = false;

// The window system's answer to a lost connection (Xlib's, when the X server ended or was
// killed) is to end the process at once. Before that, the form is closed as its close button
// would close it, so the record of the run is kept; nothing may speak to the X server after that.
int OnDisplayLost(void*) {
  static bool once = false;
  if (once || displayLost || SDL_ThreadID() != mainThread) _exit(1);
  once = true;
  displayLost = true;
  std::fputs("Zorbilo: the display has gone away; the game closes.\n", stderr);
  if (runningForm && runningForm->Loaded()) Dispatch(runningForm->hWnd, WM_CLOSE, 0, 0);
  std::fflush(nullptr);
  _exit(1);
}

int16_t ShiftState() {
  SDL_Keymod m = SDL_GetModState();
  return static_cast<int16_t>(((m & KMOD_SHIFT) ? 1 : 0) | ((m & KMOD_CTRL) ? 2 : 0) |
                              ((m & KMOD_ALT) ? 4 : 0));
}

// Virtual-key code of an SDL key, for the keys a form can be told about.
int VirtualKey(SDL_Keycode k) {
  if (k >= 'a' && k <= 'z') return static_cast<int>(k - 'a' + 'A');
  if (k >= '0' && k <= '9') return static_cast<int>(k);
  switch (k) {
    case SDLK_ESCAPE: return 27;
    case SDLK_RETURN: return 13;
    case SDLK_SPACE: return 32;
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_F1: return 112;
    default: return 0;
  }
}

HWND WindowOfSdl(Uint32 id) {
  SDL_Window* sw = SDL_GetWindowFromID(id);
  if (!sw) return nullptr;
  return static_cast<HWND>(SDL_GetWindowData(sw, "hwnd"));
}

// Mouse position in the window's client coordinates (the 640x480 picture while it is scaled).
void ClientPoint(Window& w, int sx, int sy, int& cx, int& cy) {
  const Placement p = PlacementOf(w);
  if (p.Mapped()) {
    cx = static_cast<int>(std::floor(static_cast<double>(sx - p.offX) / p.scale));
    cy = static_cast<int>(std::floor(static_cast<double>(sy - p.offY) / p.scale));
  } else {
    cx = sx;
    cy = sy;
  }
}

LPARAM PackPoint(int x, int y) {
  auto clamp16 = [](int v) { return static_cast<uint16_t>(std::clamp(v, -32768, 32767)); };
  return static_cast<LPARAM>(clamp16(x) | (static_cast<uint32_t>(clamp16(y)) << 16));
}

// A tap on a touch screen is the swat button, pressed and released where the finger is; the
// button is the one the settings file names, read when the loop starts (as the game reads it at
// its start), or at the first tap where no loop runs. One finger at a time, so that every press
// has its release.
struct Touch {
  bool known = false;
  bool right = false;
  bool down = false;
  SDL_FingerID finger = 0;
} touch;

void ReadSwatButton() {
  touch.right = settings::IsOn(settings::Read(settings::kRClick));
  touch.known = true;
}

void HandleFinger(const SDL_TouchFingerEvent& f, bool down) {
  // SDL's copies of mouse clicks as touches (when a hint asks for them) are no fingers.
  if (f.touchId == SDL_MOUSE_TOUCHID) return;
  if (down == touch.down || (!down && f.fingerId != touch.finger)) return;
  HWND h = WindowOfSdl(f.windowID);
  if (!h && runningForm) h = runningForm->hWnd;
  Window* w = GetWindow(h);
  if (!w) return;
  if (!touch.known) ReadSwatButton();
  touch.down = down;
  touch.finger = f.fingerId;
  int ww = 0, wh = 0;
  SDL_GetWindowSize(w->sdl, &ww, &wh);
  int cx, cy;
  ClientPoint(*w, static_cast<int>(std::floor(f.x * static_cast<float>(ww))),
              static_cast<int>(std::floor(f.y * static_cast<float>(wh))), cx, cy);
  const UINT msg = touch.right ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                               : (down ? WM_LBUTTONDOWN : WM_LBUTTONUP);
  Dispatch(h, msg, static_cast<WPARAM>(ShiftState()), PackPoint(cx, cy));
}

void HandleEvent(const SDL_Event& ev) {
  switch (ev.type) {
    case SDL_QUIT:
      stopSignal = 1;
      break;
    case SDL_WINDOWEVENT: {
      HWND h = WindowOfSdl(ev.window.windowID);
      Window* w = GetWindow(h);
      if (!w) break;
      if (ev.window.event == SDL_WINDOWEVENT_CLOSE) {
        Dispatch(h, WM_CLOSE, 0, 0);
      } else if (ev.window.event == SDL_WINDOWEVENT_EXPOSED ||
                 ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                 ev.window.event == SDL_WINDOWEVENT_SHOWN) {
        w->dirty = true;  // repainted by the next present
      } else if (ev.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        ApplyClip();
      }
      break;
    }
    case SDL_KEYDOWN: {
      HWND h = WindowOfSdl(ev.key.windowID);
      int vk = VirtualKey(ev.key.keysym.sym);
      if (h && vk) Dispatch(h, WM_KEYDOWN, static_cast<WPARAM>(vk), ShiftState());
      break;
    }
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
      HandleFinger(ev.tfinger, ev.type == SDL_FINGERDOWN);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      // The touch screen's own events stand for the finger (HandleFinger), not SDL's mouse copy.
      if (ev.button.which == SDL_TOUCH_MOUSEID) break;
      HWND h = WindowOfSdl(ev.button.windowID);
      Window* w = GetWindow(h);
      if (!w) break;
      bool down = ev.type == SDL_MOUSEBUTTONDOWN;
      UINT msg;
      switch (ev.button.button) {
        case SDL_BUTTON_LEFT: msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case SDL_BUTTON_RIGHT: msg = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: msg = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        default: return;
      }
      int cx, cy;
      ClientPoint(*w, ev.button.x, ev.button.y, cx, cy);
      Dispatch(h, msg, static_cast<WPARAM>(ShiftState()), PackPoint(cx, cy));
      break;
    }
    default:
      break;
  }
}

void PumpInput() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_Event ev;
  if (std::exchange(displayQuiet, false)) {
    while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) HandleEvent(ev);
    return;
  }
  while (SDL_PollEvent(&ev)) HandleEvent(ev);
}

void PresentAll() {
  S().windows.ForEach([](Window& w) {
    if (w.dirty) PresentWindow(w);
  });
}

// One turn without waiting: input, posted messages, then the timers that are due (each at most
// once, however late it is).
void Turn() {
  PumpInput();
  DeliverPosted();
  platform::timers::FireDue(platform::timers::NowMs());
  PresentAll();
}

}  // namespace

bool EnsureVideo() {
  static bool ok = [] {
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // ours unload the form instead
    // The window surface goes straight to the X server (shared memory): a 3D driver would cost
    // more than the frames it carries; without a GPU it is a software rasteriser with a compiler,
    // which doubles the memory and triples the CPU time. SDL_FRAMEBUFFER_ACCELERATION overrides.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    NameWindowClass("zorbilo");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      videoFailure = SDL_GetError();
      return false;
    }
    if (InvisibleDriverRefused()) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
      return false;
    }
    WatchDisplayConnection(OnDisplayLost);
    wakeEvent = SDL_RegisterEvents(1);
    if (wakeEvent == static_cast<Uint32>(-1)) wakeEvent = 0;
    return true;
  }();
  return ok;
}

void ApplyCursor(Window& w) {
  if (!w.form || !EnsureVideo()) return;
  static SDL_Cursor* arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  int32_t pointer = w.form->MousePointer.get();
  const Picture* pic = w.form->MouseIcon.get();
  if (pointer == 99 && pic && pic->Image) {
    Bitmap* bm = S().bitmaps.Get(pic->Image);
    if (!bm) return;
    const int scale = std::max(1, CursorScale(PlacementOf(w).scale));
    // One cursor per picture, contents and scale, made once: cursors are set on every swat. The
    // handle, unlike the bitmap's address, is never reused for another picture.
    static std::map<std::tuple<uintptr_t, uint64_t, int>, SDL_Cursor*> cache;
    auto key = std::make_tuple(reinterpret_cast<uintptr_t>(pic->Image), bm->version, scale);
    auto it = cache.find(key);
    if (it == cache.end()) {
      SDL_Surface* surf =
          SDL_CreateRGBSurfaceWithFormat(0, bm->w * scale, bm->h * scale, 32, SDL_PIXELFORMAT_ARGB8888);
      if (!surf) return;
      for (int y = 0; y < surf->h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surf->pixels) + y * surf->pitch);
        for (int x = 0; x < surf->w; ++x) {
          uint32_t p = bm->px[static_cast<size_t>(y / scale) * bm->w + x / scale];
          row[x] = bm->hasAlpha ? p : (p | 0xFF000000u);
        }
      }
      // The pictures carry no hot spot: it is their centre.
      SDL_Cursor* c = SDL_CreateColorCursor(surf, surf->w / 2, surf->h / 2);
      SDL_FreeSurface(surf);
      it = cache.emplace(key, c).first;
    }
    if (it->second) SDL_SetCursor(it->second);
  } else if (arrow) {
    SDL_SetCursor(arrow);
  }
}

}  // namespace platform::detail

using namespace platform::detail;

namespace platform::timers::backend {
double RealNowMs() { return static_cast<double>(MonotonicMs()); }
void PumpAll() {
  PumpInput();
  platform::detail::DeliverPosted();
}
void DeliverPosted() { platform::detail::DeliverPosted(); }
void PresentAll() { platform::detail::PresentAll(); }
}  // namespace platform::timers::backend

DWORD GetTickCount() {
  if (platform::timers::Manual()) return static_cast<DWORD>(platform::timers::ManualNowMs());
  return static_cast<DWORD>(platform::detail::SystemMilliseconds());
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!hWnd) return FALSE;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push_back({hWnd, Msg, wParam, lParam, {}});
  }
  Wake();
  return TRUE;
}

namespace platform {

void PostToMainThread(std::function<void()> fn) {
  if (!fn) return;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push_back({nullptr, 0, 0, 0, std::move(fn)});
  }
  Wake();
}

void DoEvents() { Turn(); }

void Present() { PresentAll(); }

namespace {

// One turn of the running form's loop, then (wait) a sleep until the next is due or an event
// arrives; never a spin. False once the form is gone.
bool LoopStep(bool wait) {
  Form& form = *runningForm;
  if (form.Loaded()) {
    Turn();
    if (stopSignal) {
      // A stop request closes the form like its close button, so shutdown runs in full.
      stopSignal = 0;
      Dispatch(form.hWnd, WM_CLOSE, 0, 0);
    }
  }
  if (!form.Loaded()) {
    runningForm = nullptr;
    wakeFd = -1;
    return false;
  }
  if (!wait) return true;
  if (platform::timers::Manual()) {
    SDL_Delay(1);
    return true;
  }
  const auto ms = static_cast<uint64_t>(
      platform::timers::MsUntilNextDue(static_cast<double>(MonotonicMs()), 100));
  if (ms == 0) return true;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (!queue.empty()) return true;
  }
  if (const int fd = wakeFd.load(); fd >= 0) {
    // Nothing from the display: the next turn takes only what SDL has already queued.
    if (!WaitOnDisplay(static_cast<int>(ms), fd)) displayQuiet = true;
    return true;
  }
  SDL_Event ev;
  if (SDL_WaitEventTimeout(&ev, static_cast<int>(ms)))
    HandleEvent(ev);
  else
    displayQuiet = true;
  return true;
}

}  // namespace

int RunMessageLoop(Form& form) {
  if (!form.hWnd) {
    std::fprintf(stderr, "Zorbilo: cannot open a window (%s). Is a display available?\n",
                 videoFailure.empty() ? SDL_GetError() : videoFailure.c_str());
    return 1;
  }
  CatchStopSignals(OnStopSignal);
  runningForm = &form;
  mainThread = SDL_ThreadID();
  touch = Touch{};
  ReadSwatButton();
  // Found anew for each loop: the connection is SDL's, and lives only as long as its video.
  {
    Window* w = GetWindow(form.hWnd);
    wakeFd = w ? SetUpDisplayWait(w->sdl) : -1;
  }
  RunLoop(LoopStep);
  return 0;
}

// ---- Picture -----------------------------------------------------------------------------------

Picture::~Picture() {
  if (hDC) DeleteDC(hDC);
  if (Image) DeleteObject(Image);
}

bool Picture::Load(const void* data, size_t size) {
  if (!data || size == 0 || size > (64u << 20)) return false;
  SDL_RWops* rw = SDL_RWFromConstMem(data, static_cast<int>(size));
  if (!rw) return false;
  SDL_Surface* raw = IMG_Load_RW(rw, 1);
  if (!raw) return false;
  bool alpha = raw->format->Amask != 0 || raw->format->palette != nullptr;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(raw);
  if (!argb) return false;

  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(dc, argb->w, argb->h);
  Bitmap* bm = S().bitmaps.Get(bmp);
  if (!dc || !bm) {
    if (dc) DeleteDC(dc);
    if (bmp) DeleteObject(bmp);
    SDL_FreeSurface(argb);
    return false;
  }
  bm->hasAlpha = alpha;
  for (int y = 0; y < argb->h; ++y) {
    auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) + y * argb->pitch);
    for (int x = 0; x < argb->w; ++x) {
      uint32_t p = row[x];
      // Fully transparent icon pixels keep their colour bits but no alpha.
      bm->px[static_cast<size_t>(y) * argb->w + x] = alpha ? p : (p & 0x00FFFFFFu);
    }
  }
  SelectObject(dc, bmp);
  SDL_FreeSurface(argb);

  if (hDC) DeleteDC(hDC);
  if (Image) DeleteObject(Image);
  hDC = dc;
  Image = bmp;
  Width = bm->w;
  Height = bm->h;
  return true;
}

// ---- Form --------------------------------------------------------------------------------------

Form::Form() : Caption(std::string()), Icon(nullptr), MouseIcon(nullptr), MousePointer(0),
               Visible(false) {
  if (EnsureVideo()) {
    SDL_Window* sw = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                                      SDL_WINDOW_HIDDEN);
    if (sw) {
      auto w = std::make_unique<Window>();
      w->sdl = sw;
      w->form = this;
      w->proc = FormWndProc;
      w->style = WS_OVERLAPPEDWINDOW;
      w->clientW = 640;
      w->clientH = 480;
      w->fb.assign(640u * 480u, 0);
      int x = 0, y = 0;
      SDL_GetWindowPosition(sw, &x, &y);
      w->x = x;
      w->y = y;
      hWnd = reinterpret_cast<HWND>(S().windows.Add(std::move(w)));
      SDL_SetWindowData(sw, "hwnd", hWnd);
      auto dc = std::make_unique<DC>();
      dc->type = DC::Type::Window;
      dc->window = hWnd;
      hDC = reinterpret_cast<HDC>(S().dcs.Add(std::move(dc)));
      GetWindow(hWnd)->ownDC = hDC;
    }
  }
  form::BindProperties(*this);
}

namespace form::backend {

void Retitle(Form& f, const std::string& caption) {
  if (Window* w = GetWindow(f.hWnd)) SDL_SetWindowTitle(w->sdl, caption.c_str());
}

void ShowIcon(Form& f, const Picture* pic) {
  Window* w = GetWindow(f.hWnd);
  Bitmap* bm = pic ? S().bitmaps.Get(pic->Image) : nullptr;
  if (!w || !bm) return;
  SDL_Surface* surf = SDL_CreateRGBSurfaceWithFormatFrom(bm->px.data(), bm->w, bm->h, 32,
                                                         bm->w * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!surf) return;
  SDL_SetWindowIcon(w->sdl, surf);
  SDL_FreeSurface(surf);
}

void ShowPointer(Form& f) {
  if (Window* w = GetWindow(f.hWnd)) ApplyCursor(*w);
}

void Show(Form& f, bool visible) {
  Window* w = GetWindow(f.hWnd);
  if (!w) return;
  if (visible) {
    w->style |= WS_VISIBLE;
    SDL_ShowWindow(w->sdl);
    ApplyVirtualGeometry(*w);
    SDL_RaiseWindow(w->sdl);
    w->dirty = true;
  } else {
    w->style &= ~WS_VISIBLE;
    SDL_HideWindow(w->sdl);
  }
}

void Unloaded(Form& f) {
  Window* w = displayLost ? nullptr : GetWindow(f.hWnd);
  if (w) {
    SDL_HideWindow(w->sdl);
    SDL_SetWindowMouseRect(w->sdl, nullptr);
  }
}

}  // namespace form::backend

Form::~Form() {
  if (hWnd) DestroyWindowRecord(hWnd);
}

}  // namespace platform
