// Play: the stage table and stage flow, the bonus, the cursor clip, swatting with its hit box,
// lives, points and the big fly's brood, and the flies' motion and wing beats.
#include <algorithm>
#include <tuple>

#include "game_fixture.h"

namespace {

using Play = GameTest;

struct KindRow {
  int32_t kind, sx, sy, size, life;
};
constexpr KindRow kKinds[] = {{1, 0, 80, 10, 1},
                              {2, 20, 80, 10, 1},
                              {3, 40, 80, 10, 2},
                              {5, 80, 80, 20, 2},
                              {10, 160, 0, 80, 200}};

const KindRow& Kind(int32_t k) {
  for (const KindRow& r : kKinds)
    if (r.kind == k) return r;
  ADD_FAILURE() << "no kind " << k;
  return kKinds[0];
}

// Puts fly i into the table as a fresh fly of kind k at (x, y).
void SetFly(fMain& f, int i, int32_t k, int32_t x, int32_t y) {
  const KindRow& r = Kind(k);
  f.flyKind[i] = k;
  f.flySrc[i] = {r.sx, r.sy};
  f.flySize[i] = r.size;
  f.flyLife[i] = r.life;
  f.flyAnim[i] = 0;
  f.flyPos[i] = {x, y};
}

void Playing(fMain& f, int32_t flies) {
  f.gameState = 1;
  f.flyCount = flies;
  f.fliesLeft = flies;
}

void Swat(fMain& f, float x, float y) {
  f.Form_MouseDown(static_cast<int16_t>(f.swatButton), 0, x, y);
}

size_t IndexOf(const std::vector<std::string>& cmds, const std::string& prefix) {
  for (size_t i = 0; i < cmds.size(); ++i)
    if (cmds[i].rfind(prefix, 0) == 0) return i;
  return cmds.size();
}

// ---- Stage set-up ------------------------------------------------------------------------------

struct StageRow {
  int32_t stage, count, clock;
  std::vector<std::tuple<int, int, int>> kinds;  // first slot, last slot, kind (0: 1 or 2)
};

TEST_F(Play, EveryStageIsSetUpFromTheStageTable) {
  const StageRow rows[] = {{1, 5, 30, {{0, 4, 1}}},
                           {2, 20, 50, {{0, 19, 0}}},
                           {3, 50, 80, {{0, 29, 0}, {30, 49, 5}}},
                           {4, 100, 100, {{0, 49, 0}, {50, 99, 5}}},
                           {5, 21, 120, {{0, 0, 10}, {1, 20, 5}}}};
  fMain& f = Load();
  std::array<IntPoint, kFlySlots> stage4Start{};
  for (const StageRow& row : rows) {
    SCOPED_TRACE(row.stage);
    f.ReturnToTitle();
    f.stage = row.stage;
    f.score = 123;
    f.clearTime = 4;
    f.bonus = 5;
    f.missCount = 7;
    TakeCommands();
    Swat(f, 320, 240);  // the click that starts the stage

    EXPECT_EQ(f.gameState, 1);
    EXPECT_EQ(f.flyCount, row.count);
    EXPECT_EQ(f.fliesLeft, row.count);
    EXPECT_EQ(f.timeLeft, row.clock);
    EXPECT_EQ(f.missCount, 0);
    EXPECT_EQ(f.score, 123);
    EXPECT_EQ(f.clearTime, 4);
    EXPECT_EQ(f.bonus, 5);
    EXPECT_TRUE(f.timTimer.Enabled.get());
    EXPECT_EQ(f.timTimer.Interval.get(), 800);
    EXPECT_EQ(f.MouseIcon.get(), &f.icoSwat1);
    EXPECT_EQ(f.MousePointer.get(), 99);

    int ones = 0, twos = 0;
    for (const auto& [from, to, kind] : row.kinds)
      for (int i = from; i <= to; ++i) {
        if (kind == 0) {
          EXPECT_TRUE(f.flyKind[i] == 1 || f.flyKind[i] == 2) << i;
          (f.flyKind[i] == 1 ? ones : twos)++;
        } else {
          EXPECT_EQ(f.flyKind[i], kind) << i;
        }
        const KindRow& k = Kind(f.flyKind[i]);
        const int s = k.size;
        EXPECT_EQ(f.flySrc[i].x, k.sx);
        EXPECT_EQ(f.flySrc[i].y, k.sy);
        EXPECT_EQ(f.flySize[i], s);
        EXPECT_EQ(f.flyLife[i], k.life);
        EXPECT_EQ(f.flyAnim[i], 0);
        EXPECT_GE(f.flyPhase[i], 0);
        EXPECT_LE(f.flyPhase[i], 59);
        // The first leg runs between two points whose squares lie inside the playfield.
        for (IntPoint p : {f.flyStart[i], IntPoint{f.flyStart[i].x + f.flyDelta[i].x,
                                                   f.flyStart[i].y + f.flyDelta[i].y}}) {
          EXPECT_GE(p.x, 0);
          EXPECT_LT(p.x, 640 - s);
          EXPECT_GE(p.y, 0);
          EXPECT_LT(p.y, 480 - s);
        }
      }
    if (row.stage == 2 || row.stage == 4) {
      EXPECT_TRUE(ones > 0 && twos > 0);
    }
    if (row.stage == 4) stage4Start = f.flyStart;
    if (row.stage == 5) {
      for (int i = 21; i < 100; ++i) EXPECT_EQ(f.flyStart[i].x, stage4Start[i].x) << i;
    }

    // The start sound comes first, the stage's music last.
    const std::vector<std::string> cmds = TakeCommands();
    const std::string music =
        "open \"" + dir.string() + (row.stage == 5 ? "/FINAL.mid" : "/BGM.mid");
    EXPECT_LT(IndexOf(cmds, "play sound_1 from 0"), IndexOf(cmds, music));
    EXPECT_LT(IndexOf(cmds, music), cmds.size());
  }
}

TEST_F(Play, MastersModeRunsTheClockAt500AndBeginnersAt800) {
  fMain& f = Load();
  f.gameMode = 1;
  f.StartStage();
  EXPECT_EQ(f.timTimer.Interval.get(), 500);
  f.ReturnToTitle();
  f.gameMode = 0;
  f.StartStage();
  EXPECT_EQ(f.timTimer.Interval.get(), 800);
}

TEST_F(Play, TheGeneratorIsReseededFromTheClockAtEachStart) {
  fMain& f = Load();
  f.stage = 4;
  f.StartStage();
  const auto kinds = f.flyKind;
  const auto starts = f.flyStart;
  f.ReturnToTitle();
  f.StartStage();  // same tick count: the same stage
  EXPECT_EQ(f.flyKind, kinds);
  EXPECT_EQ(f.flyStart[99].x, starts[99].x);
  f.ReturnToTitle();
  platform::AdvanceClock(1);
  f.StartStage();
  EXPECT_NE(f.flyKind, kinds);
}

TEST_F(Play, TheCursorIsClippedToTheClientArea) {
  // Frames of 3 + 3, 2 + 3 and 3 + 4 pixels: f is 3, 2 (2.5 to even) and 4 (3.5 to even).
  const int frames[][3] = {{3, 3, 3}, {2, 3, 2}, {3, 4, 4}};
  const int expectF[] = {3, 2, 4};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    platform::SimulateWindowFrame(frames[k][0], 25, frames[k][1], frames[k][2]);
    fMain& f = Load();
    RECT w{}, clip{};
    GetWindowRect(f.hWnd, &w);
    f.StartStage();
    GetClipCursor(&clip);
    EXPECT_EQ(clip.left, w.left + expectF[k]);
    EXPECT_EQ(clip.right, w.left + expectF[k] + 640);
    EXPECT_EQ(clip.bottom, w.bottom - expectF[k]);
    EXPECT_EQ(clip.top, w.bottom - expectF[k] - 480);
    f.ReturnToTitle();
    GetClipCursor(&clip);
    EXPECT_NE(clip.right - clip.left, 640);  // free again: the whole screen
  }
  platform::SimulateWindowFrame(-1, -1, -1, -1);
  WriteFile("Zorbilo.ini", "[Setting]\nFullScreen=1\n");
  fMain& f = Load();
  f.StartStage();
  RECT clip{};
  GetClipCursor(&clip);
  EXPECT_EQ(clip.left, 0);
  EXPECT_EQ(clip.top, 0);
  EXPECT_EQ(clip.right, 640);
  EXPECT_EQ(clip.bottom, 480);
}

// ---- Stage flow --------------------------------------------------------------------------------

struct BonusCase {
  int32_t misses, time, stage, mode;
  int32_t bonus, stageAfter, modeAfter;
};

TEST_F(Play, StageClearComputesTheBonusAndMovesOn) {
  const BonusCase cases[] = {
      {0, 17, 1, 0, 1700, 2, 0},  {30, 17, 2, 0, 80, 3, 0},
      {100, 17, 3, 0, 0, 4, 0},   {1, 17, 1, 0, 850, 2, 0},
      {9, 17, 1, 0, 850, 2, 0},   {10, 17, 1, 0, 170, 2, 0},
      {29, 17, 1, 0, 170, 2, 0},  {99, 17, 4, 0, 80, 5, 0},
      {0, 0, 2, 0, 0, 3, 0},      {0, 40, 5, 0, 9000, 1, 1},
      {0, 0, 5, 0, 5000, 1, 1},   {0, 0, 5, 1, 10000, 1, 2},
      {3, 25, 5, 1, 11250, 1, 2}, {0, 30, 2, 1, 3000, 3, 1},
      {0, -1, 2, 0, 0, 3, 0},  // a late clock tick never makes the bonus negative
  };
  fMain& f = Load();
  for (const BonusCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.misses << " misses, " << c.time << " left, stage "
                                    << c.stage << ", mode " << c.mode);
    f.StartStage();
    f.missCount = c.misses;
    f.timeLeft = c.time;
    f.stage = c.stage;
    f.gameMode = c.mode;
    TakeCommands();
    f.StageClear();
    EXPECT_EQ(f.bonus, c.bonus);
    EXPECT_EQ(f.clearTime, c.time);
    EXPECT_EQ(f.stage, c.stageAfter);
    EXPECT_EQ(f.gameMode, c.modeAfter);
    EXPECT_EQ(f.gameState, 3);
    EXPECT_EQ(f.timeLeft, 5);
    EXPECT_EQ(f.timTimer.Interval.get(), 1000);
    EXPECT_TRUE(f.timTimer.Enabled.get());
    const auto cmds = TakeCommands();
    EXPECT_LT(IndexOf(cmds, "stop sound_bgm"), IndexOf(cmds, "play sound_4 from 0"));
    EXPECT_LT(IndexOf(cmds, "play sound_4 from 0"), cmds.size());
    f.ReturnToTitle();
  }
}

TEST_F(Play, TimeUpLosesTheGameAndTheTitleRaisesTheBestScore) {
  fMain& f = Load();
  f.stage = 3;
  f.StartStage();
  f.score = 700;
  f.bestScore = 500;
  TakeCommands();
  f.TimeUp();
  EXPECT_EQ(f.gameState, 2);
  EXPECT_EQ(f.stage, 1);
  EXPECT_EQ(f.score, 0);
  EXPECT_EQ(f.bestScore, 500);
  EXPECT_FALSE(f.timTimer.Enabled.get());
  const auto cmds = TakeCommands();
  EXPECT_LT(IndexOf(cmds, "stop sound_bgm"), IndexOf(cmds, "play sound_5 from 0"));

  // The clock ticks down in any state.
  f.timeLeft = 3;
  f.timTimer_Timer();
  EXPECT_EQ(f.timeLeft, 2);

  f.score = 900;
  f.gameMode = 1;
  f.ReturnToTitle();
  EXPECT_EQ(f.gameState, 0);
  EXPECT_EQ(f.MousePointer.get(), 1);
  EXPECT_FALSE(f.timTimer.Enabled.get());
  EXPECT_EQ(f.timeLeft, 0);
  EXPECT_EQ(f.bestScore, 900);
  EXPECT_EQ(f.score, 900);
  EXPECT_EQ(f.stage, 1);
  EXPECT_EQ(f.gameMode, 1);
  f.score = 100;
  f.ReturnToTitle();
  EXPECT_EQ(f.bestScore, 900);
}

// ---- Swatting ----------------------------------------------------------------------------------

TEST_F(Play, TheHitBoxReaches14PixelsSidewaysAnd16UpAnd10Down) {
  fMain& f = Load();
  Playing(f, 3);
  SetFly(f, 0, 1, 86, 84);
  SetFly(f, 1, 1, 76, 84);    // touches on the left: no hit
  SetFly(f, 2, 1, 100, 110);  // touches at the bottom: no hit
  TakeCommands();
  Swat(f, 100, 100);
  EXPECT_EQ(f.flyLife[0], 0);
  EXPECT_EQ(f.flyLife[1], 1);
  EXPECT_EQ(f.flyLife[2], 1);
  EXPECT_EQ(f.score, 10);
  EXPECT_EQ(f.fliesLeft, 2);
  EXPECT_EQ(f.missCount, 0);
  EXPECT_EQ(f.MouseIcon.get(), &f.icoSwat2);
  EXPECT_TRUE(Sent("play sound_2_0 from 0"));
  EXPECT_FALSE(Sent("play sound_3_"));
  f.Form_MouseUp(1, 0, 100, 100);
  EXPECT_EQ(f.MouseIcon.get(), &f.icoSwat1);
}

TEST_F(Play, LivesPointsAndWoundsByKind) {
  fMain& f = Load();
  Playing(f, 6);
  SetFly(f, 0, 1, 200, 200);
  SetFly(f, 1, 2, 205, 205);
  SetFly(f, 2, 5, 400, 300);
  SetFly(f, 3, 3, 100, 300);
  SetFly(f, 4, 1, 210, 200);
  f.flyLife[4] = 0;  // dead: never hit again
  f.fliesLeft = 5;
  SetFly(f, 5, 1, 600, 50);

  Swat(f, 207, 207);  // two small flies at once
  EXPECT_EQ(f.score, 20);
  EXPECT_EQ(f.fliesLeft, 3);

  TakeCommands();
  Swat(f, 410, 310);  // wounds the medium fly
  EXPECT_EQ(f.flyLife[2], 1);
  EXPECT_EQ(f.flySrc[2].x, 120);
  EXPECT_EQ(f.score, 20);
  EXPECT_TRUE(Sent("play sound_2_"));
  Swat(f, 410, 310);
  EXPECT_EQ(f.flyLife[2], 0);
  EXPECT_EQ(f.score, 40);

  Swat(f, 105, 305);
  EXPECT_EQ(f.flySrc[3].x, 60);
  Swat(f, 105, 305);
  EXPECT_EQ(f.score, 60);
  EXPECT_EQ(f.fliesLeft, 1);

  TakeCommands();
  Swat(f, 212, 205);  // only the dead fly there: a miss
  EXPECT_EQ(f.missCount, 1);
  EXPECT_TRUE(Sent("play sound_3_"));
  EXPECT_FALSE(Sent("play sound_2_"));
}

TEST_F(Play, KillingTheLastFlyClearsTheStageInTheSameEvent) {
  fMain& f = Load();
  f.StartStage();
  Playing(f, 2);
  SetFly(f, 0, 1, 50, 50);
  SetFly(f, 1, 1, 500, 400);  // beyond flyCount once it is lowered
  f.flyCount = 1;
  f.fliesLeft = 1;
  f.timeLeft = 12;
  TakeCommands();
  Swat(f, 55, 55);
  EXPECT_EQ(f.gameState, 3);
  EXPECT_EQ(f.clearTime, 12);
  EXPECT_EQ(f.bonus, 1200);
  const auto cmds = TakeCommands();
  EXPECT_LT(IndexOf(cmds, "play sound_2_"), IndexOf(cmds, "play sound_4 from 0"));
}

TEST_F(Play, OutsidePlayASwatOnlyPlaysTheMissSound) {
  fMain& f = Load();
  for (int state : {2, 3, 4}) {
    SCOPED_TRACE(state);
    Playing(f, 1);
    SetFly(f, 0, 1, 95, 95);
    f.gameState = state;
    f.missCount = 4;
    TakeCommands();
    Swat(f, 100, 100);
    EXPECT_EQ(f.flyLife[0], 1);
    EXPECT_EQ(f.missCount, 4);
    EXPECT_EQ(f.gameState, state);
    EXPECT_EQ(f.MouseIcon.get(), &f.icoSwat2);
    EXPECT_TRUE(Sent("play sound_3_"));
  }
}

TEST_F(Play, TheOtherButtonDoesNothingAtAll) {
  WriteFile("Zorbilo.ini", "[Setting]\nRClick=1\n");
  fMain& f = Load();
  TakeCommands();
  f.Form_MouseDown(1, 0, 100, 100);
  EXPECT_EQ(f.gameState, 0);
  EXPECT_TRUE(TakeCommands().empty());
  f.Form_MouseDown(2, 0, 100, 100);
  EXPECT_EQ(f.gameState, 1);

  Playing(f, 1);
  SetFly(f, 0, 1, 95, 95);
  f.MouseIcon = &f.icoSwat1;
  TakeCommands();
  for (int16_t button : {1, 4}) {
    f.Form_MouseDown(button, 0, 100, 100);
    f.Form_MouseUp(button, 0, 100, 100);
  }
  EXPECT_EQ(f.flyLife[0], 1);
  EXPECT_EQ(f.missCount, 0);
  EXPECT_EQ(f.MouseIcon.get(), &f.icoSwat1);
  EXPECT_TRUE(TakeCommands().empty());
  f.Form_MouseDown(2, 0, 100, 100);
  EXPECT_EQ(f.flyLife[0], 0);
}

TEST_F(Play, TheBigFlyReleasesItsBroodAtItsLastLifeAndDiesAtThe200thHit) {
  fMain& f = Load();
  f.stage = 5;
  f.StartStage();
  f.flyPos[0] = {300, 200};
  for (int i = 1; i <= 20; ++i) f.flyPos[i] = {0, 400};
  // Slots 21..30 hold what an earlier stage left there, right under the swatter.
  for (int i = 21; i <= 30; ++i) f.flyPos[i] = {335, 235};
  for (int hit = 1; hit <= 198; ++hit) Swat(f, 340, 240);
  EXPECT_EQ(f.flyLife[0], 2);
  EXPECT_EQ(f.flyCount, 21);
  EXPECT_EQ(f.flySrc[0].x, 160);  // a hit does not change its frame

  Swat(f, 340, 240);  // the 199th
  EXPECT_EQ(f.flyLife[0], 1);
  EXPECT_EQ(f.flyCount, 31);
  EXPECT_EQ(f.fliesLeft, 31);
  EXPECT_EQ(f.score, 0);
  for (int j = 21; j <= 30; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(f.flyKind[j], 3);
    EXPECT_EQ(f.flySrc[j].x, 40);
    EXPECT_EQ(f.flySrc[j].y, 80);
    EXPECT_EQ(f.flySize[j], 10);
    EXPECT_EQ(f.flyLife[j], 2);  // not tested by the swat that released them
    EXPECT_EQ(f.flyAnim[j], 0);
    EXPECT_EQ(f.flyStart[j].x, 340);
    EXPECT_EQ(f.flyStart[j].y, 240);
    EXPECT_GE(f.flyPhase[j], 0);
    EXPECT_LE(f.flyPhase[j], 59);
    EXPECT_GE(std::min(f.flyDelta[j].x, f.flyDelta[j].y), -50);
    EXPECT_LE(std::max(f.flyDelta[j].x, f.flyDelta[j].y), 49);
    EXPECT_EQ(f.flyPos[j].x, 335);  // placed by the next motion step
  }

  Swat(f, 340, 240);  // the 200th: kills it and wounds the brood still lying there
  EXPECT_EQ(f.flyLife[0], 0);
  EXPECT_EQ(f.score, 3000);
  EXPECT_EQ(f.fliesLeft, 30);
  EXPECT_EQ(f.flySrc[25].x, 60);
  EXPECT_EQ(f.gameState, 1);
}

// ---- Motion ------------------------------------------------------------------------------------

TEST_F(Play, ALegIsEasedWithAWobbleAndEndsWithANewOne) {
  fMain& f = Load();
  Playing(f, 1);
  SetFly(f, 0, 1, 0, 0);
  f.flyStart[0] = {100, 100};
  f.flyDelta[0] = {200, 100};
  f.flyPhase[0] = 15;
  f.MoveFlies();
  EXPECT_EQ(f.flyPos[0].x, 148);  // 147.5 rounds to even
  EXPECT_EQ(f.flyPos[0].y, 164);
  EXPECT_EQ(f.flyPhase[0], 16);

  f.flyPhase[0] = 0;
  f.MoveFlies();
  EXPECT_EQ(f.flyPos[0].x, 100);
  EXPECT_EQ(f.flyPos[0].y, 100);
  EXPECT_EQ(f.flyPhase[0], 1);

  f.flyPos[0] = {123, 77};
  f.flyPhase[0] = 60;
  for (int leg = 0; leg < 50; ++leg) {
    f.flyPhase[0] = 60;
    const IntPoint before = f.flyPos[0];
    f.MoveFlies();
    EXPECT_EQ(f.flyPos[0].x, before.x);
    EXPECT_EQ(f.flyPos[0].y, before.y);
    EXPECT_EQ(f.flyStart[0].x, before.x);
    EXPECT_EQ(f.flyStart[0].y, before.y);
    EXPECT_EQ(f.flyPhase[0], 0);
    const int tx = before.x + f.flyDelta[0].x, ty = before.y + f.flyDelta[0].y;
    EXPECT_TRUE(tx >= 0 && tx < 630 && ty >= 0 && ty < 470) << tx << "," << ty;
  }
}

TEST_F(Play, WingsBeatEveryStepAndTheBigFlysEveryThird) {
  fMain& f = Load();
  Playing(f, 3);
  SetFly(f, 0, 1, 10, 10);
  SetFly(f, 1, 5, 50, 50);
  SetFly(f, 2, 10, 100, 100);
  const int small[] = {90, 80, 90, 80, 90, 80, 90};
  const int medium[] = {100, 80, 100, 80, 100, 80, 100};
  const int big[] = {0, 0, 80, 80, 80, 0, 0};
  for (int step = 0; step < 7; ++step) {
    f.MoveFlies();
    EXPECT_EQ(f.flySrc[0].y, small[step]) << step;
    EXPECT_EQ(f.flySrc[1].y, medium[step]) << step;
    EXPECT_EQ(f.flySrc[2].y, big[step]) << step;
  }
}

TEST_F(Play, ADeadFlyFallsOutAndSlotsBeyondTheCountAreLeftAlone) {
  fMain& f = Load();
  f.gameState = 1;
  f.DrawBackground();
  const Pixels sheet = Sheet(f);
  Pixels expected = Back(f);
  Playing(f, 2);
  SetFly(f, 0, 5, 300, 400);
  f.flyLife[0] = 0;
  f.flySrc[0] = {120, 100};
  SetFly(f, 1, 1, 20, 475);
  f.flyLife[1] = 0;
  SetFly(f, 2, 1, 40, 40);  // beyond flyCount
  f.flyPhase[2] = 15;
  f.MoveFlies();
  expected.Sprite(sheet, 300, 410, 120, 100, 20, 20);
  EXPECT_EQ(Back(f).Diff(expected), 0);
  EXPECT_EQ(f.flyPos[0].y, 410);
  EXPECT_EQ(f.flySrc[0].y, 100);  // no wing beat
  EXPECT_EQ(f.flyPos[1].y, 485);
  f.MoveFlies();
  EXPECT_EQ(f.flyPos[1].y, 485);
  EXPECT_EQ(f.flyPos[2].x, 40);
  EXPECT_EQ(f.flyPhase[2], 15);
}

}  // namespace
