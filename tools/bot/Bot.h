// A player for tools and benchmarks that need the game in a given stage: it clicks and swats
// through the window's message chain on the manual clock, aiming where a fly was last drawn.
#pragma once

#include "game/shell/fMain.h"

namespace bot {

inline LPARAM At(int x, int y) { return static_cast<LPARAM>((y << 16) | (x & 0xFFFF)); }

inline void Click(fMain& f, int x, int y) {
  PostMessageA(f.hWnd, WM_LBUTTONDOWN, 0, At(x, y));
  PostMessageA(f.hWnd, WM_LBUTTONUP, 0, At(x, y));
  platform::AdvanceClock(0);
}

inline void Frames(int n) {
  for (int i = 0; i < n; ++i) platform::AdvanceClock(30);
}

// Where a player would swat: the middle of a living fly that is on the playfield.
inline bool AimAtAFly(const fMain& f, int& x, int& y) {
  for (int i = 0; i < f.flyCount; ++i) {
    if (f.flyLife[i] == 0) continue;
    x = f.flyPos[i].x + f.flySize[i] / 2;
    y = f.flyPos[i].y + f.flySize[i] / 2;
    if (x >= 0 && x < 640 && y >= 0 && y < 480) return true;
  }
  return false;
}

// Swats until the stage is cleared or only `keep` flies are left alive.
inline void Swat(fMain& f, int keep) {
  for (int swats = 0; f.gameState == 1 && f.fliesLeft > keep && swats < 5000; ++swats) {
    Frames(2);
    int x, y;
    if (f.gameState == 1 && AimAtAFly(f, x, y)) Click(f, x, y);
  }
}

// From the title screen of stage 1: clears the stages before `stage` and starts that one.
// Returns whether the game is playing it.
inline bool PlayTo(fMain& f, int stage) {
  Frames(5);
  for (int s = 1; s <= stage && f.gameState == 0; ++s) {
    Click(f, 320, 255);  // "Click To Start !"
    if (s == stage) break;
    Swat(f, 0);
    for (int ms = 0; f.gameState == 3 && ms < 60'000; ms += 300) Frames(10);
  }
  return f.gameState == 1 && f.stage == stage;
}

}  // namespace bot
