// Start-up and shutdown of the game form: the settings it reads, the window it makes, the sound
// channels it opens, the order of its steps, and the high-score file it leaves behind.
#include <sys/stat.h>

#include <cstring>

#include "game_fixture.h"

namespace {

using Shell = GameTest;

std::string Open(const std::string& dir, const char* file, const char* alias) {
  return "open \"" + dir + "/" + file + "\" alias " + alias;
}

TEST_F(Shell, WithoutSettingsFileOpensTheTitleInAWindow) {
  fMain& f = Load();
  EXPECT_EQ(f.fullScreen, 0);
  EXPECT_EQ(f.showFps, 0);
  EXPECT_EQ(f.swatButton, 1);
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.stage, 1);
  EXPECT_EQ(f.gameMode, 0);
  EXPECT_EQ(f.score, 0);
  EXPECT_EQ(f.bestScore, 0);
  EXPECT_EQ(f.Caption.get(), "Zorbilo");
  EXPECT_EQ(f.Icon.get(), &f.icoSwat1);
  EXPECT_TRUE(f.Visible.get());
  EXPECT_EQ(platform::DisplayScale(), 0);
  EXPECT_EQ(f.ddraw, nullptr);
  EXPECT_EQ(GetWindowLongA(f.hWnd, GWL_STYLE) & WS_POPUP, 0);
  // Timers: refresh and frame running, the stage clock waiting for a stage.
  EXPECT_TRUE(f.timRefresh.Enabled.get());
  EXPECT_TRUE(f.timGame.Enabled.get());
  EXPECT_FALSE(f.timTimer.Enabled.get());
  EXPECT_EQ(f.timRefresh.Interval.get(), 10);
  EXPECT_EQ(f.timGame.Interval.get(), 30);
  EXPECT_EQ(f.timTimer.Interval.get(), 800);
  // The pictures of the form are there.
  EXPECT_EQ(f.picImage.Width, 320);
  EXPECT_EQ(f.picImage.Height, 320);
  EXPECT_EQ(f.icoSwat1.Width, 32);
  EXPECT_EQ(f.icoSwat2.Width, 32);
}

TEST_F(Shell, OpensTheFiveEffectsAsChannelsOneToFiveWithTheirLayers) {
  fMain& f = Load();
  EXPECT_EQ(f.sndStart, 1);
  EXPECT_EQ(f.sndSwat, 2);
  EXPECT_EQ(f.sndMiss, 3);
  EXPECT_EQ(f.sndClear, 4);
  EXPECT_EQ(f.sndTimeUp, 5);
  const std::string d = dir.string();
  const std::vector<std::string> expected = {
      Open(d, "START.wav", "sound_1"),  Open(d, "SWAT.wav", "sound_2_0"),
      Open(d, "SWAT.wav", "sound_2_1"), Open(d, "SWAT.wav", "sound_2_2"),
      Open(d, "SWAT.wav", "sound_2_3"), Open(d, "MISS.wav", "sound_3_0"),
      Open(d, "MISS.wav", "sound_3_1"), Open(d, "MISS.wav", "sound_3_2"),
      Open(d, "MISS.wav", "sound_3_3"), Open(d, "CLEAR.wav", "sound_4"),
      Open(d, "TIMEUP.wav", "sound_5")};
  for (const MciLogEntry& e : log) EXPECT_EQ(e.callback, nullptr) << e.command;
  EXPECT_EQ(TakeCommands(), expected);
  EXPECT_EQ(hookWnd, f.hWnd);
}

struct SettingsCase {
  const char* file;
  int16_t fullScreen;
  int16_t showFps;
  int32_t swatButton;
  bool layered;
};

class ShellSettings : public GameTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(ShellSettings, EachKeyIsTakenAsTheGameReadsIt) {
  const SettingsCase& c = GetParam();
  WriteFile("Zorbilo.ini", c.file);
  fMain& f = Load();
  EXPECT_EQ(f.fullScreen, c.fullScreen);
  EXPECT_EQ(f.showFps, c.showFps);
  EXPECT_EQ(f.swatButton, c.swatButton);
  EXPECT_EQ(Sent("open \"" + dir.string() + "/SWAT.wav\" alias sound_2_3"), c.layered);
  EXPECT_EQ(Sent("open \"" + dir.string() + "/MISS.wav\" alias sound_3_0"), c.layered);
  if (!c.layered) {
    EXPECT_TRUE(Sent(Open(dir.string(), "SWAT.wav", "sound_2")));
    EXPECT_TRUE(Sent(Open(dir.string(), "MISS.wav", "sound_3")));
  }
  if (c.fullScreen) {
    EXPECT_NE(f.ddraw, nullptr);
    EXPECT_EQ(GetWindowLongA(f.hWnd, GWL_STYLE), WS_POPUP | WS_VISIBLE);
    RECT r{};
    GetWindowRect(f.hWnd, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
  } else {
    EXPECT_EQ(f.ddraw, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ShellSettings,
    ::testing::Values(SettingsCase{"", 0, 0, 1, true},
                      SettingsCase{"[Setting]\r\nFullScreen=-1\r\n", -1, 0, 1, true},
                      SettingsCase{"[Setting]\r\nFullScreen=7\r\n", -1, 0, 1, true},
                      SettingsCase{"[Setting]\r\nFullScreen=yes\r\n", 0, 0, 1, true},
                      SettingsCase{"[Setting]\r\nFullScreen=\r\n", 0, 0, 1, true},
                      SettingsCase{"[setting]\nnolayer=1\n", 0, 0, 1, false},
                      SettingsCase{"[Setting]\nRClick=1\n", 0, 0, 2, true},
                      SettingsCase{"[Setting]\nShowFPS=2\nRClick=0\n", 0, -1, 1, true}));

TEST_F(Shell, ClientAreaIsExactly640x480WhateverTheFrame) {
  for (int frame : {0, 1, 8}) {
    SCOPED_TRACE(frame);
    platform::SimulateWindowFrame(frame, frame == 0 ? 0 : 23, frame, frame);
    fMain& f = Load();
    RECT client{}, outer{};
    ASSERT_TRUE(GetClientRect(f.hWnd, &client));
    ASSERT_TRUE(GetWindowRect(f.hWnd, &outer));
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    EXPECT_EQ(outer.right - outer.left, 640 + 2 * frame);
  }
}

TEST_F(Shell, BackBufferFontAndDigitTable) {
  fMain& f = Load();
  ASSERT_NE(f.backDC, nullptr);
  ASSERT_NE(f.backBitmap, nullptr);
  ASSERT_NE(f.hudFont, nullptr);
  EXPECT_NE(GetPixel(f.backDC, 639, 479), CLR_INVALID);
  EXPECT_EQ(GetPixel(f.backDC, 640, 0), CLR_INVALID);

  const IntPoint digits[11] = {{0, 100}, {40, 100}, {0, 120},  {40, 120},  {80, 120}, {120, 120},
                               {0, 140}, {40, 140}, {80, 140}, {120, 140}, {0, 0}};
  for (int d = 0; d < 11; ++d) {
    EXPECT_EQ(f.digitSrc[d].x, digits[d].x) << d;
    EXPECT_EQ(f.digitSrc[d].y, digits[d].y) << d;
  }

  // Every field zero but the height, the weight and the face.
  LOGFONTA expected;
  std::memset(&expected, 0, sizeof expected);
  expected.lfHeight = 16;
  expected.lfWeight = 700;
  std::strcpy(expected.lfFaceName, "MS Gothic");
  const LOGFONTA lf = fMain::HudFontRecord();
  EXPECT_EQ(std::memcmp(&lf, &expected, sizeof lf), 0);
}

// The state a test can see between two steps of start-up.
struct Snap {
  int16_t fullScreen;
  int scale;
  bool hook;
  int channels;
  bool popup;
  int outerWidth;
  bool back, font, digits;
  int32_t stage;
  bool refresh, game, visible;
};

Snap Look(fMain& f) {
  RECT r{};
  GetWindowRect(f.hWnd, &r);
  return {f.fullScreen,
          platform::DisplayScale(),
          hookWnd == f.hWnd,
          soundCount,
          (GetWindowLongA(f.hWnd, GWL_STYLE) & WS_POPUP) != 0,
          static_cast<int>(r.right - r.left),
          f.backDC != nullptr,
          f.hudFont != nullptr,
          f.digitSrc[9].x == 120,
          f.stage,
          f.timRefresh.Enabled.get(),
          f.timGame.Enabled.get(),
          f.Visible.get()};
}

TEST_F(Shell, StartUpStepsRunInTheirOrderAndReadEachSettingAfresh) {
  platform::SimulateWindowFrame(4, 20, 4, 4);
  form = std::make_unique<fMain>();
  std::vector<Snap> at(17);
  form->OnLoadStep = [&](int step) {
    // Settings changed during start-up show which step reads them; a window shrunk after step
    // 7 shows which step sizes it.
    if (step == 4) WriteFile("Zorbilo.ini", "[Setting]\nNoLayer=1\n");
    if (step == 7) SetWindowPos(form->hWnd, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    if (step == 11) WriteFile("Zorbilo.ini", "[Setting]\nShowFPS=1\nRClick=1\nFullScreen=1\n");
    at[step] = Look(*form);
  };
  form->Form_Load();

  EXPECT_FALSE(at[2].hook);
  EXPECT_TRUE(at[3].hook);
  EXPECT_EQ(at[3].channels, 0);
  EXPECT_EQ(at[4].channels, 1);
  EXPECT_EQ(at[6].channels, 3);
  EXPECT_EQ(at[7].channels, 5);
  // NoLayer was read after the start sound was opened.
  EXPECT_TRUE(Sent(Open(dir.string(), "SWAT.wav", "sound_2")));
  EXPECT_FALSE(Sent(Open(dir.string(), "SWAT.wav", "sound_2_0")));
  EXPECT_EQ(at[7].outerWidth, 300);
  EXPECT_EQ(at[8].outerWidth, 648);
  EXPECT_FALSE(at[8].back);
  EXPECT_TRUE(at[9].back);
  EXPECT_FALSE(at[9].font);
  EXPECT_TRUE(at[10].font);
  EXPECT_FALSE(at[10].digits);
  EXPECT_TRUE(at[11].digits);
  // ShowFPS and RClick were read after the digit table; FullScreen only at the very start.
  EXPECT_EQ(form->showFps, -1);
  EXPECT_EQ(form->swatButton, 2);
  EXPECT_EQ(form->fullScreen, 0);
  EXPECT_EQ(at[13].stage, 0);
  EXPECT_EQ(at[14].stage, 1);
  EXPECT_FALSE(at[14].refresh || at[14].game);
  EXPECT_TRUE(at[15].refresh && at[15].game);
  EXPECT_FALSE(at[15].visible);
  EXPECT_TRUE(at[16].visible);
}

TEST_F(Shell, FullScreenSwitchesTheDisplayBeforeTheHookAndGivesItBackAtExit) {
  WriteFile("Zorbilo.ini", "[Setting]\nFullScreen=1\n");
  form = std::make_unique<fMain>();
  std::vector<Snap> at(17);
  form->OnLoadStep = [&](int step) { at[step] = Look(*form); };
  form->Form_Load();
  EXPECT_EQ(at[1].fullScreen, -1);
  EXPECT_EQ(at[1].scale, 0);
  EXPECT_GE(at[2].scale, 1);
  EXPECT_FALSE(at[2].hook);
  EXPECT_FALSE(at[7].popup);
  EXPECT_TRUE(at[8].popup);
  EXPECT_TRUE(GetWindowLongA(form->hWnd, GWL_STYLE) & WS_VISIBLE);

  form->Unload();
  EXPECT_EQ(platform::DisplayScale(), 0);
  EXPECT_EQ(form->ddraw, nullptr);
}

// ---- Shutdown ----------------------------------------------------------------------------------

TEST_F(Shell, UnloadDeletesTheDrawingObjectsAndReleasesTheSoundModule) {
  fMain& f = Load();
  HDC back = f.backDC;
  HBITMAP bmp = f.backBitmap;
  HFONT font = f.hudFont;
  f.Unload();
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(GetPixel(back, 0, 0), CLR_INVALID);
  EXPECT_FALSE(DeleteObject(bmp));
  EXPECT_FALSE(DeleteObject(font));
  EXPECT_EQ(hookWnd, nullptr);
  EXPECT_EQ(platform::DisplayScale(), 0);
}

TEST_F(Shell, UnloadOfAFormThatNeverLoadedWritesNothing) {
  form = std::make_unique<fMain>();
  form->Unload();
  EXPECT_FALSE(form->Loaded());
  EXPECT_FALSE(Exists("ハイスコア.txt"));
}

TEST_F(Shell, ClosingTheWindowMidGameKeepsOnlyTheScoreOfFinishedGames) {
  fMain& f = Load();
  f.bestScore = 700;  // raised by an earlier return to the title
  f.StartStage();
  f.score = 900;  // the game in progress
  PostMessageA(f.hWnd, WM_CLOSE, 0, 0);
  platform::AdvanceClock(0);
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(ReadFile("ハイスコア.txt"), "[Score]\r\nTotal=700\r\n");
}

struct ScoreCase {
  const char* name;
  const char* before;  // nullptr: no file
  int32_t best;
  const char* after;  // nullptr: still no file
};

class HighScore : public GameTest, public ::testing::WithParamInterface<ScoreCase> {};

TEST_P(HighScore, OnlyANewRecordIsWrittenAndAboveThirtyThousandTheRewardCode) {
  const ScoreCase& c = GetParam();
  if (c.before) WriteFile("ハイスコア.txt", c.before);
  fMain& f = Load();
  f.bestScore = c.best;
  f.Unload();
  if (c.after)
    EXPECT_EQ(ReadFile("ハイスコア.txt"), c.after);
  else
    EXPECT_FALSE(Exists("ハイスコア.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    File, HighScore,
    ::testing::Values(
        ScoreCase{"NoScoreNoFile", nullptr, 0, nullptr},
        ScoreCase{"EqualIsNoRecord", "[Score]\r\nTotal=500\r\n", 500, "[Score]\r\nTotal=500\r\n"},
        ScoreCase{"RecordBelowThreshold", "[Score]\r\nTotal=500\r\n", 20000,
                  "[Score]\r\nTotal=20000\r\n"},
        ScoreCase{"ThirtyThousandIsNotAbove", nullptr, 30000, "[Score]\r\nTotal=30000\r\n"},
        ScoreCase{"AboveThirtyThousand", nullptr, 30001,
                  "[Score]\r\nTotal=30001\r\n[Secret]\r\nPassword=kR4pW81ZmtXe\r\n"},
        ScoreCase{"BelowStoredRecordKeepsSecretAbsent", "[Score]\r\nTotal=40000\r\n", 35000,
                  "[Score]\r\nTotal=40000\r\n"},
        ScoreCase{"NegativeStoredTotal", "[Score]\r\nTotal=-5\r\n", 0, "[Score]\r\nTotal=0\r\n"},
        ScoreCase{"GarbageStoredTotal", "[Score]\r\nTotal=abc\r\n", 10, "[Score]\r\nTotal=10\r\n"},
        ScoreCase{"OtherLinesStay", "; mine\n[Score]\nTotal=100\n[Other]\nx=1\n", 31000,
                  "; mine\n[Score]\nTotal=31000\n[Other]\nx=1\n[Secret]\nPassword=kR4pW81ZmtXe\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Shell, ARefusedWriteLeavesTheOldFileAndShutdownGoesOn) {
  WriteFile("ハイスコア.txt", "[Score]\r\nTotal=5\r\n");
  std::filesystem::permissions(In("ハイスコア.txt"), std::filesystem::perms(0444));
  fMain& f = Load();
  f.bestScore = 40000;
  f.Unload();
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(ReadFile("ハイスコア.txt"), "[Score]\r\nTotal=5\r\n");
}

}  // namespace
