// Presentation: what each drawing routine and each screen puts into the back buffer, compared
// pixel by pixel with the sprite sheet; the frame loop's transitions; the frame-rate readout; the
// copy to the window; and the Esc key.
#include <algorithm>
#include <chrono>
#include <thread>

#include "game_fixture.h"

namespace {

using Presentation = GameTest;

struct Item {
  int x, y, w, h;
};
// Sheet positions of the screens' pictures.
constexpr Item kTime{0, 160, 80, 20}, kAlive{160, 160, 80, 20}, kMiss{0, 180, 80, 20},
    kBonus{160, 180, 80, 20}, kStage{0, 200, 80, 20}, kFinal{160, 200, 80, 20},
    kClick{0, 220, 160, 20}, kTimeUp{0, 240, 160, 40}, kClear{0, 280, 160, 40};
constexpr IntPoint kDigit[10] = {{0, 100},   {40, 100}, {0, 120},  {40, 120}, {80, 120},
                                 {120, 120}, {0, 140},  {40, 140}, {80, 140}, {120, 140}};

void Put(Pixels& p, const Pixels& sheet, const Item& it, int x, int y) {
  p.Sprite(sheet, x, y, it.x, it.y, it.w, it.h);
}
// The digits of a field, most significant first, 12 pixels apart.
void PutDigits(Pixels& p, const Pixels& sheet, int x, int y, const std::string& digits) {
  for (size_t i = 0; i < digits.size(); ++i) {
    const IntPoint g = kDigit[digits[i] - '0'];
    p.Sprite(sheet, x + 12 * static_cast<int>(i), y, g.x, g.y, 20, 20);
  }
}

TEST_F(Presentation, TheBackgroundIsTiledWithTheTitleOrThePlayTile) {
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  for (int state = 0; state <= 4; ++state) {
    f.gameState = state;
    f.DrawBackground();
    EXPECT_EQ(Back(f).Diff(Pixels::Tiled(sheet, state == 0 ? 0 : 80)), 0) << state;
  }
}

TEST_F(Presentation, EveryMaskedItemShowsItsImageAndLeavesTheBackgroundAroundIt) {
  const Item items[] = {{160, 0, 80, 80},
                        {160, 80, 80, 80},
                        {0, 80, 10, 10},
                        {0, 90, 10, 10},
                        {20, 80, 10, 10},
                        {20, 90, 10, 10},
                        {40, 80, 10, 10},
                        {40, 90, 10, 10},
                        {60, 80, 10, 10},
                        {60, 90, 10, 10},
                        {80, 80, 20, 20},
                        {80, 100, 20, 20},
                        {120, 80, 20, 20},
                        {120, 100, 20, 20},
                        kTime,
                        kAlive,
                        kMiss,
                        kBonus,
                        kStage,
                        kFinal,
                        kClick,
                        kTimeUp,
                        kClear};
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  std::vector<Item> all(std::begin(items), std::end(items));
  for (const IntPoint& d : kDigit) all.push_back({d.x, d.y, 20, 20});
  for (int state : {0, 1}) {
    for (const Item& it : all) {
      SCOPED_TRACE(testing::Message() << "tile " << state << ", item at " << it.x << "," << it.y);
      f.gameState = state;
      f.DrawBackground();
      const Pixels before = Back(f);
      f.DrawSprite(123, 45, it.x, it.y, it.w, it.h);
      const Pixels after = Back(f);
      int opaque = 0, wrong = 0;
      for (int y = 0; y < it.h; ++y)
        for (int x = 0; x < it.w; ++x) {
          const COLORREF mask = sheet.at(it.x + it.w + x, it.y + y);
          const COLORREF want = mask == RGB(255, 255, 255) ? sheet.at(it.x + x, it.y + y)
                                                           : before.at(123 + x, 45 + y);
          opaque += mask == RGB(255, 255, 255);
          wrong += after.at(123 + x, 45 + y) != want;
        }
      EXPECT_GT(opaque, 0);
      EXPECT_EQ(wrong, 0);
      // Nothing outside the item's rectangle changed.
      Pixels outside = after;
      for (int y = 0; y < it.h; ++y)
        for (int x = 0; x < it.w; ++x) outside.at(123 + x, 45 + y) = before.at(123 + x, 45 + y);
      EXPECT_EQ(outside.Diff(before), 0);
    }
  }
}

TEST_F(Presentation, SpritesAtTheEdgesAreDrawnClipped) {
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  f.gameState = 1;
  f.DrawBackground();
  Pixels expected = Back(f);
  const IntPoint at[] = {{600, 440}, {-40, -30}, {630, 0}, {0, 475}, {700, 100}, {-100, 500}};
  for (IntPoint p : at) {
    f.DrawSprite(p.x, p.y, 160, 0, 80, 80);
    expected.Sprite(sheet, p.x, p.y, 160, 0, 80, 80);
  }
  EXPECT_EQ(Back(f).Diff(expected), 0);
}

TEST_F(Presentation, NumbersAreFixedWidthRowsOfDigitGlyphs) {
  struct Case {
    int x, value, digits;
    const char* shown;
  };
  const Case cases[] = {{100, 0, 3, "000"},         {100, 7, 3, "007"},
                        {100, 999, 3, "999"},       {100, 1000, 3, "999"},
                        {100, 12345, 4, "9999"},    {100, 5, 1, "5"},
                        {550, 123456, 6, "123456"}, {550, 1234567, 6, "999999"},
                        {100, -3, 3, "000"}};  // nothing negative is shown: it reads as zero
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  f.gameState = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in " << c.digits);
    f.DrawBackground();
    Pixels expected = Back(f);
    f.DrawNumber(c.x, 60, c.value, c.digits);
    PutDigits(expected, sheet, c.x, 60, c.shown);
    const Pixels got = Back(f);
    EXPECT_EQ(got.Diff(expected), 0);
  }
  // A 6-digit field at 550 ends at 629.
  f.DrawBackground();
  const Pixels before = Back(f);
  f.DrawNumber(550, 60, 888888, 6);
  const Pixels after = Back(f);
  for (int y = 60; y < 80; ++y)
    for (int x = 630; x < 640; ++x) EXPECT_EQ(after.at(x, y), before.at(x, y));
  // Out-of-range widths draw nothing and read nothing out of range.
  f.DrawNumber(10, 10, 5, 0);
  f.DrawNumber(10, 10, 5, -4);
  f.DrawNumber(10, 10, 2147483647, 30);
}

TEST_F(Presentation, TextLinesAreWrittenAtX220OnATransparentBackground) {
  fMain& f = Load();
  f.gameState = 1;
  f.DrawBackground();
  const Pixels before = Back(f);
  f.DrawTextLine(170, "   Congratulations !!   ");
  const Pixels after = Back(f);
  int changed = 0, minX = 640, maxX = 0, minY = 480, maxY = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (after.at(x, y) != before.at(x, y)) {
        ++changed;
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  ASSERT_GT(changed, 100);
  EXPECT_GT(minX, 228);  // three leading blanks
  EXPECT_GE(minY, 170);
  EXPECT_LT(maxY, 190);
  // Letters, not a box: most of the text's rectangle still shows the background.
  EXPECT_LT(changed, (maxX - minX + 1) * (maxY - minY + 1) / 2);
  f.DrawTextLine(0, "short");  // a shorter text is written as far as it goes
}

// ---- Screens -----------------------------------------------------------------------------------

TEST_F(Presentation, TheTitleShowsTheStageNumberOrTheFinalStage) {
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  f.timGame_Timer();
  Pixels title = Pixels::Tiled(sheet, 0);
  Put(title, sheet, kStage, 265, 212);
  PutDigits(title, sheet, 335, 210, "1");
  Put(title, sheet, kClick, 240, 245);
  EXPECT_EQ(Back(f).Diff(title), 0);

  f.stage = 5;
  f.timGame_Timer();
  Pixels final = Pixels::Tiled(sheet, 0);
  Put(final, sheet, kFinal, 248, 211);
  Put(final, sheet, kStage, 305, 212);
  Put(final, sheet, kClick, 240, 245);
  EXPECT_EQ(Back(f).Diff(final), 0);
  EXPECT_EQ(f.gameState, 0);
}

TEST_F(Presentation, PlayShowsTheHudUnderTheFliesAndTheClockAtZeroStillShows000) {
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  f.gameState = 1;
  f.flyCount = 1;
  f.fliesLeft = 7;
  f.score = 1234567;
  f.timeLeft = 0;
  f.flyKind[0] = 5;
  f.flyLife[0] = 2;
  f.flySize[0] = 20;
  f.flySrc[0] = {80, 80};
  f.flyAnim[0] = 0;
  f.flyPhase[0] = 0;
  f.flyStart[0] = {60, 5};  // over the clock's digits
  f.flyDelta[0] = {100, 100};
  f.timGame_Timer();
  Pixels play = Pixels::Tiled(sheet, 80);
  Put(play, sheet, kTime, 0, 10);
  PutDigits(play, sheet, 65, 10, "000");
  Put(play, sheet, kAlive, 105, 10);
  PutDigits(play, sheet, 170, 10, "007");
  PutDigits(play, sheet, 550, 10, "999999");
  play.Sprite(sheet, 60, 5, 80, 100, 20, 20);  // first wing beat
  EXPECT_EQ(Back(f).Diff(play), 0);
  EXPECT_EQ(f.gameState, 2);  // time up in the same frame

  f.flyCount = 0;
  f.timGame_Timer();
  Pixels up = Pixels::Tiled(sheet, 80);
  Put(up, sheet, kTimeUp, 240, 220);
  EXPECT_EQ(Back(f).Diff(up), 0);
  EXPECT_EQ(f.gameState, 2);  // only Esc leaves it
}

TEST_F(Presentation, TheResultScreenShowsTimeMissesAndAtMost9999Bonus) {
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  f.gameState = 3;
  f.clearTime = 17;
  f.missCount = 3;
  f.bonus = 12345;
  f.timeLeft = 2;
  f.timGame_Timer();
  Pixels result = Pixels::Tiled(sheet, 80);
  Put(result, sheet, kClear, 240, 180);
  Put(result, sheet, kTime, 240, 235);
  PutDigits(result, sheet, 340, 235, "017");
  Put(result, sheet, kMiss, 240, 255);
  PutDigits(result, sheet, 340, 255, "003");
  Put(result, sheet, kBonus, 240, 280);
  PutDigits(result, sheet, 330, 280, "9999");
  EXPECT_EQ(Back(f).Diff(result), 0);
  EXPECT_EQ(f.gameState, 3);
}

TEST_F(Presentation, TheEndingLinesAreWrittenOnTheirRows) {
  fMain& f = Load();
  const Pixels sheet = Sheet(f);
  const Pixels plain = Pixels::Tiled(sheet, 80);
  auto rowsWithText = [&] {
    const Pixels p = Back(f);
    std::vector<int> rows;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x)
        if (p.at(x, y) != plain.at(x, y)) {
          rows.push_back(y);
          break;
        }
    return rows;
  };
  auto startsOfLines = [](const std::vector<int>& rows) {
    std::vector<int> starts;
    for (size_t i = 0; i < rows.size(); ++i)
      if (i == 0 || rows[i] > rows[i - 1] + 3) starts.push_back(rows[i]);
    return starts;
  };
  f.gameState = 4;
  f.gameMode = 1;
  f.timeLeft = 5;
  f.timGame_Timer();
  std::vector<int> starts = startsOfLines(rowsWithText());
  const int beginner[] = {170, 200, 235, 255, 280, 300};
  ASSERT_EQ(starts.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(starts[i], beginner[i], 4);

  f.gameMode = 2;
  f.timGame_Timer();
  starts = startsOfLines(rowsWithText());
  const int master[] = {180, 220, 260, 300};
  ASSERT_EQ(starts.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(starts[i], master[i], 4);
}

// ---- The frame loop's transitions --------------------------------------------------------------

TEST_F(Presentation, TheResultHandsOnItsBonusAndTheEndingReturnsToTheTitle) {
  fMain& f = Load();
  // 3 -> 0 after stages 1..4.
  f.StartStage();
  f.gameState = 3;
  f.stage = 3;
  f.score = 100;
  f.bonus = 50;
  f.timeLeft = 1;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 3);
  f.timeLeft = 0;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.score, 150);
  EXPECT_EQ(f.bestScore, 150);
  EXPECT_FALSE(f.timTimer.Enabled.get());

  // 3 -> 4 in master's mode: a 10-tick ending; 4 -> 0 changes the caption.
  f.StartStage();
  f.gameState = 3;
  f.stage = 1;
  f.gameMode = 1;
  f.timTimer.Interval = 1000;
  f.timeLeft = 0;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 4);
  EXPECT_EQ(f.timeLeft, 10);
  EXPECT_TRUE(f.timTimer.Enabled.get());
  f.timeLeft = 1;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 4);
  f.timeLeft = 0;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.gameMode, 1);
  EXPECT_EQ(f.Caption.get(), "超・Zorbilo");

  // 3 -> 4 after master's mode: the clock stops and only Esc leaves.
  f.StartStage();
  f.gameState = 3;
  f.stage = 1;
  f.gameMode = 2;
  f.timeLeft = 0;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 4);
  EXPECT_FALSE(f.timTimer.Enabled.get());
  f.timeLeft = -5;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 4);
}

TEST_F(Presentation, InFullScreenTheEndingLeavesTheCaptionAlone) {
  fMain& f = Load();
  f.fullScreen = -1;
  f.gameState = 4;
  f.gameMode = 1;
  f.timeLeft = 0;
  f.timGame_Timer();
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.Caption.get(), "Zorbilo");
}

// ---- Frame rate --------------------------------------------------------------------------------

TEST_F(Presentation, TheFrameRateReadoutCountsTheFramesBetweenOpeningsOfASecond) {
  WriteFile("Zorbilo.ini", "[Setting]\nShowFPS=1\n");
  fMain& f = Load();
  f.timGame_Timer();  // the very first frame opens a second
  EXPECT_EQ(f.fpsValue, 0);
  EXPECT_EQ(f.fpsFrames, 0);
  EXPECT_EQ(f.fpsTick, 1'000'000);
  const Pixels withText = Back(f);
  f.showFps = 0;
  f.timGame_Timer();
  const Pixels without = Back(f);
  EXPECT_GT(withText.Diff(without), 0);
  TextOutA(f.backDC, 10, 456, "FPS:0", 5);
  EXPECT_EQ(Back(f).Diff(withText), 0);

  // Frames every 30 ms: one opens at +30, the next 33 fall inside its second, +1050 opens again.
  WriteFile("Zorbilo.ini", "[Setting]\nShowFPS=1\n");
  fMain& g = Load();
  platform::AdvanceClock(30);
  EXPECT_EQ(g.fpsTick, 1'000'030);
  platform::AdvanceClock(990);
  EXPECT_EQ(g.fpsFrames, 33);
  EXPECT_EQ(g.fpsValue, 0);
  platform::AdvanceClock(30);
  EXPECT_EQ(g.fpsValue, 33);
  EXPECT_EQ(g.fpsTick, 1'000'000 + 30 + 990 + 30);
}

// On the real clock: a 30 ms frame timer gives 33 frames a second, give or take a late tick.
// A loaded machine can starve a second now and then, so the best of four readings must be in
// range and none may be above it (a timer firing twice would show there).
TEST_F(Presentation, RealClockTheReadoutShowsAbout33FramesASecond) {
  platform::UseRealClock();
  WriteFile("Zorbilo.ini", "[Setting]\nShowFPS=1\n");
  fMain& f = Load();
  std::vector<int32_t> readings;
  const uint32_t start = GetTickCount();
  auto opened = f.fpsTick;
  while (GetTickCount() - start < 5500 && readings.size() < 4) {
    platform::DoEvents();
    if (f.fpsTick != opened) {
      opened = f.fpsTick;
      if (GetTickCount() - start > 1500) readings.push_back(f.fpsValue);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  platform::UseManualClock(1'000'000);
  ASSERT_FALSE(readings.empty());
  const int32_t best = *std::max_element(readings.begin(), readings.end());
  EXPECT_GE(best, 30) << ::testing::PrintToString(readings);
  EXPECT_LE(best, 34) << ::testing::PrintToString(readings);
}

TEST_F(Presentation, TheFrameRateSurvivesTheTickCountPassingTheSignBit) {
  platform::UseManualClock(2147483500u);
  WriteFile("Zorbilo.ini", "[Setting]\nShowFPS=1\n");
  fMain& f = Load();
  f.fpsTick = 2147483000;
  f.fpsFrames = 5;
  f.timGame_Timer();
  EXPECT_EQ(f.fpsFrames, 6);
  platform::UseManualClock(2147484100u);
  f.timGame_Timer();
  EXPECT_EQ(f.fpsValue, 6);
  EXPECT_EQ(f.fpsFrames, 0);
  platform::UseManualClock(2147484600u);
  f.timGame_Timer();
  EXPECT_EQ(f.fpsFrames, 1);
}

TEST_F(Presentation, WithoutShowFpsTheCountersAreNeverTouched) {
  fMain& f = Load();
  for (int i = 0; i < 50; ++i) platform::AdvanceClock(30);
  EXPECT_EQ(f.fpsValue, 0);
  EXPECT_EQ(f.fpsTick, 0);
  EXPECT_EQ(f.fpsFrames, 0);
}

// ---- Refresh -----------------------------------------------------------------------------------

TEST_F(Presentation, TheWindowShowsTheFrameByTheNextRefreshTick) {
  fMain& f = Load();
  platform::AdvanceClock(30);  // a frame, and a refresh
  EXPECT_EQ(Pixels(f.hDC, 640, 480).Diff(Back(f)), 0);
  f.stage = 4;
  f.timGame_Timer();
  EXPECT_GT(Pixels(f.hDC, 640, 480).Diff(Back(f)), 0);
  f.timRefresh_Timer();
  EXPECT_EQ(Pixels(f.hDC, 640, 480).Diff(Back(f)), 0);
}

// ---- Esc ---------------------------------------------------------------------------------------

TEST_F(Presentation, EscLeavesEveryGameStateForTheTitleAndMastersModeForBeginners) {
  fMain& f = Load();
  for (int mode = 0; mode <= 2; ++mode)
    for (int state = 1; state <= 4; ++state) {
      SCOPED_TRACE(testing::Message() << "state " << state << ", mode " << mode);
      f.StartStage();
      f.gameState = state;
      f.gameMode = mode;
      f.stage = 3;
      f.score = 400 + state;
      f.bestScore = 0;
      f.Caption = "超・Zorbilo";
      f.Form_KeyDown(27, 0);
      EXPECT_EQ(f.gameState, 0);
      EXPECT_EQ(f.stage, mode == 0 ? 3 : 1);
      EXPECT_EQ(f.gameMode, 0);
      EXPECT_EQ(f.score, 0);
      EXPECT_EQ(f.bestScore, 400 + state);
      EXPECT_FALSE(f.timTimer.Enabled.get());
      EXPECT_EQ(f.Caption.get(), mode == 0 ? "超・Zorbilo" : "Zorbilo");
    }
  // In full screen the caption is left as it is.
  f.fullScreen = -1;
  f.StartStage();
  f.gameMode = 1;
  f.Caption = "x";
  f.Form_KeyDown(27, 0);
  EXPECT_EQ(f.Caption.get(), "x");
  EXPECT_TRUE(f.Loaded());
}

TEST_F(Presentation, EscOnTheResultOfStageTwoKeepsTheNextStageButNotTheBonus) {
  fMain& f = Load();
  f.stage = 2;
  f.StartStage();
  f.score = 500;
  f.missCount = 0;
  f.timeLeft = 10;
  f.StageClear();
  f.Form_KeyDown(27, 1);
  EXPECT_EQ(f.stage, 3);
  EXPECT_EQ(f.score, 0);
  EXPECT_EQ(f.bestScore, 500);
}

TEST_F(Presentation, OtherKeysDoNothingAndEscOnTheTitleCloses) {
  fMain& f = Load();
  f.StartStage();
  f.score = 30;
  for (int16_t key : {13, 32, 65, 0, -1})
    for (int16_t shift : {0, 1, 7}) f.Form_KeyDown(key, shift);
  EXPECT_EQ(f.gameState, 1);
  EXPECT_EQ(f.score, 30);
  f.Form_KeyDown(27, 0);
  EXPECT_TRUE(f.Loaded());
  f.Form_KeyDown(27, 0);  // a second Esc closes the game
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(ReadFile("ハイスコア.txt"), "[Score]\r\nTotal=30\r\n");
}

}  // namespace
