// Lettering of the sheet: a bold bitmap face for labels, serif bitmap digits, and a rounded
// stroke face for the large banners.
#pragma once

#include <string>
#include <vector>

#include "assetgen.h"

namespace assetgen {

// Bitmap glyph: rows of '#' (ink) and '.' (empty), top row = cap height.
struct BitmapGlyph {
  char ch;
  int top;  // row offset from the cap line (lower-case letters start lower)
  std::vector<std::string> rows;
};

const BitmapGlyph* labelGlyph(char c);
const BitmapGlyph& digitGlyph(int d);
int labelTextWidth(const std::string& s);
// Draws text with its cap line at y; returns the x after the last glyph.
int drawLabelText(Picture& pic, int x, int y, const std::string& s, Rgb ink);

// Stroke face: polylines in a box 10 units high.
struct StrokeGlyph {
  char ch;
  float width;
  std::vector<std::vector<Pt>> strokes;
};
const StrokeGlyph* strokeGlyph(char c);

}  // namespace assetgen
