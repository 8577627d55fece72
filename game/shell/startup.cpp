// The form's life: construction with its controls, start-up (Form_Load) and shutdown
// (Form_Unload). Every step that fails is skipped: platform calls report failure by their result,
// which start-up does not look at.
#include <algorithm>
#include <cstring>

#include "common/App.h"
#include "common/Settings.h"
#include "game/assets/Assets.h"
#include "game/shell/fMain.h"
#include "game/sound/Sound.h"

namespace {

constexpr LONG_PTR kPopupVisible = WS_POPUP | WS_VISIBLE;  // 0x90000000
constexpr int32_t kFullScreenExclusive = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE;

// Sheet positions of the 20x20 digit glyphs 0..9.
constexpr IntPoint kDigitGlyphs[10] = {{0, 100},   {40, 100}, {0, 120},  {40, 120}, {80, 120},
                                       {120, 120}, {0, 140},  {40, 140}, {80, 140}, {120, 140}};

int16_t Flag(bool on) {
  return on ? int16_t{-1} : int16_t{0};
}

}  // namespace

fMain::fMain() {
  picImage.Load(assets::sheet_bmp, assets::sheet_bmp_size);
  icoSwat1.Load(assets::swat1_ico, assets::swat1_ico_size);
  icoSwat2.Load(assets::swat2_ico, assets::swat2_ico_size);
  Caption = "Zorbilo";
  Icon = &icoSwat1;

  // The sound module is released before the window goes, so that no alias or hook outlives it.
  OnUnload = [this](int16_t& Cancel) {
    Form_Unload(Cancel);
    if (!Cancel && hookWnd && hookWnd == hWnd) SoundTerm();
  };
  OnKeyDown = [this](int16_t KeyCode, int16_t Shift) { Form_KeyDown(KeyCode, Shift); };
  OnMouseDown = [this](int16_t Button, int16_t Shift, float X, float Y) {
    Form_MouseDown(Button, Shift, X, Y);
  };
  OnMouseUp = [this](int16_t Button, int16_t Shift, float X, float Y) {
    Form_MouseUp(Button, Shift, X, Y);
  };
  timTimer.Tick = [this] { timTimer_Timer(); };
  timGame.Tick = [this] { timGame_Timer(); };
  timRefresh.Tick = [this] { timRefresh_Timer(); };
}

fMain::~fMain() {
  // A form that was never unloaded (tests make many) still gives back what it holds.
  if (hookWnd && hookWnd == hWnd) SoundTerm();
  if (backDC) DeleteDC(backDC);
  if (backBitmap) DeleteObject(backBitmap);
  if (hudFont) DeleteObject(hudFont);
}

LOGFONTA fMain::HudFontRecord() {
  LOGFONTA lf;
  std::memset(&lf, 0, sizeof lf);
  lf.lfHeight = 16;
  lf.lfWeight = FW_BOLD;
  const char face[] = "MS Gothic";
  std::memcpy(lf.lfFaceName, face, sizeof face);
  return lf;
}

void fMain::Form_Load() {
  auto step = [this](int n) {
    if (OnLoadStep) OnLoadStep(n);
  };

  // 1
  fullScreen = Flag(settings::IsOn(settings::Read(settings::kFullScreen)));
  step(1);

  // 2: 640x480 at the desktop's own colour depth.
  if (fullScreen) {
    HWND desktop = GetDesktopWindow();
    HDC screen = GetDC(desktop);
    int bpp = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(desktop, screen);
    if (!dx) dx = std::make_unique<platform::DirectX7>();
    ddraw = dx->DirectDrawCreate("");
    if (ddraw) {
      ddraw->SetCooperativeLevel(nullptr, kFullScreenExclusive);
      ddraw->SetDisplayMode(640, 480, bpp, 0, 0);
    }
  }
  step(2);

  // 3..7: the sound hook first, then the five effects.
  SoundInit(hWnd);
  step(3);
  sndStart = SoundOpen(App.Path + "/START.wav", 0);
  step(4);
  const int32_t layers = settings::IsOn(settings::Read(settings::kNoLayer)) ? 0 : 3;
  step(5);
  sndSwat = SoundOpen(App.Path + "/SWAT.wav", layers);
  sndMiss = SoundOpen(App.Path + "/MISS.wav", layers);
  step(6);
  sndClear = SoundOpen(App.Path + "/CLEAR.wav", 0);
  sndTimeUp = SoundOpen(App.Path + "/TIMEUP.wav", 0);
  step(7);

  // 8: window geometry.
  if (fullScreen) {
    SetWindowLongA(hWnd, GWL_STYLE, kPopupVisible);
    SetWindowPos(hWnd, HWND_TOPMOST, 0, 0, 640, 480, SWP_NOMOVE);
    SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  } else {
    // Size the outer window to 640x480, see what the frame took, and grow by exactly that.
    SetWindowPos(hWnd, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
    RECT client{};
    GetClientRect(hWnd, &client);
    SetWindowPos(hWnd, nullptr, 0, 0, 1280 - (client.right - client.left),
                 960 - (client.bottom - client.top), SWP_NOMOVE | SWP_NOZORDER);
  }
  step(8);

  // 9: the back buffer.
  backDC = CreateCompatibleDC(hDC);
  backBitmap = CreateCompatibleBitmap(hDC, 640, 480);
  SelectObject(backDC, backBitmap);
  step(9);

  // 10: the text font.
  const LOGFONTA lf = HudFontRecord();
  hudFont = CreateFontIndirectA(&lf);
  SelectObject(backDC, hudFont);
  SetBkMode(backDC, TRANSPARENT);
  step(10);

  // 11
  std::copy(std::begin(kDigitGlyphs), std::end(kDigitGlyphs), digitSrc.begin());
  step(11);

  // 12, 13
  showFps = Flag(settings::IsOn(settings::Read(settings::kShowFPS)));
  step(12);
  swatButton = settings::IsOn(settings::Read(settings::kRClick)) ? 2 : 1;
  step(13);

  // 14: the title screen of stage 1.
  stage = 1;
  step(14);

  // 15: refresh first, so the first frame drawn is shown at once.
  timRefresh.Enabled = true;
  timGame.Enabled = true;
  step(15);

  Visible = true;
  step(16);
}

void fMain::Form_Unload(int16_t& Cancel) {
  (void)Cancel;  // never set: closing always proceeds
  // The DC goes first, so that the bitmap and the font are no longer selected when deleted.
  if (backDC) {
    DeleteDC(backDC);
    backDC = nullptr;
  }
  if (backBitmap) {
    DeleteObject(backBitmap);
    backBitmap = nullptr;
  }
  if (hudFont) {
    DeleteObject(hudFont);
    hudFont = nullptr;
  }

  UpdateHighScore();

  if (fullScreen) {
    if (ddraw) ddraw->RestoreDisplayMode();
    ddraw.reset();
  }
}
