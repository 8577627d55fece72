// Fly motion: one step per frame. A living fly beats its wings and flies eased, wobbling legs of
// 60 steps towards random targets; a dead one drops out of the bottom of the playfield.
#include <cmath>

#include "game/play/Numbers.h"
#include "game/shell/fMain.h"

namespace {
// The value of pi the motion was tuned with; a more precise one shifts positions by a pixel.
constexpr double kPi = 3.14159265;
}  // namespace

void fMain::MoveFlies() {
  const int32_t n = SlotsInUse();
  for (int32_t i = 0; i < n; ++i) {
    const int32_t s = flySize[i];
    IntPoint& src = flySrc[i];
    IntPoint& pos = flyPos[i];

    if (flyLife[i] == 0) {
      if (pos.y < 480) {
        pos.y = play::AddSat(pos.y, 10);
        DrawSprite(pos.x, pos.y, src.x, src.y, s, s);
      }
      continue;
    }

    // Wing beat: the second frame lies s pixels below the first.
    if (flyKind[i] == 10) {
      flyAnim[i] = flyAnim[i] >= 5 ? 0 : flyAnim[i] + 1;
      if (flyAnim[i] == 0) src.y = play::AddSat(src.y, -int64_t{s});
      if (flyAnim[i] == 3) src.y = play::AddSat(src.y, s);
    } else if (flyAnim[i] != 0) {
      flyAnim[i] = 0;
      src.y = play::AddSat(src.y, -int64_t{s});
    } else {
      flyAnim[i] = 1;
      src.y = play::AddSat(src.y, s);
    }

    // Flight.
    if (flyPhase[i] == 60) {
      // The leg is over: a new one starts where the fly is, towards a point whose square lies
      // inside the playfield. The fly does not move on this step.
      flyPhase[i] = 0;
      flyStart[i] = pos;
      const double tx = std::floor(Random() * (640 - s));
      const double ty = std::floor(Random() * (480 - s));
      flyDelta[i].x = play::Round(tx - flyStart[i].x);
      flyDelta[i].y = play::Round(ty - flyStart[i].y);
    } else {
      const double p = flyPhase[i];
      const double w = std::sin(p * kPi / 30);
      const double e = 1 - (p - 60) * (p - 60) / 3600;
      pos.x = play::Round((e - w / 5) * flyDelta[i].x + flyStart[i].x);
      pos.y = play::Round((e + w / 5) * flyDelta[i].y + flyStart[i].y);
      flyPhase[i] = play::AddSat(flyPhase[i], 1);
    }

    DrawSprite(pos.x, pos.y, src.x, src.y, s, s);
  }
}
