// The frame loop: every tick of timGame composes one whole frame in the back buffer and makes
// the timed transitions of the game.
#include <string>

#include "game/play/Numbers.h"
#include "game/shell/fMain.h"

namespace {

// Sheet pictures of the screens: image position and size (the mask lies to the right).
struct SheetPicture {
  int32_t x, y, w, h;
};
constexpr SheetPicture kTimeLabel{0, 160, 80, 20};
constexpr SheetPicture kAliveLabel{160, 160, 80, 20};
constexpr SheetPicture kMissLabel{0, 180, 80, 20};
constexpr SheetPicture kBonusLabel{160, 180, 80, 20};
constexpr SheetPicture kStageLabel{0, 200, 80, 20};
constexpr SheetPicture kFinalLabel{160, 200, 80, 20};
constexpr SheetPicture kClickToStart{0, 220, 160, 20};
constexpr SheetPicture kTimeUpBanner{0, 240, 160, 40};
constexpr SheetPicture kClearBanner{0, 280, 160, 40};

struct TextLine {
  int32_t y;
  const char* text;
};

constexpr size_t Length(const char* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// The ending lines are written at a fixed x; their spaces place the words.
constexpr TextLine kBeginnerEnding[] = {
    {170, "   Congratulations !!   "}, {200, " You Cleared All Stage. "},
    {235, " But! These Stages Are  "}, {255, " Just <Beginner's Mode>."},
    {280, " Let's Challenge Next,  "}, {300, " <Master's Mode> !!!!!  "},
};
constexpr TextLine kMasterEnding[] = {
    {180, "     Fantastic !!!!!    "},
    {220, " This Time, You Cleared "},
    {260, " Truly <All Stage> !!!! "},
    {300, " Thank You For Playing. "},
};

constexpr bool AllOfLength24() {
  for (const TextLine& l : kBeginnerEnding)
    if (Length(l.text) != 24) return false;
  for (const TextLine& l : kMasterEnding)
    if (Length(l.text) != 24) return false;
  return true;
}
static_assert(AllOfLength24(), "every ending line is 24 characters wide");

}  // namespace

void fMain::timGame_Timer() {
  auto sprite = [this](const SheetPicture& p, int32_t x, int32_t y) {
    DrawSprite(x, y, p.x, p.y, p.w, p.h);
  };

  DrawBackground();

  if (showFps) {
    const auto t = static_cast<int32_t>(GetTickCount());
    // Elapsed time in wrapping 32-bit arithmetic: the tick count wraps after 49.7 days and
    // passes the sign bit after 24.8, neither of which may stall or overflow the count.
    const uint32_t elapsed = static_cast<uint32_t>(t) - static_cast<uint32_t>(fpsTick);
    if (elapsed < 1000) {
      fpsFrames = play::AddSat(fpsFrames, 1);
    } else {
      fpsTick = t;
      fpsValue = fpsFrames;
      fpsFrames = 0;
    }
    const std::string text = "FPS:" + std::to_string(fpsValue);
    TextOutA(backDC, 10, 456, text.c_str(), static_cast<int>(text.size()));
  }

  switch (gameState) {
    case 0:
      if (stage == 5) {
        sprite(kFinalLabel, 248, 211);
        sprite(kStageLabel, 305, 212);
      } else {
        sprite(kStageLabel, 265, 212);
        DrawNumber(335, 210, stage, 1);
      }
      sprite(kClickToStart, 240, 245);
      break;

    case 1:
      sprite(kTimeLabel, 0, 10);
      DrawNumber(65, 10, timeLeft, 3);
      sprite(kAliveLabel, 105, 10);
      DrawNumber(170, 10, fliesLeft, 3);
      DrawNumber(550, 10, score, 6);
      MoveFlies();
      // The frame in which the clock reached zero still shows 000 and the flies.
      if (timeLeft <= 0) TimeUp();
      break;

    case 2:
      MoveFlies();
      sprite(kTimeUpBanner, 240, 220);
      break;

    case 3:
      sprite(kClearBanner, 240, 180);
      sprite(kTimeLabel, 240, 235);
      DrawNumber(340, 235, clearTime, 3);
      sprite(kMissLabel, 240, 255);
      DrawNumber(340, 255, missCount, 3);
      sprite(kBonusLabel, 240, 280);
      DrawNumber(330, 280, bonus, 4);
      if (timeLeft <= 0) {
        score = play::AddSat(score, bonus);
        if (stage > 1) {
          ReturnToTitle();
        } else {
          // The fifth stage was cleared: the ending.
          gameState = 4;
          if (gameMode == 1)
            timeLeft = 10;
          else
            timTimer.Enabled = false;
        }
      }
      break;

    case 4:
      if (gameMode == 1) {
        for (const TextLine& l : kBeginnerEnding) DrawTextLine(l.y, l.text);
        if (timeLeft <= 0) {
          ReturnToTitle();
          if (!fullScreen) Caption = "超・Zorbilo";
        }
      } else {
        for (const TextLine& l : kMasterEnding) DrawTextLine(l.y, l.text);
      }
      break;

    default:
      break;
  }
}
