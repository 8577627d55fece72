// The back buffer reaches the window only here, and Esc is the only key the game hears.
#include "game/shell/fMain.h"

void fMain::timRefresh_Timer() {
  // One plain copy serves the window and the full screen alike; the same frame is normally
  // copied more than once, and a covered window is repainted by the next tick.
  BitBlt(hDC, 0, 0, 640, 480, backDC, 0, 0, SRCCOPY);
}

void fMain::Form_KeyDown(int16_t KeyCode, int16_t Shift) {
  (void)Shift;
  if (KeyCode != 27) return;
  if (gameState != 0) {
    // Leaving master's mode drops back to beginner's mode at stage 1.
    if (gameMode != 0) {
      stage = 1;
      gameMode = 0;
      if (!fullScreen) Caption = "Zorbilo";
    }
    // The abandoned game's score still counts toward the best score before it is cleared.
    ReturnToTitle();
    score = 0;
  } else {
    Unload();
  }
}
