// The platform layer on its own: handles, GDI raster operations and clipping, timers, window
// geometry, the window-procedure chain, input delivery, pictures and the full-screen stand-in.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/App.h"
#include "platform/mMain.h"
#include "picture_files.h"
#include "platform/sdl/internal.h"
#include "platform/testing.h"

namespace {

// A memory DC with a w x h bitmap of its own, filled with one colour.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  Canvas(int w, int h, COLORREF fill) {
    dc = CreateCompatibleDC(nullptr);
    bmp = CreateCompatibleBitmap(dc, w, h);
    SelectObject(dc, bmp);
    Fill(0, 0, w, h, fill);
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bmp);
  }
  // Paints a rectangle: only the layer's own calls are used, a decoded picture and a copy.
  void Fill(int x, int y, int w, int h, COLORREF c);
};

void Canvas::Fill(int x, int y, int w, int h, COLORREF c) {
  platform::Picture pic;
  auto bmp = MakeBmp(w, h, [&](int, int) { return c; });
  ASSERT_TRUE(pic.Load(bmp.data(), bmp.size()));
  ASSERT_TRUE(BitBlt(dc, x, y, w, h, pic.hDC, 0, 0, SRCCOPY));
}

// The SDL window behind a form's window handle.
SDL_Window* SdlWindowOf(HWND h) {
  for (Uint32 i = 1; i < 256; ++i)
    if (SDL_Window* w = SDL_GetWindowFromID(i); w && SDL_GetWindowData(w, "hwnd") == h) return w;
  return nullptr;
}

// A pixel of what a window put on screen, as 0x00RRGGBB.
uint32_t ShownPixel(SDL_Window* w, int x, int y) {
  SDL_Surface* s = SDL_GetWindowSurface(w);
  if (!s || x < 0 || y < 0 || x >= s->w || y >= s->h) return 0xFFFFFFFFu;
  Uint8 r, g, b;
  uint32_t p;
  std::memcpy(&p, static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * 4, 4);
  SDL_GetRGB(p, s->format, &r, &g, &b);
  return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

class Platform : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseManualClock(1000);
    platform::SimulateWindowFrame(-1, -1, -1, -1);
  }
  void TearDown() override { platform::SimulateWindowFrame(-1, -1, -1, -1); }
};

// ---- Handles -------------------------------------------------------------------------------

TEST_F(Platform, BadHandlesFailInsteadOfCrashing) {
  Canvas c(4, 4, RGB(1, 2, 3));
  HDC stale = CreateCompatibleDC(nullptr);
  ASSERT_TRUE(DeleteDC(stale));
  HDC foreign = reinterpret_cast<HDC>(c.bmp);  // a bitmap handle posing as a DC

  for (HDC bad : {static_cast<HDC>(nullptr), stale, foreign}) {
    EXPECT_FALSE(BitBlt(bad, 0, 0, 4, 4, c.dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(c.dc, 0, 0, 4, 4, bad, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(bad, 0, 0), CLR_INVALID);
    EXPECT_EQ(SelectObject(bad, c.bmp), nullptr);
    EXPECT_FALSE(DeleteDC(bad));
    EXPECT_FALSE(TextOutA(bad, 0, 0, "x", 1));
    EXPECT_EQ(SetBkMode(bad, TRANSPARENT), 0);
    EXPECT_EQ(GetDeviceCaps(bad, BITSPIXEL), 0);
  }
  EXPECT_FALSE(DeleteDC(stale));  // twice
  EXPECT_FALSE(DeleteObject(nullptr));
  EXPECT_FALSE(DeleteObject(c.bmp));  // still selected into c.dc
  EXPECT_EQ(CreateCompatibleBitmap(c.dc, -5, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(c.dc, 0, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(c.dc, 1 << 30, 1 << 30), nullptr);
  EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
  EXPECT_FALSE(BitBlt(c.dc, 0, 0, 4, 4, c.dc, 0, 0, 0x12345678));  // unknown raster op

  RECT r;
  EXPECT_FALSE(GetWindowRect(nullptr, &r));
  EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(c.dc), &r));
  EXPECT_FALSE(SetWindowPos(nullptr, nullptr, 0, 0, 10, 10, 0));
  EXPECT_EQ(SetWindowLongA(nullptr, GWL_STYLE, WS_POPUP), 0);
  EXPECT_EQ(GetDC(reinterpret_cast<HWND>(c.bmp)), nullptr);
  EXPECT_EQ(CallWindowProcA(nullptr, nullptr, 0, 0, 0), 0);
}

// ---- Raster operations ---------------------------------------------------------------------

TEST_F(Platform, RasterOperationsCombinePixelByPixel) {
  Canvas dst(3, 1, RGB(0, 0, 0));
  Canvas src(3, 1, RGB(0, 0, 0));
  const COLORREF d[3] = {RGB(0x12, 0x34, 0x56), RGB(0xF0, 0x0F, 0xAA), RGB(0, 0, 0)};
  const COLORREF s[3] = {RGB(0xFF, 0x00, 0x0F), RGB(0x0F, 0xFF, 0x55), RGB(0xFF, 0xFF, 0xFF)};
  auto reset = [&] {
    for (int i = 0; i < 3; ++i) {
      dst.Fill(i, 0, 1, 1, d[i]);
      src.Fill(i, 0, 1, 1, s[i]);
    }
  };
  reset();
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 3, 1, src.dc, 0, 0, SRCPAINT));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetPixel(dst.dc, i, 0), d[i] | s[i]) << i;
  reset();
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 3, 1, src.dc, 0, 0, SRCAND));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetPixel(dst.dc, i, 0), d[i] & s[i]) << i;
  reset();
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 3, 1, src.dc, 0, 0, SRCCOPY));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetPixel(dst.dc, i, 0), s[i]) << i;
}

TEST_F(Platform, MaskedSpriteLeavesBackgroundAroundIt) {
  // Sheet: image (white surround, red centre) at x 0..2, mask (white centre on black) at x 3..5.
  platform::Picture sheet;
  auto bmp = MakeBmp(6, 3, [](int x, int y) {
    bool centre = (x % 3) == 1 && y == 1;
    if (x < 3) return centre ? RGB(200, 0, 0) : RGB(255, 255, 255);
    return centre ? RGB(255, 255, 255) : RGB(0, 0, 0);
  });
  ASSERT_TRUE(sheet.Load(bmp.data(), bmp.size()));
  Canvas back(3, 3, RGB(10, 120, 30));
  BitBlt(back.dc, 0, 0, 3, 3, sheet.hDC, 3, 0, SRCPAINT);
  BitBlt(back.dc, 0, 0, 3, 3, sheet.hDC, 0, 0, SRCAND);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(GetPixel(back.dc, x, y), (x == 1 && y == 1) ? RGB(200, 0, 0) : RGB(10, 120, 30))
          << x << "," << y;
}

TEST_F(Platform, TransfersAreClippedAtEveryEdge) {
  Canvas src(4, 4, RGB(9, 9, 9));
  struct Case {
    int x, y, w, h, sx, sy;
    RECT painted;  // expected painted area in the 10x10 destination
  } cases[] = {
      {-2, 3, 4, 4, 0, 0, {0, 3, 2, 7}},      // left edge
      {3, -3, 4, 4, 0, 0, {3, 0, 7, 1}},      // top edge
      {8, 2, 4, 4, 0, 0, {8, 2, 10, 6}},      // right edge
      {1, 9, 4, 4, 0, 0, {1, 9, 5, 10}},      // bottom edge
      {0, 0, 4, 4, 2, 3, {0, 0, 2, 1}},       // source's right and bottom edges
      {5, 5, 4, 4, -1, -2, {6, 7, 9, 9}},     // source's left and top edges
      {20, 20, 4, 4, 0, 0, {0, 0, 0, 0}},     // wholly outside
      {-10, -10, 4, 4, 0, 0, {0, 0, 0, 0}},   // wholly outside
      {2, 2, 0, 4, 0, 0, {0, 0, 0, 0}},       // empty
      {2, 2, -3, -3, 0, 0, {0, 0, 0, 0}},     // negative size
      {2, 2, 1 << 30, 1 << 30, 0, 0, {2, 2, 6, 6}},  // huge size, clipped by the source
  };
  for (const Case& c : cases) {
    Canvas dst(10, 10, RGB(0, 0, 0));
    EXPECT_TRUE(BitBlt(dst.dc, c.x, c.y, c.w, c.h, src.dc, c.sx, c.sy, SRCCOPY));
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        bool in = x >= c.painted.left && x < c.painted.right && y >= c.painted.top &&
                  y < c.painted.bottom;
        ASSERT_EQ(GetPixel(dst.dc, x, y), in ? RGB(9, 9, 9) : RGB(0, 0, 0))
            << "case at " << c.x << "," << c.y << " pixel " << x << "," << y;
      }
    EXPECT_EQ(GetPixel(dst.dc, 10, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dst.dc, -1, 0), CLR_INVALID);
  }
}

TEST_F(Platform, OverlappingCopyWithinOneSurfaceKeepsThePicture) {
  Canvas c(1, 6, RGB(0, 0, 0));
  for (int y = 0; y < 6; ++y) c.Fill(0, y, 1, 1, RGB(y * 10, 0, 0));
  BitBlt(c.dc, 0, 2, 1, 4, c.dc, 0, 0, SRCCOPY);  // shift down by 2
  for (int y = 2; y < 6; ++y) EXPECT_EQ(GetPixel(c.dc, 0, y), RGB((y - 2) * 10, 0, 0)) << y;
}

// ---- Text ----------------------------------------------------------------------------------

TEST_F(Platform, TextIsDrawnInTheFontOnATransparentBackground) {
  Canvas c(120, 24, RGB(100, 200, 250));
  LOGFONTA lf{};
  lf.lfHeight = 16;
  lf.lfWeight = FW_BOLD;
  std::strcpy(lf.lfFaceName, "MS Gothic");
  HFONT font = CreateFontIndirectA(&lf);
  ASSERT_NE(font, nullptr);
  SelectObject(c.dc, font);
  SetBkMode(c.dc, TRANSPARENT);
  ASSERT_TRUE(TextOutA(c.dc, 2, 2, "FPS:33", 6));
  int dark = 0, background = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 120; ++x) {
      COLORREF p = GetPixel(c.dc, x, y);
      if (GetRValue(p) < 40 && GetGValue(p) < 40 && GetBValue(p) < 40) ++dark;
      if (p == RGB(100, 200, 250)) ++background;
    }
  EXPECT_GT(dark, 30);             // black letters
  EXPECT_GT(background, 24 * 80);  // background shows between and around them
  // Nothing lands right of a six-letter line of a 16-pixel font, nor below its cell.
  for (int y = 20; y < 24; ++y) EXPECT_EQ(GetPixel(c.dc, 10, y), RGB(100, 200, 250));
  EXPECT_TRUE(TextOutA(c.dc, 0, 0, "", 0));
  EXPECT_FALSE(TextOutA(c.dc, 0, 0, nullptr, 3));
  EXPECT_TRUE(TextOutA(c.dc, 500, 500, "off", 3));  // outside: nothing drawn, no failure
  SelectObject(c.dc, nullptr);
  DeleteDC(c.dc);
  c.dc = CreateCompatibleDC(nullptr);
  EXPECT_TRUE(DeleteObject(font));
}

// ---- Pictures ------------------------------------------------------------------------------

TEST_F(Platform, PicturesRefuseGarbageAndKeepWhatTheyHad) {
  platform::Picture p;
  auto good = MakeBmp(5, 3, [](int x, int y) { return RGB(x * 40, y * 80, 7); });
  ASSERT_TRUE(p.Load(good.data(), good.size()));
  EXPECT_EQ(p.Width, 5);
  EXPECT_EQ(p.Height, 3);
  EXPECT_EQ(GetPixel(p.hDC, 4, 2), RGB(160, 160, 7));  // rows are bottom-up in the file

  std::vector<uint8_t> garbage(300);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 40);
  EXPECT_FALSE(p.Load(garbage.data(), garbage.size()));
  EXPECT_FALSE(p.Load(truncated.data(), truncated.size()));
  EXPECT_FALSE(p.Load(nullptr, 10));
  EXPECT_FALSE(p.Load(good.data(), 0));
  EXPECT_EQ(GetPixel(p.hDC, 4, 2), RGB(160, 160, 7));
}

// ---- Timers --------------------------------------------------------------------------------

TEST_F(Platform, TimersTickOnTheirGridAndRestartWhenChanged) {
  platform::Timer t(30, false);
  std::vector<DWORD> ticks;
  t.Tick = [&] { ticks.push_back(GetTickCount()); };
  platform::AdvanceClock(100);
  EXPECT_TRUE(ticks.empty());  // disabled

  t.Enabled = true;  // at 1100
  platform::AdvanceClock(100);
  EXPECT_EQ(ticks, (std::vector<DWORD>{1130, 1160, 1190}));

  ticks.clear();
  platform::AdvanceClock(5);  // 1205
  t.Interval = 50;            // restarts from now
  platform::AdvanceClock(100);
  EXPECT_EQ(ticks, (std::vector<DWORD>{1255, 1305}));

  ticks.clear();
  t.Enabled = false;
  platform::AdvanceClock(200);
  EXPECT_TRUE(ticks.empty());
  t.Enabled = true;  // at 1505
  t.Interval = 0;    // an interval of 0 never ticks
  platform::AdvanceClock(200);
  EXPECT_TRUE(ticks.empty());
}

TEST_F(Platform, TimersInterleaveInTimeOrderAndHandlersMayChangeThem) {
  platform::Timer fast(10, true), slow(25, true);
  std::string order;
  fast.Tick = [&] { order += 'f'; };
  slow.Tick = [&] {
    order += 's';
    fast.Enabled = false;  // from inside a tick
  };
  platform::AdvanceClock(60);
  EXPECT_EQ(order, "ffss");  // 10, 20, 25; then fast is off, slow again at 50
}

TEST(PlatformRealClock, LateTimersDoNotQueueUpMissedTicks) {
  platform::UseRealClock();
  platform::Timer t(10, true);
  int ticks = 0;
  t.Tick = [&] { ++ticks; };
  std::this_thread::sleep_for(std::chrono::milliseconds(55));
  const uint32_t fired = GetTickCount();
  platform::DoEvents();
  EXPECT_EQ(ticks, 1);
  platform::DoEvents();
  // The next tick is a whole interval away (unless the machine stalled us that long).
  if (GetTickCount() - fired < 10) {
    EXPECT_EQ(ticks, 1);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(15));
  platform::DoEvents();
  EXPECT_EQ(ticks, 2);
}

// ---- Windows -------------------------------------------------------------------------------

// The sizing the game does: outer 640x480 first, then grow by whatever frame that revealed.
void SizeForClient640x480(HWND h) {
  SetWindowPos(h, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
  RECT c;
  GetClientRect(h, &c);
  SetWindowPos(h, nullptr, 0, 0, 1280 - c.right, 960 - c.bottom, SWP_NOMOVE | SWP_NOZORDER);
}

TEST_F(Platform, ClientAreaComesOutExactWhateverTheFrame) {
  struct {
    int l, t, r, b;
  } frames[] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {8, 31, 8, 8}};
  for (auto f : frames) {
    platform::SimulateWindowFrame(f.l, f.t, f.r, f.b);
    platform::Form form;
    ASSERT_NE(form.hWnd, nullptr);
    SizeForClient640x480(form.hWnd);
    RECT c, w;
    ASSERT_TRUE(GetClientRect(form.hWnd, &c));
    ASSERT_TRUE(GetWindowRect(form.hWnd, &w));
    EXPECT_EQ(c.right, 640);
    EXPECT_EQ(c.bottom, 480);
    EXPECT_EQ(w.right - w.left, 640 + f.l + f.r);
    EXPECT_EQ(w.bottom - w.top, 480 + f.t + f.b);
  }
}

TEST_F(Platform, PopupStyleHasNoFrameAndMovesToTheOrigin) {
  platform::SimulateWindowFrame(4, 20, 4, 4);
  platform::Form form;
  LONG_PTR old = SetWindowLongA(form.hWnd, GWL_STYLE, WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(old & WS_POPUP, 0);
  EXPECT_TRUE(form.Visible.get());
  SetWindowPos(form.hWnd, HWND_TOPMOST, 0, 0, 640, 480, SWP_NOMOVE);
  SetWindowPos(form.hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  RECT w, c;
  GetWindowRect(form.hWnd, &w);
  GetClientRect(form.hWnd, &c);
  EXPECT_EQ(w.left, 0);
  EXPECT_EQ(w.top, 0);
  EXPECT_EQ(w.right, 640);
  EXPECT_EQ(w.bottom, 480);
  EXPECT_EQ(c.right, 640);
  EXPECT_EQ(GetWindowLongA(form.hWnd, GWL_STYLE), WS_POPUP | WS_VISIBLE);
}

TEST_F(Platform, CursorClipIsKeptAndFreed) {
  RECT r{10, 20, 650, 500}, got;
  ASSERT_TRUE(ClipCursor(&r));
  ASSERT_TRUE(GetClipCursor(&got));
  EXPECT_EQ(got.left, 10);
  EXPECT_EQ(got.bottom, 500);
  RECT inverted{50, 50, 10, 10};
  EXPECT_FALSE(ClipCursor(&inverted));
  ASSERT_TRUE(ClipCursor(nullptr));
  ASSERT_TRUE(GetClipCursor(&got));
  RECT desk;
  GetWindowRect(GetDesktopWindow(), &desk);
  EXPECT_EQ(got.right, desk.right);
  EXPECT_EQ(got.bottom, desk.bottom);
}

TEST_F(Platform, DesktopDeviceContextReportsTheColourDepth) {
  HWND desk = GetDesktopWindow();
  HDC dc = GetDC(desk);
  ASSERT_NE(dc, nullptr);
  int bits = GetDeviceCaps(dc, BITSPIXEL);
  EXPECT_TRUE(bits == 16 || bits == 24 || bits == 32) << bits;
  EXPECT_EQ(ReleaseDC(desk, dc), 1);
  EXPECT_EQ(ReleaseDC(desk, dc), 0);  // already released
}

// ---- Window procedure chain and input --------------------------------------------------------

// A tap is the swat button the settings file names, pressed and released at the finger; a
// second finger, a foreign release and SDL's mouse-made touches are not taps.
TEST_F(Platform, ATapIsTheSettingsSwatButtonAtTheFinger) {
  char tmpl[] = "/tmp/zorbilo_touch_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string saved = App.Path;
  App.Path = tmpl;
  ASSERT_TRUE(WritePrivateProfileStringA("Setting", "RClick", "1", (App.Path + "/Zorbilo.ini").c_str()));
  platform::Form form;
  std::vector<std::string> seen;
  form.OnMouseDown = [&](int16_t b, int16_t, float x, float y) {
    seen.push_back("down " + std::to_string(b) + " " + std::to_string(int(x)) + "," + std::to_string(int(y)));
  };
  form.OnMouseUp = [&](int16_t b, int16_t, float x, float y) {
    seen.push_back("up " + std::to_string(b) + " " + std::to_string(int(x)) + "," + std::to_string(int(y)));
  };
  Uint32 id = 0;
  for (Uint32 i = 1; i < 64 && !id; ++i)
    if (SDL_Window* w = SDL_GetWindowFromID(i); w && SDL_GetWindowData(w, "hwnd") == form.hWnd) id = i;
  ASSERT_NE(id, 0u);
  auto finger = [&](Uint32 type, SDL_FingerID which, float x, float y, SDL_TouchID device = 7) {
    SDL_Event ev{};
    ev.type = type;
    ev.tfinger.touchId = device;
    ev.tfinger.fingerId = which;
    ev.tfinger.windowID = id;
    ev.tfinger.x = x;
    ev.tfinger.y = y;
    SDL_PushEvent(&ev);
  };
  finger(SDL_FINGERDOWN, 1, 0.25f, 0.5f);
  finger(SDL_FINGERDOWN, 2, 0.75f, 0.75f);              // a second finger meanwhile
  finger(SDL_FINGERUP, 2, 0.75f, 0.75f);                // and its release
  finger(SDL_FINGERUP, 1, 0.5f, 0.25f);
  finger(SDL_FINGERDOWN, 3, 0.1f, 0.1f, SDL_MOUSE_TOUCHID);  // a click SDL copied as a touch
  platform::AdvanceClock(1);
  EXPECT_EQ(seen, (std::vector<std::string>{"down 2 160,240", "up 2 320,120"}));
  App.Path = saved;
  std::filesystem::remove_all(tmpl);
}

std::vector<std::pair<UINT, WPARAM>> hooked;
WNDPROC previous = nullptr;
LRESULT Hook(HWND h, UINT m, WPARAM w, LPARAM l) {
  hooked.push_back({m, w});
  return CallWindowProcA(previous, h, m, w, l);
}

TEST_F(Platform, PostedMessagesAndInputPassThroughTheHookToTheForm) {
  platform::Form form;
  std::vector<std::string> seen;
  form.OnMouseDown = [&](int16_t b, int16_t, float x, float y) {
    seen.push_back("down " + std::to_string(b) + " " + std::to_string(int(x)) + "," +
                   std::to_string(int(y)));
  };
  form.OnMouseUp = [&](int16_t b, int16_t, float, float) { seen.push_back("up " + std::to_string(b)); };
  form.OnKeyDown = [&](int16_t k, int16_t) { seen.push_back("key " + std::to_string(k)); };
  hooked.clear();
  previous = reinterpret_cast<WNDPROC>(
      SetWindowLongA(form.hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Hook)));
  ASSERT_NE(previous, nullptr);

  EXPECT_TRUE(PostMessageA(form.hWnd, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 7));
  EXPECT_FALSE(PostMessageA(nullptr, MM_MCINOTIFY, 1, 0));
  // Real input through SDL's queue, as the window system would deliver it.
  SDL_Event ev{};
  ev.type = SDL_MOUSEBUTTONDOWN;
  ev.button.windowID = SDL_GetWindowID(SDL_GetWindowFromID(1));
  Uint32 id = 0;
  for (Uint32 i = 1; i < 64 && !id; ++i)
    if (SDL_Window* w = SDL_GetWindowFromID(i); w && SDL_GetWindowData(w, "hwnd") == form.hWnd) id = i;
  ASSERT_NE(id, 0u);
  ev.button.windowID = id;
  ev.button.button = SDL_BUTTON_RIGHT;
  ev.button.x = 100;
  ev.button.y = 120;
  SDL_PushEvent(&ev);
  ev.type = SDL_MOUSEBUTTONUP;
  ev.button.button = SDL_BUTTON_MIDDLE;
  SDL_PushEvent(&ev);
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.windowID = id;
  key.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&key);
  platform::AdvanceClock(1);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "down 2 100,120");
  EXPECT_EQ(seen[1], "up 4");
  EXPECT_EQ(seen[2], "key 27");
  ASSERT_GE(hooked.size(), 4u);
  bool sawNotify = false;
  for (auto& h : hooked) sawNotify |= h.first == MM_MCINOTIFY && h.second == MCI_NOTIFY_SUCCESSFUL;
  EXPECT_TRUE(sawNotify);

  // Putting the old procedure back takes the hook out of the chain.
  SetWindowLongA(form.hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  hooked.clear();
  PostMessageA(form.hWnd, MM_MCINOTIFY, MCI_NOTIFY_ABORTED, 7);
  platform::AdvanceClock(1);
  EXPECT_TRUE(hooked.empty());
}

TEST_F(Platform, TasksPostedFromAnotherThreadRunOnTheLoop) {
  int ran = 0;
  std::thread other([&] { platform::PostToMainThread([&] { ++ran; }); });
  other.join();
  EXPECT_EQ(ran, 0);
  platform::AdvanceClock(1);
  EXPECT_EQ(ran, 1);
}

// On a real X display the loop waits on the server's connection itself rather than through
// SDL: a task posted from another thread (the mixer's end of a piece) must still end that wait
// at once, not at the next timer or after the loop's longest sleep.
TEST(RealDisplay, ATaskPostedFromAnotherThreadEndsTheWaitAtOnce) {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (!driver || std::strcmp(driver, "x11") != 0)
    GTEST_SKIP() << "needs an X display; ctest runs it under Xvfb as platform_display";
  platform::UseRealClock();
  platform::Form form;
  ASSERT_NE(SdlWindowOf(form.hWnd), nullptr);
  using Clock = std::chrono::steady_clock;
  std::vector<double> late;
  std::thread poster([&] {
    for (int i = 0; i < 7; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(130));  // the loop is asleep by now
      const auto posted = Clock::now();
      platform::PostToMainThread([&late, posted] {
        late.push_back(std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
      });
    }
    platform::PostToMainThread([&form] { form.Unload(); });
  });
  EXPECT_EQ(platform::RunMessageLoop(form), 0);
  poster.join();
  ASSERT_EQ(late.size(), 7u);
  std::sort(late.begin(), late.end());
  EXPECT_LT(late[3], 20.0) << "a posted task waited " << late[3] << " ms (median)";
}

TEST_F(Platform, UnloadRunsTheHandlerAndHonoursCancel) {
  platform::Form form;
  int calls = 0;
  bool cancel = true;
  form.OnUnload = [&](int16_t& c) {
    ++calls;
    if (cancel) c = -1;
  };
  PostMessageA(form.hWnd, WM_CLOSE, 0, 0);  // the close button
  platform::AdvanceClock(1);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(form.Loaded());
  cancel = false;
  form.Unload();
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(form.Loaded());
  form.Unload();
  EXPECT_EQ(calls, 2);  // once only
  EXPECT_EQ(platform::RunMessageLoop(form), 0);  // returns at once for an unloaded form
}

TEST_F(Platform, CopyIntoTheWindowDeviceContextShowsInIt) {
  platform::Form form;
  form.Visible = true;
  Canvas frame(640, 480, RGB(0, 0, 0));
  frame.Fill(639, 479, 1, 1, RGB(1, 2, 3));
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, frame.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(form.hDC, 639, 479), RGB(1, 2, 3));
  platform::Present();
  // The same frame again is accepted (and costs nothing).
  EXPECT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, frame.dc, 0, 0, SRCCOPY));
  frame.Fill(0, 0, 1, 1, RGB(4, 5, 6));
  EXPECT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, frame.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(form.hDC, 0, 0), RGB(4, 5, 6));
  form.Caption = std::string("Zorbilo");
  EXPECT_EQ(form.Caption.get(), "Zorbilo");
}

// ---- A desktop scaled by a whole factor ----------------------------------------------------

TEST(DesktopScale, WholeFactorFromGdkScaleOrXftDpi) {
  using platform::detail::DesktopScaleFrom;
  const char* dpi192 = "Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n";
  // GDK_SCALE, when it is a whole number of at least 1, is what the user asked for.
  EXPECT_EQ(DesktopScaleFrom("2", nullptr), 2);
  EXPECT_EQ(DesktopScaleFrom("3", "Xft.dpi:\t96\n"), 3);
  EXPECT_EQ(DesktopScaleFrom("1", dpi192), 1);
  // Otherwise the X resource Xft.dpi: a factor k from 96k dots per inch on.
  EXPECT_EQ(DesktopScaleFrom(nullptr, dpi192), 2);
  EXPECT_EQ(DesktopScaleFrom("", "Xft.dpi:\t191\n"), 1);
  EXPECT_EQ(DesktopScaleFrom(nullptr, "Xft.dpi:\t288\n"), 3);
  EXPECT_EQ(DesktopScaleFrom(nullptr, "Xft.dpi: 240.5\n"), 2);  // 2.5 is not whole: round down
  EXPECT_EQ(DesktopScaleFrom(nullptr, "Xft.dpi:\t96"), 1);
  // Nonsense anywhere falls back to the next source, and finally to 1.
  EXPECT_EQ(DesktopScaleFrom("0", dpi192), 2);
  EXPECT_EQ(DesktopScaleFrom("-2", nullptr), 1);
  EXPECT_EQ(DesktopScaleFrom("2x", nullptr), 1);
  EXPECT_EQ(DesktopScaleFrom("99999999999999999999", nullptr), 8);
  EXPECT_EQ(DesktopScaleFrom(nullptr, "Xft.dpi:\tlots\n"), 1);
  EXPECT_EQ(DesktopScaleFrom(nullptr, "Xft.dpi:\t-192\n"), 1);
  EXPECT_EQ(DesktopScaleFrom(nullptr, "Xft.dpi:\t1e300\n"), 1);
  EXPECT_EQ(DesktopScaleFrom(nullptr, "MyXft.dpi:\t192\n"), 1);  // another resource's name
  EXPECT_EQ(DesktopScaleFrom(nullptr, ""), 1);
}

TEST_F(Platform, ScaledDesktopEnlargesTheWindowWhileTheGameKeepsItsUnits) {
  platform::Form form;
  std::vector<std::pair<int, int>> downs;
  form.OnMouseDown = [&](int16_t, int16_t, float x, float y) { downs.push_back({int(x), int(y)}); };
  platform::SetDesktopScale(2);
  SetWindowPos(form.hWnd, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
  form.Visible = true;
  SDL_Window* sw = SdlWindowOf(form.hWnd);
  ASSERT_NE(sw, nullptr);
  int pw = 0, ph = 0;
  SDL_GetWindowSize(sw, &pw, &ph);
  EXPECT_EQ(pw, 1280);
  EXPECT_EQ(ph, 960);

  // The game's view is unchanged: client area, window rectangle and screen in its own units.
  RECT client{}, win{}, desk{};
  GetClientRect(form.hWnd, &client);
  GetWindowRect(form.hWnd, &win);
  GetWindowRect(GetDesktopWindow(), &desk);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_EQ(win.right - win.left, 640);
  EXPECT_EQ(win.bottom - win.top, 480);
  int dx = 0, dy = 0;
  SDL_GetWindowPosition(sw, &dx, &dy);
  EXPECT_EQ(win.left, dx / 2);
  EXPECT_EQ(win.top, dy / 2);
  SDL_DisplayMode mode;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
  EXPECT_EQ(desk.right, mode.w / 2);

  // Each pixel shows as a sharp 2x2 block.
  Canvas frame(640, 480, RGB(0, 0, 0));
  frame.Fill(10, 5, 1, 1, RGB(200, 100, 50));
  frame.Fill(639, 479, 1, 1, RGB(1, 2, 3));
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, frame.dc, 0, 0, SRCCOPY));
  platform::Present();
  for (auto [x, y] : {std::pair{20, 10}, {21, 10}, {20, 11}, {21, 11}})
    EXPECT_EQ(ShownPixel(sw, x, y), 0xC86432u) << x << "," << y;
  EXPECT_EQ(ShownPixel(sw, 19, 10), 0u);
  EXPECT_EQ(ShownPixel(sw, 22, 12), 0u);
  EXPECT_EQ(ShownPixel(sw, 1279, 959), 0x010203u);
  EXPECT_EQ(ShownPixel(sw, 1277, 957), 0u);

  // The mouse arrives in the game's units: the block (100, 50) covers 200..201 x 100..101.
  SDL_Event ev{};
  ev.type = SDL_MOUSEBUTTONDOWN;
  ev.button.windowID = SDL_GetWindowID(sw);
  ev.button.button = SDL_BUTTON_LEFT;
  for (auto [x, y] : {std::pair{200, 100}, {201, 101}, {1279, 959}}) {
    ev.button.x = x;
    ev.button.y = y;
    SDL_PushEvent(&ev);
  }
  platform::AdvanceClock(1);
  EXPECT_EQ(downs, (std::vector<std::pair<int, int>>{{100, 50}, {100, 50}, {639, 479}}));

  // The cursor clip, given in the game's screen units, confines the enlarged window's pixels.
  RECT clip{win.left + 10, win.top + 20, win.left + 650, win.top + 500};
  ASSERT_TRUE(ClipCursor(&clip));
  const SDL_Rect* confined = SDL_GetWindowMouseRect(sw);
  ASSERT_NE(confined, nullptr);
  EXPECT_EQ(confined->x, 20);
  EXPECT_EQ(confined->y, 40);
  EXPECT_EQ(confined->w, 1280);
  EXPECT_EQ(confined->h, 960);
  ClipCursor(nullptr);

  // Back to an unscaled desktop: the window is its client size again.
  platform::SetDesktopScale(1);
  SDL_GetWindowSize(sw, &pw, &ph);
  EXPECT_EQ(pw, 640);
  EXPECT_EQ(ph, 480);
  platform::SetDesktopScale(0);
}

TEST_F(Platform, FrameEqualToTheOneShownIsNotPresentedAgain) {
  platform::Form form;
  form.Visible = true;
  Canvas a(640, 480, RGB(30, 60, 90));
  Canvas b(640, 480, RGB(30, 60, 90));  // another buffer with the very same pixels
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, a.dc, 0, 0, SRCCOPY));
  platform::Present();
  const uint64_t shown = platform::PresentCount();
  // Redrawn with identical pixels, as the title screen is every frame: nothing goes out.
  for (int i = 0; i < 3; ++i) {
    a.Fill(0, 0, 640, 480, RGB(30, 60, 90));
    ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, a.dc, 0, 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, b.dc, 0, 0, SRCCOPY));
    platform::Present();
  }
  EXPECT_EQ(platform::PresentCount(), shown);
  // One pixel different, anywhere, even in the last row: presented once.
  b.Fill(639, 479, 1, 1, RGB(31, 60, 90));
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, b.dc, 0, 0, SRCCOPY));
  platform::Present();
  platform::Present();
  EXPECT_EQ(platform::PresentCount(), shown + 1);
  EXPECT_EQ(GetPixel(form.hDC, 639, 479), RGB(31, 60, 90));
  // A part of the window that changes is presented too.
  Canvas patch(10, 10, RGB(1, 1, 1));
  ASSERT_TRUE(BitBlt(form.hDC, 100, 100, 10, 10, patch.dc, 0, 0, SRCCOPY));
  platform::Present();
  EXPECT_EQ(platform::PresentCount(), shown + 2);

  // The same buffer taken again after changes in a few of its rows (by a copy, by sprite
  // masks, by text): each change reaches the window, whatever rows it is in.
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, a.dc, 0, 0, SRCCOPY));
  platform::Present();
  ASSERT_TRUE(BitBlt(a.dc, 320, 240, 1, 1, patch.dc, 0, 0, SRCCOPY));
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, a.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(form.hDC, 320, 240), RGB(1, 1, 1));
  ASSERT_TRUE(BitBlt(a.dc, 5, 7, 1, 1, patch.dc, 0, 0, SRCAND));
  ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, a.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(form.hDC, 5, 7), RGB(0, 0, 0));
  LOGFONTA lf{};
  lf.lfHeight = 20;
  HFONT font = CreateFontIndirectA(&lf);
  SelectObject(a.dc, font);
  SetBkMode(a.dc, OPAQUE);
  const uint64_t beforeText = platform::PresentCount();
  if (TextOutA(a.dc, 0, 400, "X", 1)) {
    ASSERT_TRUE(BitBlt(form.hDC, 0, 0, 640, 480, a.dc, 0, 0, SRCCOPY));
    platform::Present();
    EXPECT_EQ(platform::PresentCount(), beforeText + 1);
    EXPECT_EQ(GetPixel(form.hDC, 1, 401), GetPixel(a.dc, 1, 401));
  }
  DeleteObject(font);
}

// ---- Full screen ---------------------------------------------------------------------------

TEST_F(Platform, FullScreenShowsThePictureScaledAndRestoresTheDesktop) {
  platform::Form form;
  platform::DirectX7 dx;
  EXPECT_EQ(dx.DirectDrawCreate("{bogus}"), nullptr);
  auto dd = dx.DirectDrawCreate("");
  ASSERT_NE(dd, nullptr);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE), 0);
  EXPECT_NE(dd->SetDisplayMode(640, 480, 7, 0, 0), 0);  // no such depth
  EXPECT_EQ(platform::DisplayScale(), 0);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), 0);
  EXPECT_GE(platform::DisplayScale(), 1);
  RECT desk;
  GetWindowRect(GetDesktopWindow(), &desk);
  EXPECT_EQ(desk.right, 640);  // the screen is 640x480 as far as the game can tell
  EXPECT_EQ(desk.bottom, 480);
  HDC screen = GetDC(GetDesktopWindow());
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 640);
  ReleaseDC(GetDesktopWindow(), screen);

  EXPECT_EQ(dd->RestoreDisplayMode(), 0);
  EXPECT_EQ(platform::DisplayScale(), 0);
  GetWindowRect(GetDesktopWindow(), &desk);
  EXPECT_GT(desk.right, 0);
  EXPECT_EQ(dd->RestoreDisplayMode(), 0);  // twice is harmless
}

}  // namespace
