// Stages: set-up from the stage table, the stage clock, clearing a stage with its bonus, time up,
// and the way back to the title screen.
#include <algorithm>

#include "common/App.h"
#include "game/play/Numbers.h"
#include "game/shell/fMain.h"
#include "game/sound/Sound.h"

namespace {

struct KindValues {
  IntPoint src;
  int32_t size;
  int32_t life;
};

// Start values of the five kinds; false for any other number.
bool ValuesOfKind(int32_t kind, KindValues& v) {
  switch (kind) {
    case 1:
      v = {{0, 80}, 10, 1};
      return true;
    case 2:
      v = {{20, 80}, 10, 1};
      return true;
    case 3:
      v = {{40, 80}, 10, 2};
      return true;
    case 5:
      v = {{80, 80}, 20, 2};
      return true;
    case 10:
      v = {{160, 0}, 80, 200};
      return true;
    default:
      return false;
  }
}

}  // namespace

double fMain::Random() {
  // 53 random bits over 2^53: strictly below 1, unlike some generate_canonical builds.
  const uint32_t a = rng() >> 5;
  const uint32_t b = rng() >> 6;
  return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}

int32_t fMain::SlotsInUse() const {
  return std::clamp(flyCount, 0, kFlySlots);
}

void fMain::StartStage() {
  SoundPlay(sndStart);

  // Clip the cursor to the client area: the 640x480 rectangle at the bottom of the window, with
  // the left, right and bottom frame edges taken as equally wide.
  RECT win{};
  if (GetWindowRect(hWnd, &win)) {
    const int32_t f = play::Round((static_cast<double>(win.right) - win.left - 640) / 2);
    RECT clip{};
    clip.left = play::AddSat(win.left, f);
    clip.right = play::AddSat(clip.left, 640);
    clip.bottom = play::AddSat(win.bottom, -static_cast<int64_t>(f));
    clip.top = play::AddSat(clip.bottom, -480);
    ClipCursor(&clip);
  }

  MouseIcon = &icoSwat1;
  MousePointer = 99;

  rng.seed(GetTickCount());

  // The stage table: counts, clocks and kinds by slot. Slots drawn as "1 or 2" take their draws
  // first, in slot order.
  auto oneOrTwo = [this](int32_t from, int32_t to) {
    for (int32_t i = from; i <= to; ++i) flyKind[i] = play::Floor(2 * Random()) + 1;
  };
  auto fixed = [this](int32_t from, int32_t to, int32_t kind) {
    for (int32_t i = from; i <= to; ++i) flyKind[i] = kind;
  };
  switch (stage) {
    case 1:
      flyCount = 5;
      timeLeft = 30;
      fixed(0, 4, 1);
      break;
    case 2:
      flyCount = 20;
      timeLeft = 50;
      oneOrTwo(0, 19);
      break;
    case 3:
      flyCount = 50;
      timeLeft = 80;
      oneOrTwo(0, 29);
      fixed(30, 49, 5);
      break;
    case 4:
      flyCount = 100;
      timeLeft = 100;
      oneOrTwo(0, 49);
      fixed(50, 99, 5);
      break;
    case 5:
      flyCount = 21;
      timeLeft = 120;
      fixed(0, 0, 10);
      fixed(1, 20, 5);
      break;
    default:
      break;  // no such stage: the table leaves everything as it was
  }

  const int32_t n = SlotsInUse();
  for (int32_t i = 0; i < n; ++i) {
    KindValues v{};
    if (ValuesOfKind(flyKind[i], v)) {
      flySrc[i] = v.src;
      flySize[i] = v.size;
      flyLife[i] = v.life;
    }
    flyAnim[i] = 0;
    flyPhase[i] = play::Floor(60 * Random());
    const int32_t s = flySize[i];
    flyStart[i].x = play::Floor(Random() * (640 - s));
    flyStart[i].y = play::Floor(Random() * (480 - s));
    flyDelta[i].x = play::AddSat(play::Floor(Random() * (640 - s)), -int64_t{flyStart[i].x});
    flyDelta[i].y = play::AddSat(play::Floor(Random() * (480 - s)), -int64_t{flyStart[i].y});
  }

  fliesLeft = flyCount;
  missCount = 0;

  MusicPlay(App.Path + (stage == 5 ? "/FINAL.mid" : "/BGM.mid"));

  gameState = 1;

  timTimer.Interval = gameMode != 0 ? 500 : 800;
  timTimer.Enabled = true;
}

void fMain::timTimer_Timer() {
  timeLeft = play::AddSat(timeLeft, -1);
}

void fMain::StageClear() {
  MusicStop();
  SoundPlay(sndClear);
  clearTime = timeLeft;

  // A clock tick that slipped in after zero must not make the bonus negative.
  const int64_t time = std::max<int32_t>(clearTime, 0);
  if (missCount >= 100) {
    bonus = 0;
  } else {
    const int64_t rate = missCount <= 0 ? 100 : missCount < 10 ? 50 : missCount < 30 ? 10 : 5;
    bonus = play::AddSat(0, (rate * time) / 10 * 10);
  }

  gameState = 3;
  timTimer.Interval = 1000;
  timeLeft = 5;

  if (stage >= 5) {
    stage = 1;
    if (gameMode == 0) {
      gameMode = 1;
      bonus = play::AddSat(bonus, 5000);
    } else {
      gameMode = 2;
      bonus = play::AddSat(bonus, 10000);
    }
  } else {
    stage += 1;
  }
}

void fMain::TimeUp() {
  MusicStop();
  SoundPlay(sndTimeUp);
  gameState = 2;
  stage = 1;
  score = 0;
  timTimer.Enabled = false;
}

void fMain::ReturnToTitle() {
  MusicStop();
  ClipCursor(nullptr);
  MousePointer = 1;
  gameState = 0;
  timTimer.Enabled = false;
  timeLeft = 0;
  if (score > bestScore) bestScore = score;
}
