// Swatting: the swat button starts a stage on the title screen and strikes during play. Every
// living fly under the hit box loses a life; the big fly releases its brood at its last life.
#include <cmath>

#include "game/play/Numbers.h"
#include "game/shell/fMain.h"
#include "game/sound/Sound.h"

namespace {

int32_t PointsOfKind(int32_t kind) {
  switch (kind) {
    case 1:
    case 2:
      return 10;
    case 3:
    case 5:
      return 20;
    case 10:
      return 3000;
    default:
      return 0;
  }
}

constexpr int32_t kBrood = 10;

}  // namespace

void fMain::Form_MouseDown(int16_t Button, int16_t Shift, float X, float Y) {
  (void)Shift;
  if (Button != swatButton) return;
  if (gameState == 0) {
    StartStage();
    return;
  }
  MouseIcon = &icoSwat2;
  if (gameState != 1) {
    SoundPlay(sndMiss);
    return;
  }

  // 28 pixels wide around X, from 16 above Y to 10 below it.
  const int32_t left = play::Round(static_cast<double>(X) - 14);
  const int32_t right = play::Round(static_cast<double>(X) + 14);
  const int32_t top = play::Round(static_cast<double>(Y) - 16);
  const int32_t bottom = play::Round(static_cast<double>(Y) + 10);

  bool missed = true;
  // Flies released by this very swat are not tested by it.
  const int32_t last = SlotsInUse() - 1;
  for (int32_t i = 0; i <= last; ++i) {
    if (flyLife[i] == 0) continue;
    const int64_t x = flyPos[i].x;
    const int64_t y = flyPos[i].y;
    const int64_t s = flySize[i];
    if (!(left < x + s && right > x && bottom > y && top < y + s)) continue;

    missed = false;
    flyLife[i] = play::AddSat(flyLife[i], -1);
    if (flyLife[i] == 0) {
      fliesLeft = play::AddSat(fliesLeft, -1);
      score = play::AddSat(score, PointsOfKind(flyKind[i]));
    } else if (flyKind[i] != 10) {
      // The wounded frame pair lies to the right of the unhurt one.
      flySrc[i].x = play::AddSat(flySrc[i].x, 2 * s);
    } else if (flyLife[i] == 1 && flyCount >= 0 && flyCount <= kFlySlots - kBrood) {
      // The brood starts from the big fly's centre on a short first leg.
      for (int32_t j = flyCount; j < flyCount + kBrood; ++j) {
        flyKind[j] = 3;
        flySrc[j] = {40, 80};
        flySize[j] = 10;
        flyLife[j] = 2;
        flyAnim[j] = 0;
        flyPhase[j] = play::Floor(60 * Random());
        flyStart[j] = {play::AddSat(flyPos[i].x, 40), play::AddSat(flyPos[i].y, 40)};
        const double ox = std::floor(100 * Random()) - 50;
        const double oy = std::floor(100 * Random()) - 50;
        flyDelta[j] = {play::Round(ox), play::Round(oy)};
      }
      flyCount += kBrood;
      fliesLeft += kBrood;
    }
  }

  if (missed) {
    missCount = play::AddSat(missCount, 1);
    SoundPlay(sndMiss);
  } else {
    SoundPlay(sndSwat);
  }

  if (fliesLeft == 0) StageClear();
}

void fMain::Form_MouseUp(int16_t Button, int16_t Shift, float X, float Y) {
  (void)Shift;
  (void)X;
  (void)Y;
  if (Button == swatButton && gameState != 0) MouseIcon = &icoSwat1;
}
