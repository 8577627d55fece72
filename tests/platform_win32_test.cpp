// The Windows back end on its own: timers and their grid, the game's view of geometry around a
// real frame, raster operations on pictures, cursors, the window-procedure hook, the caption in
// UTF-8, and the full-screen stand-in on a real screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "picture_files.h"
#include "platform/mMain.h"
#include "platform/testing.h"

namespace {

// What the system itself says, past the layer's game view.
#pragma push_macro("GetClientRect")
#pragma push_macro("GetWindowRect")
#pragma push_macro("GetClipCursor")
#undef GetClientRect
#undef GetWindowRect
#undef GetClipCursor
RECT SystemClient(HWND h) {
  RECT r{};
  ::GetClientRect(h, &r);
  return r;
}
RECT SystemWindow(HWND h) {
  RECT r{};
  ::GetWindowRect(h, &r);
  return r;
}
RECT SystemClip() {
  RECT r{};
  ::GetClipCursor(&r);
  return r;
}
#pragma pop_macro("GetClipCursor")
#pragma pop_macro("GetWindowRect")
#pragma pop_macro("GetClientRect")

std::vector<uint8_t> Solid(int w, int h, COLORREF c) {
  return MakeBmp(w, h, [c](int, int) { return c; });
}

// A 32x32 icon of 8-bit colour: an opaque red square in the middle, see-through around it.
std::vector<uint8_t> MakeIco() {
  std::vector<uint8_t> b(6 + 16 + 40 + 256 * 4 + 32 * 32 + 32 * 4, 0);
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  put16(2, 1);
  put16(4, 1);
  b[6] = 32;
  b[7] = 32;
  put16(6 + 4, 1);
  put16(6 + 6, 8);
  put32(6 + 8, static_cast<uint32_t>(b.size() - 22));
  put32(6 + 12, 22);
  const size_t h = 22;
  put32(h, 40);
  put32(h + 4, 32);
  put32(h + 8, 64);
  put16(h + 12, 1);
  put16(h + 14, 8);
  const size_t table = h + 40;
  b[table + 4 * 1 + 2] = 0xFF;  // colour 1: red
  const size_t pixels = table + 256 * 4, mask = pixels + 32 * 32;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const bool inside = x >= 8 && x < 24 && y >= 8 && y < 24;
      b[pixels + static_cast<size_t>(y) * 32 + x] = inside ? 1 : 0;
      if (!inside)
        b[mask + static_cast<size_t>(y) * 4 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  return b;
}

class Win32 : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseManualClock(1000);
    platform::SimulateWindowFrame(-1, -1, -1, -1);
    ClipCursor(nullptr);
  }
  void TearDown() override {
    ClipCursor(nullptr);
    platform::SimulateWindowFrame(-1, -1, -1, -1);
  }
};

// ---- Timers --------------------------------------------------------------------------------

TEST_F(Win32, TimersKeepTheirGridOnTheManualClock) {
  platform::Timer game(30, true), refresh(10, true);
  std::vector<char> order;
  game.Tick = [&] { order.push_back('g'); };
  refresh.Tick = [&] { order.push_back('r'); };
  platform::AdvanceClock(60);
  EXPECT_EQ(std::string(order.begin(), order.end()), "rrgrrrgr");  // 10 20 30 30 40 50 60 60
  order.clear();
  refresh.Interval = 10;  // restarts from now (1060): next at 1070
  platform::AdvanceClock(5);
  game.Enabled = false;
  game.Enabled = true;  // restarts from 1065: next at 1095
  platform::AdvanceClock(30);
  EXPECT_EQ(std::string(order.begin(), order.end()), "rrrg");  // 1070 1080 1090 1095
}

TEST(Win32RealClock, TenMillisecondTimerTicksAHundredTimesASecond) {
  // WM_TIMER's 15.6 ms steps would give 64; the loop's waitable timer keeps the 10 ms grid. The
  // best of three seconds, so that a busy machine cannot fail it.
  platform::UseRealClock();
  int best = 0;
  for (int run = 0; run < 3 && best < 90; ++run) {
    platform::Form form;
    platform::Timer refresh(10, false), stop(1000, false);
    int ticks = 0;
    refresh.Tick = [&] { ++ticks; };
    stop.Tick = [&] { form.Unload(); };
    refresh.Enabled = true;
    stop.Enabled = true;
    platform::RunMessageLoop(form);
    EXPECT_LE(ticks, 100);
    best = std::max(best, ticks);
  }
  EXPECT_GE(best, 90);
  platform::UseManualClock(1000);
}

// ---- Geometry ------------------------------------------------------------------------------

TEST_F(Win32, OuterSizeIsTheClientPlusTheSystemsFrame) {
  platform::Form form;
  ASSERT_NE(form.hWnd, nullptr);
  // The game's own sizing: outer 640x480, see what the frame took, grow by exactly that.
  ASSERT_TRUE(SetWindowPos(form.hWnd, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER));
  RECT client{};
  ASSERT_TRUE(GetClientRect(form.hWnd, &client));
  EXPECT_LT(client.right, 640);  // the system draws a frame around an ordinary window
  ASSERT_TRUE(SetWindowPos(form.hWnd, nullptr, 0, 0, 1280 - client.right, 960 - client.bottom,
                           SWP_NOMOVE | SWP_NOZORDER));
  ASSERT_TRUE(GetClientRect(form.hWnd, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  // At 96 dpi the game's view is the system's.
  const RECT sys = SystemClient(form.hWnd);
  EXPECT_EQ(sys.right, 640);
  EXPECT_EQ(sys.bottom, 480);
  RECT outer{};
  ASSERT_TRUE(GetWindowRect(form.hWnd, &outer));
  const RECT real = SystemWindow(form.hWnd);
  EXPECT_EQ(outer.right - outer.left, real.right - real.left);
  EXPECT_EQ(outer.bottom - outer.top, real.bottom - real.top);

  // A popup has no frame: the client area is the whole window.
  SetWindowLongA(form.hWnd, GWL_STYLE, WS_POPUP);
  ASSERT_TRUE(SetWindowPos(form.hWnd, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER));
  EXPECT_EQ(SystemWindow(form.hWnd).right - SystemWindow(form.hWnd).left, 640);
  EXPECT_EQ(SystemClient(form.hWnd).bottom, 480);
  EXPECT_EQ(GetWindowLongA(form.hWnd, GWL_STYLE), WS_POPUP);
}

TEST_F(Win32, ClipRectangleReachesTheSystemAndIsFreed) {
  platform::Form form;
  form.Visible = true;
  RECT screen = SystemClip();
  RECT want{10, 20, 110, 220};
  ASSERT_TRUE(ClipCursor(&want));
  RECT got{};
  GetClipCursor(&got);
  EXPECT_EQ(got.left, 10);
  EXPECT_EQ(got.bottom, 220);
  const RECT sys = SystemClip();
  EXPECT_EQ(sys.right - sys.left, 100);
  EXPECT_EQ(sys.bottom - sys.top, 200);
  RECT inverted{5, 5, 4, 4};
  EXPECT_FALSE(ClipCursor(&inverted));
  ASSERT_TRUE(ClipCursor(nullptr));
  const RECT freed = SystemClip();
  EXPECT_EQ(freed.right - freed.left, screen.right - screen.left);
}

// ---- GDI on pictures -----------------------------------------------------------------------

TEST_F(Win32, RasterOperationsCombinePicturesPixelByPixel) {
  platform::Picture dst, src;
  ASSERT_TRUE(dst.Load(Solid(4, 4, RGB(0x12, 0x34, 0x56)).data(), Solid(4, 4, 0).size()));
  ASSERT_TRUE(src.Load(
      MakeBmp(4, 4,
              [](int x, int) { return x < 2 ? RGB(0xF0, 0x0F, 0x00) : RGB(0x0F, 0xFF, 0xF0); })
          .data(),
      Solid(4, 4, 0).size()));
  EXPECT_EQ(GetPixel(dst.hDC, 0, 0), RGB(0x12, 0x34, 0x56));
  ASSERT_TRUE(BitBlt(dst.hDC, 0, 0, 4, 2, src.hDC, 0, 0, SRCPAINT));
  ASSERT_TRUE(BitBlt(dst.hDC, 0, 2, 4, 2, src.hDC, 0, 0, SRCAND));
  EXPECT_EQ(GetPixel(dst.hDC, 0, 0), RGB(0x12 | 0xF0, 0x34 | 0x0F, 0x56));
  EXPECT_EQ(GetPixel(dst.hDC, 3, 1), RGB(0x12 | 0x0F, 0xFF, 0x56 | 0xF0));
  EXPECT_EQ(GetPixel(dst.hDC, 1, 2), RGB(0x12 & 0xF0, 0x34 & 0x0F, 0x00));
  EXPECT_EQ(GetPixel(dst.hDC, 2, 3), RGB(0x12 & 0x0F, 0x34, 0x56 & 0xF0));
  // A transfer hanging over the edges copies what overlaps and nothing else.
  ASSERT_TRUE(BitBlt(dst.hDC, 3, 3, 4, 4, src.hDC, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst.hDC, 3, 3), RGB(0xF0, 0x0F, 0x00));
  EXPECT_EQ(GetPixel(dst.hDC, 4, 4), CLR_INVALID);
}

TEST_F(Win32, PicturesRefuseBrokenFilesAndKeepWhatTheyHad) {
  platform::Picture pic;
  const auto good = Solid(3, 2, RGB(1, 2, 3));
  ASSERT_TRUE(pic.Load(good.data(), good.size()));
  auto truncated = good;
  truncated.resize(good.size() - 1);
  auto huge = good;
  const uint32_t side = 100000;
  std::memcpy(&huge[18], &side, 4);
  auto badDepth = good;
  badDepth[28] = 7;
  auto pastEnd = good;
  const uint32_t offset = static_cast<uint32_t>(good.size());
  std::memcpy(&pastEnd[10], &offset, 4);
  auto ico = MakeIco();
  auto lyingIco = ico;
  const uint32_t bytes = 1u << 30;
  std::memcpy(&lyingIco[6 + 8], &bytes, 4);
  for (const auto* bad : {&truncated, &huge, &badDepth, &pastEnd, &lyingIco}) {
    EXPECT_FALSE(pic.Load(bad->data(), bad->size()));
    EXPECT_EQ(pic.Width, 3);
    EXPECT_EQ(GetPixel(pic.hDC, 2, 1), RGB(1, 2, 3));
  }
  EXPECT_FALSE(pic.Load(nullptr, 10));
  const char text[] = "not a picture at all";
  EXPECT_FALSE(pic.Load(text, sizeof text));
  // An icon: colours from its palette, sized by its header (the mask halves the height).
  ASSERT_TRUE(pic.Load(ico.data(), ico.size()));
  EXPECT_EQ(pic.Width, 32);
  EXPECT_EQ(pic.Height, 32);
  EXPECT_EQ(GetPixel(pic.hDC, 16, 16), RGB(255, 0, 0));
}

// ---- The form ------------------------------------------------------------------------------

TEST_F(Win32, CursorFromAPictureHasItsHotSpotAtTheCentre) {
  platform::Form form;
  platform::Picture icon;
  const auto ico = MakeIco();
  ASSERT_TRUE(icon.Load(ico.data(), ico.size()));
  form.MouseIcon = &icon;
  form.MousePointer = 99;
  // The cursor the window shows over its client area.
  auto shown = [&] {
    SendMessageW(form.hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(form.hWnd),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  HCURSOR cursor = shown();
  ICONINFO ii{};
  ASSERT_TRUE(GetIconInfo(cursor, &ii));
  EXPECT_FALSE(ii.fIcon);
  EXPECT_EQ(ii.xHotspot, 16u);
  EXPECT_EQ(ii.yHotspot, 16u);
  BITMAP bm{};
  GetObjectW(ii.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 32);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  form.MousePointer = 1;
  const HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  EXPECT_EQ(shown(), arrow);
  // A picture that goes before its form leaves the arrow, not a dead cursor.
  {
    platform::Picture brief;
    ASSERT_TRUE(brief.Load(ico.data(), ico.size()));
    form.MouseIcon = &brief;
    form.MousePointer = 99;
    EXPECT_NE(shown(), arrow);
  }
  EXPECT_EQ(shown(), arrow);
  form.MouseIcon = nullptr;
}

LRESULT CALLBACK Hook(HWND, UINT, WPARAM, LPARAM);
WNDPROC previous = nullptr;
std::vector<UINT> hooked;
LRESULT CALLBACK Hook(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == MM_MCINOTIFY || msg == WM_KEYDOWN) hooked.push_back(msg);
  return CallWindowProcA(previous, h, msg, w, l);
}

TEST_F(Win32, HookedProcedureSeesMessagesFirstAndPassesThemOn) {
  platform::Form form;
  std::vector<int16_t> keys;
  form.OnKeyDown = [&](int16_t key, int16_t) { keys.push_back(key); };
  hooked.clear();
  // The sound module's call, as the game writes it: a 64-bit procedure through SetWindowLongA.
  previous = reinterpret_cast<WNDPROC>(
      SetWindowLongA(form.hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Hook)));
  ASSERT_NE(previous, nullptr);
  PostMessageA(form.hWnd, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 0);
  PostMessageA(form.hWnd, WM_KEYDOWN, 27, 0);
  platform::AdvanceClock(0);
  EXPECT_EQ(hooked, (std::vector<UINT>{MM_MCINOTIFY, WM_KEYDOWN}));
  EXPECT_EQ(keys, std::vector<int16_t>{27});
  SetWindowLongA(form.hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  PostMessageA(form.hWnd, WM_KEYDOWN, 27, 0);
  platform::AdvanceClock(0);
  EXPECT_EQ(hooked.size(), 2u);
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_EQ(SetWindowLongA(nullptr, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Hook)), 0);
}

TEST_F(Win32, CaptionIsUtf8AndTheCloseButtonUnloads) {
  platform::Form form;
  form.Caption = "超・Zorbilo";
  wchar_t title[32] = {};
  GetWindowTextW(form.hWnd, title, 32);
  EXPECT_STREQ(title, L"超・Zorbilo");
  int unloads = 0;
  form.OnUnload = [&](int16_t& cancel) { cancel = ++unloads == 1 ? -1 : 0; };
  PostMessageA(form.hWnd, WM_CLOSE, 0, 0);
  platform::AdvanceClock(0);
  EXPECT_TRUE(form.Loaded());  // the first one was cancelled
  PostMessageA(form.hWnd, WM_CLOSE, 0, 0);
  platform::AdvanceClock(0);
  EXPECT_FALSE(form.Loaded());
  EXPECT_EQ(unloads, 2);
  EXPECT_TRUE(IsWindow(form.hWnd));  // the window stays until the form object goes

  // Logging off closes it the same way; a session that goes on does not.
  platform::Form other;
  bool unloaded = false;
  other.OnUnload = [&](int16_t&) { unloaded = true; };
  SendMessageW(other.hWnd, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(other.Loaded());
  SendMessageW(other.hWnd, WM_ENDSESSION, TRUE, 0);
  EXPECT_FALSE(other.Loaded());
  EXPECT_TRUE(unloaded);
}

TEST_F(Win32, CommandsAreLoggedBeforeTheSystemAnswers) {
  std::vector<MciLogEntry> log;
  mciSetLog(&log);
  platform::Form form;
  EXPECT_NE(mciSendStringA("open \"no such file.wav\" alias x", nullptr, 0, nullptr), 0u);
  EXPECT_NE(mciSendStringA("play x notify", nullptr, 0, form.hWnd), 0u);
  EXPECT_NE(mciSendStringA("", nullptr, 0, nullptr), 0u);
  mciSetLog(nullptr);
  mciSendStringA("close x", nullptr, 0, nullptr);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1].command, "play x notify");
  EXPECT_EQ(log[1].callback, form.hWnd);
}

// ---- The full-screen stand-in --------------------------------------------------------------

TEST_F(Win32, FullScreenCoversTheMonitorWithTheWholeFactorPictureCentred) {
  platform::Form form;
  form.Visible = true;
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  // The largest whole factor that fits, e.g. 2 on a 1280x1024 screen with the picture 32 px down.
  const int scale = std::min(sw / 640, sh / 480), offX = (sw - 640 * scale) / 2,
            offY = (sh - 480 * scale) / 2;
  platform::DirectX7 dx;
  auto dd = dx.DirectDrawCreate("");
  ASSERT_NE(dd, nullptr);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), 0);
  EXPECT_EQ(platform::DisplayScale(), scale);
  const RECT real = SystemWindow(form.hWnd);
  EXPECT_EQ(real.left, 0);
  EXPECT_EQ(real.right, sw);
  EXPECT_EQ(real.bottom, sh);
  // The game's screen is 640x480 and so is everything it asks about.
  RECT desk{}, win{};
  GetWindowRect(GetDesktopWindow(), &desk);
  EXPECT_EQ(desk.right, 640);
  EXPECT_EQ(desk.bottom, 480);
  GetWindowRect(form.hWnd, &win);
  EXPECT_EQ(win.right - win.left, 640);
  HDC screen = GetDC(GetDesktopWindow());
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 640);
  ReleaseDC(GetDesktopWindow(), screen);
  RECT clip{0, 0, 640, 480};
  ClipCursor(&clip);
  const RECT sysClip = SystemClip();
  EXPECT_EQ(sysClip.left, offX);
  EXPECT_EQ(sysClip.top, offY);
  EXPECT_EQ(sysClip.right, offX + 640 * scale);

  // A click on the screen arrives in game pixels.
  std::vector<std::pair<float, float>> clicks;
  form.OnMouseDown = [&](int16_t, int16_t, float x, float y) { clicks.push_back({x, y}); };
  const LPARAM at = MAKELPARAM(offX + 100 * scale + scale - 1, offY + 50 * scale);
  PostMessageA(form.hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(form.hWnd, WM_LBUTTONUP, 0, at);
  platform::AdvanceClock(0);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].first, 100.0f);
  EXPECT_EQ(clicks[0].second, 50.0f);

  // The picture on the screen: each game pixel a scale x scale square, black around.
  platform::Picture red;
  ASSERT_TRUE(red.Load(Solid(640, 480, RGB(200, 0, 0)).data(), Solid(640, 480, 0).size()));
  BitBlt(form.hDC, 0, 0, 640, 480, red.hDC, 0, 0, SRCCOPY);
  platform::Present();
  HDC window = ::GetDC(form.hWnd);  // the window covers the screen from (0, 0)
  EXPECT_EQ(GetPixel(window, offX, offY), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(window, offX + 640 * scale - 1, offY + 480 * scale - 1), RGB(200, 0, 0));
  if (offY > 0) {
    EXPECT_EQ(GetPixel(window, offX, offY - 1), RGB(0, 0, 0));
  }
  ::ReleaseDC(form.hWnd, window);

  ClipCursor(nullptr);
  EXPECT_EQ(dd->RestoreDisplayMode(), 0);
  EXPECT_EQ(platform::DisplayScale(), 0);
  EXPECT_EQ(SystemClient(form.hWnd).right, 640);
  EXPECT_EQ(GetWindowLongPtrW(form.hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

}  // namespace
