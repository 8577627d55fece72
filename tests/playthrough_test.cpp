// The whole game played as a person plays it, on the manual clock: clicks and keys go through the
// window's message chain, time passes frame by frame, and the fly table is read only to aim at
// the flies where they were last drawn.
#include "game_fixture.h"
#include "tools/bot/Bot.h"

namespace {

// Points for clearing each stage completely: the kinds' points times the flies of the stage,
// the big fly's brood included.
constexpr int32_t kStagePoints[6] = {
    0, 5 * 10, 20 * 10, 30 * 10 + 20 * 20, 50 * 10 + 50 * 20, 3000 + 20 * 20 + 10 * 20};

class Playthrough : public GameTest {
 protected:
  LPARAM At(int x, int y) { return static_cast<LPARAM>((y << 16) | (x & 0xFFFF)); }

  void Click(int x, int y) {
    PostMessageA(form->hWnd, WM_LBUTTONDOWN, 0, At(x, y));
    PostMessageA(form->hWnd, WM_LBUTTONUP, 0, At(x, y));
    platform::AdvanceClock(0);
  }
  void Key(WPARAM vk) {
    PostMessageA(form->hWnd, WM_KEYDOWN, vk, 0);
    platform::AdvanceClock(0);
  }
  void Frame() { platform::AdvanceClock(30); }
  // Lets frames pass until the game leaves the state it is in; returns the milliseconds taken.
  int WaitWhile(int32_t state, int limitMs = 200'000) {
    int ms = 0;
    while (form->gameState == state && ms < limitMs) {
      Frame();
      ms += 30;
    }
    return ms;
  }
  // Where a person would click to swat a fly seen on screen, or false when none is in sight.
  bool AimAtAFly(int& x, int& y) { return bot::AimAtAFly(*form, x, y); }

  // Clicks Start on the title, swats until the result screen, and checks the stage on the way.
  void PlayStage(int32_t stage, int32_t mode) {
    fMain& f = *form;
    SCOPED_TRACE(testing::Message() << "stage " << stage << ", mode " << mode);
    ASSERT_EQ(f.gameState, 0);
    ASSERT_EQ(f.stage, stage);
    ASSERT_EQ(f.gameMode, mode);
    const int32_t before = f.score;
    Frame();
    Click(320, 255);  // on "Click To Start !"
    ASSERT_EQ(f.gameState, 1);
    EXPECT_EQ(f.timTimer.Interval.get(), mode == 0 ? 800 : 500);
    EXPECT_EQ(f.MousePointer.get(), 99);
    RECT clip{};
    GetClipCursor(&clip);
    EXPECT_EQ(clip.right - clip.left, 640);
    EXPECT_EQ(clip.bottom - clip.top, 480);

    int swats = 0;
    while (f.gameState == 1 && swats < 2000) {
      Frame();
      Frame();
      int x, y;
      if (f.gameState == 1 && AimAtAFly(x, y)) {
        Click(x, y);
        ++swats;
      }
    }
    ASSERT_EQ(f.gameState, 3) << "the stage was not cleared";
    EXPECT_EQ(f.missCount, 0);
    EXPECT_EQ(f.score, before + kStagePoints[stage]);
    EXPECT_GT(f.clearTime, 0);
    const int32_t award = stage < 5 ? 0 : mode == 0 ? 5000 : 10000;
    EXPECT_EQ(f.bonus, f.clearTime * 100 + award);
    EXPECT_EQ(f.timTimer.Interval.get(), 1000);
    EXPECT_EQ(f.stage, stage < 5 ? stage + 1 : 1);
    EXPECT_EQ(f.gameMode, stage < 5 ? mode : mode + 1);

    // The result screen shows for five seconds, then hands its bonus to the score.
    const int32_t withBonus = f.score + f.bonus;
    const int ms = WaitWhile(3);
    EXPECT_GE(ms, 4900);
    EXPECT_LE(ms, 5100);
    EXPECT_EQ(f.score, withBonus);
    EXPECT_EQ(f.gameState, stage < 5 ? 0 : 4);
    if (stage < 5) {
      EXPECT_EQ(f.bestScore, withBonus);
      EXPECT_EQ(f.MousePointer.get(), 1);
    }
  }
};

TEST_F(Playthrough, BeginnersModeThenMastersModeToTheClosingText) {
  Load();
  fMain& f = *form;
  EXPECT_EQ(f.Caption.get(), "Zorbilo");
  for (int32_t stage = 1; stage <= 5; ++stage) PlayStage(stage, 0);

  // The congratulations stay ten seconds, then master's mode begins at stage 1.
  ASSERT_EQ(f.gameState, 4);
  EXPECT_EQ(f.gameMode, 1);
  EXPECT_TRUE(f.timTimer.Enabled.get());
  const int32_t carried = f.score;
  const int ms = WaitWhile(4);
  EXPECT_GE(ms, 9900);
  EXPECT_LE(ms, 10100);
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.Caption.get(), "超・Zorbilo");
  EXPECT_EQ(f.score, carried);
  EXPECT_EQ(f.bestScore, carried);

  for (int32_t stage = 1; stage <= 5; ++stage) PlayStage(stage, 1);

  // The closing text stays until Esc.
  ASSERT_EQ(f.gameState, 4);
  EXPECT_EQ(f.gameMode, 2);
  EXPECT_FALSE(f.timTimer.Enabled.get());
  const int32_t total = f.score;
  for (int i = 0; i < 500; ++i) Frame();
  EXPECT_EQ(f.gameState, 4);

  Key(27);
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.stage, 1);
  EXPECT_EQ(f.gameMode, 0);
  EXPECT_EQ(f.score, 0);
  EXPECT_EQ(f.Caption.get(), "Zorbilo");
  EXPECT_EQ(f.bestScore, total);
  ASSERT_GT(total, 30000);
  Key(27);
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(ReadFile("ハイスコア.txt"), "[Score]\r\nTotal=" + std::to_string(total) +
                                            "\r\n[Secret]\r\nPassword=kR4pW81ZmtXe\r\n");
}

TEST_F(Playthrough, AStageThatRunsOutEndsInTimeUpAndEscGoesBackToStageOne) {
  Load();
  fMain& f = *form;
  PlayStage(1, 0);
  const int32_t afterStageOne = f.score;

  // Stage 2: swat a few flies, then let the clock run out.
  Frame();
  Click(320, 255);
  ASSERT_EQ(f.gameState, 1);
  for (int k = 0; k < 3; ++k) {
    Frame();
    int x, y;
    if (AimAtAFly(x, y)) Click(x, y);
  }
  EXPECT_GT(f.score, afterStageOne);
  const int ms = WaitWhile(1);
  // 50 ticks of 800 ms, seen by the next frame.
  EXPECT_GE(ms, 50 * 800 - 200);
  EXPECT_LE(ms, 50 * 800 + 100);
  EXPECT_EQ(f.gameState, 2);
  EXPECT_EQ(f.stage, 1);
  EXPECT_EQ(f.score, 0);
  EXPECT_FALSE(f.timTimer.Enabled.get());

  // The flies fly on; swats only miss; nothing but Esc leaves.
  const IntPoint seen = f.flyPos[0];
  for (int i = 0; i < 20; ++i) Frame();
  EXPECT_TRUE(f.flyPos[0].x != seen.x || f.flyPos[0].y != seen.y || f.flyLife[0] == 0);
  log.clear();
  const int32_t misses = f.missCount;
  int x, y;
  if (AimAtAFly(x, y)) Click(x, y);
  EXPECT_TRUE(Sent("play sound_3_"));
  EXPECT_EQ(f.missCount, misses);
  for (int i = 0; i < 300; ++i) Frame();
  EXPECT_EQ(f.gameState, 2);

  Key(27);
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.stage, 1);
  EXPECT_EQ(f.score, 0);
  EXPECT_EQ(f.bestScore, afterStageOne);  // the lost stage's points never count
  RECT clip{};
  GetClipCursor(&clip);
  EXPECT_NE(clip.right - clip.left, 640);
}

}  // namespace
