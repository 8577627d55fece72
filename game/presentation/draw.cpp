// Drawing into the back buffer from the sprite sheet: background tiles, masked sprites,
// fixed-width numbers and the 24-character text lines.
#include <algorithm>
#include <cmath>
#include <limits>

#include "game/play/Numbers.h"
#include "game/shell/fMain.h"

void fMain::DrawBackground() {
  // The title has its own tile; every other screen shares the play tile.
  const int32_t tileX = gameState == 0 ? 0 : 80;
  for (int32_t c = 0; c < 8; ++c)
    for (int32_t r = 0; r < 6; ++r)
      BitBlt(backDC, 80 * c, 80 * r, 80, 80, picImage.hDC, tileX, 0, SRCCOPY);
}

void fMain::DrawSprite(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h) {
  // The mask lies to the right of the image; a mask position beyond 32 bits is no sprite at all.
  const int64_t maskX = static_cast<int64_t>(sx) + w;
  if (maskX > std::numeric_limits<int32_t>::max()) return;
  // OR the mask first (white where the sprite is opaque), then AND the image, whose white
  // surround leaves the background as it was.
  BitBlt(backDC, dx, dy, w, h, picImage.hDC, static_cast<int>(maskX), sy, SRCPAINT);
  BitBlt(backDC, dx, dy, w, h, picImage.hDC, sx, sy, SRCAND);
}

void fMain::DrawNumber(int32_t x, int32_t y, int32_t value, int32_t digits) {
  // Fields are 1 to 9 digits wide; nothing shown is negative, and should a negative value turn
  // up (a late clock tick) it shows as zero rather than reaching outside the digit table.
  digits = std::min(digits, 9);
  if (digits < 1) return;
  if (value < 0) value = 0;
  const int32_t limit = play::Round(std::pow(10.0, digits));
  if (value >= limit) value = limit - 1;
  for (int32_t i = 0; i < digits; ++i) {
    const int32_t place = play::Round(std::pow(10.0, digits - 1 - i));
    const int32_t d = std::clamp(value / place, 0, 9);
    const IntPoint& glyph = digitSrc[static_cast<size_t>(d)];
    DrawSprite(play::AddSat(x, int64_t{12} * i), y, glyph.x, glyph.y, 20, 20);
    value -= d * place;
  }
}

void fMain::DrawTextLine(int32_t y, const std::string& text) {
  // The lines are 24-character literals whose spaces place the words; a shorter text is written
  // as far as it goes.
  const int length = static_cast<int>(std::min<size_t>(text.size(), 24));
  TextOutA(backDC, 220, y, text.c_str(), length);
}
