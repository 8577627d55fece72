// The media files that come with the game: what the drawing code, the cursor and the sound and
// music devices rely on, read back from the committed files; and the generator, which must
// reproduce every one of them byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "loudness.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path kRoot = ZORBILO_SOURCE_DIR;

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t Le16(const Bytes& b, size_t at) {
  return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0;
}
uint32_t Le32(const Bytes& b, size_t at) {
  return at + 4 <= b.size() ? static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16) |
                                  static_cast<uint32_t>(b[at + 3]) << 24
                            : 0;
}
uint32_t Be32(const Bytes& b, size_t at) {
  return at + 4 <= b.size()
             ? static_cast<uint32_t>(b[at]) << 24 |
                   static_cast<uint32_t>(b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3])
             : 0;
}

// ------------------------------------------------------------------------------ sprite sheet

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
  bool white() const { return r == 255 && g == 255 && b == 255; }
  bool black() const { return r == 0 && g == 0 && b == 0; }
};

struct Sheet {
  Bytes file;
  Rgb at(int x, int y) const {  // rows are stored bottom-up
    const size_t p = 54 + static_cast<size_t>(319 - y) * 960 + static_cast<size_t>(x) * 3;
    return Rgb{file[p + 2], file[p + 1], file[p]};
  }
};

const Sheet& TheSheet() {
  static const Sheet s{ReadFile(kRoot / "game/assets/sheet.bmp")};
  return s;
}

struct Item {
  const char* name;
  int x, y, w, h;
};

// Every masked picture of the sheet, frames listed one by one.
const std::vector<Item>& MaskedItems() {
  static const std::vector<Item> items = {
      {"big fly 1", 160, 0, 80, 80},
      {"big fly 2", 160, 80, 80, 80},
      {"small A 1", 0, 80, 10, 10},
      {"small A 2", 0, 90, 10, 10},
      {"small B 1", 20, 80, 10, 10},
      {"small B 2", 20, 90, 10, 10},
      {"small C 1", 40, 80, 10, 10},
      {"small C 2", 40, 90, 10, 10},
      {"small D 1", 60, 80, 10, 10},
      {"small D 2", 60, 90, 10, 10},
      {"medium 1", 80, 80, 20, 20},
      {"medium 2", 80, 100, 20, 20},
      {"medium hurt 1", 120, 80, 20, 20},
      {"medium hurt 2", 120, 100, 20, 20},
      {"digit 0", 0, 100, 20, 20},
      {"digit 1", 40, 100, 20, 20},
      {"digit 2", 0, 120, 20, 20},
      {"digit 3", 40, 120, 20, 20},
      {"digit 4", 80, 120, 20, 20},
      {"digit 5", 120, 120, 20, 20},
      {"digit 6", 0, 140, 20, 20},
      {"digit 7", 40, 140, 20, 20},
      {"digit 8", 80, 140, 20, 20},
      {"digit 9", 120, 140, 20, 20},
      {"Time:", 0, 160, 80, 20},
      {"Miss:", 0, 180, 80, 20},
      {"Stage", 0, 200, 80, 20},
      {"Alive:", 160, 160, 80, 20},
      {"Bonus:", 160, 180, 80, 20},
      {"Final", 160, 200, 80, 20},
      {"Click To Start !", 0, 220, 160, 20},
      {"TIME UP !", 0, 240, 160, 40},
      {"CLEAR !!", 0, 280, 160, 40},
  };
  return items;
}

const Item& Find(const std::string& name) {
  for (const Item& it : MaskedItems())
    if (name == it.name) return it;
  return MaskedItems().front();
}

// Columns and rows of an item's cell where its mask shows something.
struct Ink {
  int x0 = 1000, y0 = 1000, x1 = -1, y1 = -1;
  int count = 0;
};
Ink InkOf(const Item& it) {
  Ink k;
  for (int y = 0; y < it.h; ++y)
    for (int x = 0; x < it.w; ++x)
      if (TheSheet().at(it.x + it.w + x, it.y + y).white()) {
        k.x0 = std::min(k.x0, x);
        k.x1 = std::max(k.x1, x);
        k.y0 = std::min(k.y0, y);
        k.y1 = std::max(k.y1, y);
        ++k.count;
      }
  return k;
}

TEST(SpriteSheet, IsAnUncompressedBottomUp24BitBitmapOf320By320) {
  const Bytes& b = TheSheet().file;
  ASSERT_EQ(b.size(), 307254u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le32(b, 2), 307254u);
  EXPECT_EQ(Le32(b, 10), 54u);  // pixels right after the headers
  EXPECT_EQ(Le32(b, 14), 40u);  // BITMAPINFOHEADER
  EXPECT_EQ(Le32(b, 18), 320u);
  EXPECT_EQ(Le32(b, 22), 320u);  // positive height: bottom-up
  EXPECT_EQ(Le16(b, 26), 1u);
  EXPECT_EQ(Le16(b, 28), 24u);
  EXPECT_EQ(Le32(b, 30), 0u);  // BI_RGB
}

TEST(SpriteSheet, EveryItemFitsWithItsMaskAndTheyDoNotOverlap) {
  struct Area {
    const char* name;
    int x, y, w, h;
  };
  std::vector<Area> areas = {{"title tile", 0, 0, 80, 80}, {"play tile", 80, 0, 80, 80}};
  for (const Item& it : MaskedItems()) areas.push_back({it.name, it.x, it.y, 2 * it.w, it.h});
  std::vector<int> owner(320 * 320, -1);
  for (size_t i = 0; i < areas.size(); ++i) {
    const Area& a = areas[i];
    ASSERT_LE(a.x + a.w, 320) << a.name;
    ASSERT_LE(a.y + a.h, 320) << a.name;
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x) {
        EXPECT_EQ(owner[y * 320 + x], -1)
            << a.name << " overlaps " << areas[owner[y * 320 + x]].name;
        owner[y * 320 + x] = static_cast<int>(i);
      }
  }
  // Together they fill the sheet.
  EXPECT_EQ(std::count(owner.begin(), owner.end(), -1), 0);
}

TEST(SpriteSheet, MasksArePureBlackOrWhiteAndTheImageIsWhiteWhereTheMaskIsBlack) {
  for (const Item& it : MaskedItems()) {
    int bad = 0;
    for (int y = 0; y < it.h; ++y)
      for (int x = 0; x < it.w; ++x) {
        const Rgb m = TheSheet().at(it.x + it.w + x, it.y + y);
        const Rgb im = TheSheet().at(it.x + x, it.y + y);
        if (!m.white() && !m.black()) ++bad;
        if (m.black() && !im.white()) ++bad;
      }
    EXPECT_EQ(bad, 0) << it.name;
    const Ink k = InkOf(it);
    EXPECT_GT(k.count, it.w * it.h / 20) << it.name << ": mask nearly empty";
    EXPECT_LT(k.count, it.w * it.h) << it.name << ": mask has no transparent part";
  }
}

// (background OR mask) AND image: an opaque pixel shows the image colour exactly, so a light
// pixel on the outline of a shape would show as a bright fringe over the tiles.
TEST(SpriteSheet, OutlinesHaveNoWhiteFringe) {
  for (const Item& it : MaskedItems()) {
    int fringe = 0;
    for (int y = 0; y < it.h; ++y)
      for (int x = 0; x < it.w; ++x) {
        auto opaque = [&](int i, int j) {
          return i >= 0 && j >= 0 && i < it.w && j < it.h &&
                 TheSheet().at(it.x + it.w + i, it.y + j).white();
        };
        if (!opaque(x, y)) continue;
        const bool edge =
            !opaque(x - 1, y) || !opaque(x + 1, y) || !opaque(x, y - 1) || !opaque(x, y + 1);
        const Rgb c = TheSheet().at(it.x + x, it.y + y);
        if (edge && std::min({c.r, c.g, c.b}) >= 240) ++fringe;
      }
    EXPECT_EQ(fringe, 0) << it.name;
  }
}

TEST(SpriteSheet, LettersAreBlackAndBannersInTheirColours) {
  for (const char* name : {"digit 0", "digit 7", "Time:", "Miss:", "Stage",
                           "Alive:", "Bonus:", "Final", "Click To Start !"}) {
    const Item& it = Find(name);
    for (int y = 0; y < it.h; ++y)
      for (int x = 0; x < it.w; ++x)
        if (TheSheet().at(it.x + it.w + x, it.y + y).white()) {
          EXPECT_TRUE(TheSheet().at(it.x + x, it.y + y).black()) << name << " at " << x << "," << y;
        }
  }
  auto count = [](const Item& it, auto pred) {
    int n = 0;
    for (int y = 0; y < it.h; ++y)
      for (int x = 0; x < it.w; ++x)
        if (TheSheet().at(it.x + it.w + x, it.y + y).white() &&
            pred(TheSheet().at(it.x + x, it.y + y)))
          ++n;
    return n;
  };
  const Item& up = Find("TIME UP !");
  const Item& clear = Find("CLEAR !!");
  EXPECT_GT(count(up, [](Rgb c) { return c.r > 150 && c.r > 2 * c.b && c.r > 2 * c.g; }), 300);
  EXPECT_GT(count(clear, [](Rgb c) { return c.b > 150 && c.b > 2 * c.r; }), 300);
}

// DrawNumber advances 12 pixels per 20-pixel cell: whatever a digit shows must stay within its
// first 12 columns, or the next digit's cell would cover it with its own mask.
TEST(SpriteSheet, DigitsStayInTheirTwelvePixelAdvance) {
  for (int d = 0; d <= 9; ++d) {
    const Ink k = InkOf(MaskedItems()[14 + d]);
    EXPECT_GE(k.x0, 0) << d;
    EXPECT_LE(k.x1, 11) << d;
    EXPECT_GE(k.y0, 1) << d;
    EXPECT_LE(k.y1, 18) << d;
  }
}

// The screens put a label and its number side by side (label x, number x); the label's
// letters must end before the number's cell begins. Nothing may touch a cell's edge either,
// where it would be cut off.
TEST(SpriteSheet, LabelsFitTheirCellsAndLeaveRoomForTheNumbers) {
  for (const char* name : {"Time:", "Miss:", "Stage", "Alive:", "Bonus:", "Final",
                           "Click To Start !", "TIME UP !", "CLEAR !!"}) {
    const Item& it = Find(name);
    const Ink k = InkOf(it);
    EXPECT_GT(k.x0, 0) << name;
    EXPECT_GT(k.y0, 0) << name;
    EXPECT_LT(k.x1, it.w - 1) << name;
    EXPECT_LT(k.y1, it.h - 1) << name;
  }
  struct Pair {
    const char* label;
    int labelX, numberX;
  };
  const Pair pairs[] = {{"Time:", 0, 65},    {"Alive:", 105, 170}, {"Time:", 240, 340},
                        {"Miss:", 240, 340}, {"Bonus:", 240, 330}, {"Stage", 265, 335}};
  for (const Pair& p : pairs)
    EXPECT_LT(p.labelX + InkOf(Find(p.label)).x1, p.numberX) << p.label << " at " << p.labelX;
  // "Final" at 248 and "Stage" at 305 on the title screen of the last stage.
  EXPECT_LT(248 + InkOf(Find("Final")).x1, 305 + InkOf(Find("Stage")).x0);
}

// The 8x6 tiling puts column 79 of a tile next to column 0 of the next, and row 79 over row 0:
// those seams must not differ more than neighbouring columns and rows inside the tile do.
TEST(SpriteSheet, TilesAreSeamless) {
  auto diff = [](Rgb a, Rgb b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
  };
  for (int tx : {0, 80}) {
    auto colDiff = [&](int c0, int c1) {
      double s = 0;
      for (int y = 0; y < 80; ++y) s += diff(TheSheet().at(tx + c0, y), TheSheet().at(tx + c1, y));
      return s / 80;
    };
    auto rowDiff = [&](int r0, int r1) {
      double s = 0;
      for (int x = 0; x < 80; ++x) s += diff(TheSheet().at(tx + x, r0), TheSheet().at(tx + x, r1));
      return s / 80;
    };
    double maxCol = 0, maxRow = 0;
    for (int i = 0; i + 1 < 80; ++i) {
      maxCol = std::max(maxCol, colDiff(i, i + 1));
      maxRow = std::max(maxRow, rowDiff(i, i + 1));
    }
    EXPECT_LE(colDiff(79, 0), maxCol) << "tile at x " << tx;
    EXPECT_LE(rowDiff(79, 0), maxRow) << "tile at x " << tx;
  }
  // The title tile is light blue; the play tile pale.
  double r = 0, g = 0, b = 0, light = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 80; ++x) {
      const Rgb t = TheSheet().at(x, y), p = TheSheet().at(80 + x, y);
      r += t.r;
      g += t.g;
      b += t.b;
      light += (p.r + p.g + p.b) / 3.0;
    }
  EXPECT_GT(b, r * 1.1);
  EXPECT_GT(b / 6400, 200);
  EXPECT_GT(light / 6400, 200);
}

// ------------------------------------------------------------------------------ icons

struct IconPixel {
  Rgb colour;
  bool opaque;
};

// The pixels of a one-image, 8-bit icon with its AND mask; empty if the layout is not that.
std::vector<IconPixel> Icon8(const Bytes& b) {
  if (b.size() != 2238 || Le16(b, 0) != 0 || Le16(b, 2) != 1 || Le16(b, 4) != 1) return {};
  if (b[6] != 32 || b[7] != 32 || b[8] != 0 || Le16(b, 10) != 1 || Le16(b, 12) != 8) return {};
  if (Le32(b, 14) != 2216 || Le32(b, 18) != 22) return {};
  const size_t h = 22;
  if (Le32(b, h) != 40 || Le32(b, h + 4) != 32 || Le32(b, h + 8) != 64 || Le16(b, h + 14) != 8 ||
      Le32(b, h + 16) != 0)
    return {};
  const size_t pal = h + 40, pix = pal + 1024, mask = pix + 1024;
  std::vector<IconPixel> out(32 * 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int row = 31 - y;
      const uint8_t i = b[pix + row * 32 + x];
      const bool transparent = (b[mask + row * 4 + x / 8] >> (7 - x % 8)) & 1;
      out[y * 32 + x] = {Rgb{b[pal + 4 * i + 2], b[pal + 4 * i + 1], b[pal + 4 * i]}, !transparent};
    }
  return out;
}

TEST(Icons, SwattersAre32By32With256ColoursAndAMask) {
  for (const char* f : {"swat1.ico", "swat2.ico"}) {
    const std::vector<IconPixel> px = Icon8(ReadFile(kRoot / "game/assets" / f));
    ASSERT_EQ(px.size(), 1024u) << f;
    int opaque = 0;
    for (const IconPixel& p : px) {
      opaque += p.opaque;
      // Transparent pixels must be black in the colour image, or they would tint the screen.
      if (!p.opaque) {
        EXPECT_TRUE(p.colour.black()) << f;
      }
    }
    EXPECT_GT(opaque, 100) << f;
    EXPECT_LT(opaque, 1000) << f;
  }
}

// The hit box reaches from 14 left to 14 right of the hot spot (16, 16), 16 above and 10 below:
// the raised head must cover that area, the striking head must lie across the hot spot.
TEST(Icons, SwatterHeadsCoverTheHitBox) {
  const std::vector<IconPixel> up = Icon8(ReadFile(kRoot / "game/assets/swat1.ico"));
  const std::vector<IconPixel> down = Icon8(ReadFile(kRoot / "game/assets/swat2.ico"));
  ASSERT_EQ(up.size(), 1024u);
  ASSERT_EQ(down.size(), 1024u);
  auto span = [](const std::vector<IconPixel>& px, int y) {
    int x0 = 99, x1 = -1;
    for (int x = 0; x < 32; ++x)
      if (px[y * 32 + x].opaque) x0 = std::min(x0, x), x1 = std::max(x1, x);
    return std::pair{x0, x1};
  };
  for (int y : {0, 2, 12, 24}) {
    const auto [x0, x1] = span(up, y);
    EXPECT_LE(x0, 4) << y;
    EXPECT_GE(x1, 27) << y;
  }
  EXPECT_LE(span(up, 31).second - span(up, 31).first, 6);  // the handle, at the bottom
  const auto [d0, d1] = span(down, 16);
  EXPECT_LE(d0, 3);
  EXPECT_GE(d1, 28);
  int barRows = 0;
  for (int y = 0; y < 32; ++y) barRows += span(down, y).second - span(down, y).first >= 24;
  EXPECT_GE(barRows, 2);
  EXPECT_LE(barRows, 10);  // edge-on: a flat bar, not a square
}

struct Png {
  uint32_t w = 0, h = 0;
  int colourType = -1;
  Bytes pixels;  // unfiltered rows, without filter bytes
  std::string error;
};

// Reads an 8-bit RGB or RGBA PNG with unfiltered rows, checking every CRC; zlib inflates it.
Png ReadPng(const Bytes& b) {
  Png png;
  const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (b.size() < 8 || !std::equal(sig, sig + 8, b.begin())) return png.error = "signature", png;
  auto crc = [](const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
      c ^= p[i];
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
  };
  Bytes z;
  for (size_t p = 8; p + 12 <= b.size();) {
    const uint32_t n = Be32(b, p);
    if (p + 12 + n > b.size()) return png.error = "truncated chunk", png;
    const std::string type(b.begin() + static_cast<long>(p) + 4,
                           b.begin() + static_cast<long>(p) + 8);
    if (crc(&b[p + 4], n + 4) != Be32(b, p + 8 + n)) return png.error = "crc of " + type, png;
    if (type == "IHDR") {
      png.w = Be32(b, p + 8);
      png.h = Be32(b, p + 12);
      if (b[p + 16] != 8) return png.error = "bit depth", png;
      png.colourType = b[p + 17];
    } else if (type == "IDAT") {
      z.insert(z.end(), b.begin() + static_cast<long>(p) + 8,
               b.begin() + static_cast<long>(p + 8 + n));
    }
    p += 12 + n;
  }
  const uint32_t bpp = png.colourType == 6 ? 4 : 3;
  // zlib itself checks the header, every block and the Adler-32 sum.
  Bytes raw(png.h * (1 + png.w * bpp) + 1);
  uLongf got = raw.size();
  if (uncompress(raw.data(), &got, z.data(), z.size()) != Z_OK) return png.error = "zlib", png;
  raw.resize(got);
  if (raw.size() != png.h * (1 + png.w * bpp)) return png.error = "image size", png;
  for (uint32_t y = 0; y < png.h; ++y) {
    if (raw[y * (1 + png.w * bpp)] != 0) return png.error = "filtered row", png;
    const auto row = raw.begin() + static_cast<long>(y * (1 + png.w * bpp) + 1);
    png.pixels.insert(png.pixels.end(), row, row + static_cast<long>(png.w * bpp));
  }
  return png;
}

TEST(Icons, DesktopAndSettingsIconsAreRgbaPngs) {
  // Every size a desktop's icon theme asks for, each a picture of its own size.
  struct File {
    std::string path;
    uint32_t size;
  };
  std::vector<File> files;
  for (uint32_t size : {16u, 24u, 32u, 48u, 64u, 128u, 256u}) {
    files.push_back({"game/assets/icons/zorbilo-" + std::to_string(size) + ".png", size});
    files.push_back({"settings-tool/icons/settings-" + std::to_string(size) + ".png", size});
  }
  for (const File& f : files) {
    const Png png = ReadPng(ReadFile(kRoot / f.path));
    ASSERT_EQ(png.error, "") << f.path;
    EXPECT_EQ(png.w, f.size) << f.path;
    EXPECT_EQ(png.h, f.size) << f.path;
    EXPECT_EQ(png.colourType, 6) << f.path;
    int clear = 0, solid = 0;
    for (size_t i = 3; i < png.pixels.size(); i += 4)
      clear += png.pixels[i] == 0, solid += png.pixels[i] == 255;
    EXPECT_GT(clear, 0) << f.path;
    EXPECT_GT(solid, static_cast<int>(f.size * f.size / 4)) << f.path;
  }
  // The 32-pixel desktop icon is the raised swatter itself.
  const Png desk = ReadPng(ReadFile(kRoot / "game/assets/icons/zorbilo-32.png"));
  const std::vector<IconPixel> swat = Icon8(ReadFile(kRoot / "game/assets/swat1.ico"));
  ASSERT_EQ(swat.size(), 1024u);
  ASSERT_EQ(desk.pixels.size(), 4096u);
  for (size_t i = 0; i < 1024; ++i) {
    EXPECT_EQ(desk.pixels[4 * i + 3] != 0, swat[i].opaque) << i;
    if (swat[i].opaque) {
      EXPECT_EQ((Rgb{desk.pixels[4 * i], desk.pixels[4 * i + 1], desk.pixels[4 * i + 2]}),
                swat[i].colour);
    }
  }
  const Bytes previewFile = ReadFile(kRoot / "tools/sheet-preview.png");
  const Png preview = ReadPng(previewFile);
  ASSERT_EQ(preview.error, "");
  // Each sheet pixel is a 2x2 block there, so the file must come out far smaller than its pixels.
  EXPECT_LT(previewFile.size(), 640u * 640u * 3u / 8u);
  EXPECT_EQ(preview.w, 640u);
  EXPECT_EQ(preview.h, 640u);
  ASSERT_EQ(preview.pixels.size(), 640u * 640u * 3u);
  for (int y = 0; y < 640; y += 7)
    for (int x = 0; x < 640; x += 5) {
      const size_t p = (static_cast<size_t>(y) * 640 + x) * 3;
      ASSERT_EQ((Rgb{preview.pixels[p], preview.pixels[p + 1], preview.pixels[p + 2]}),
                TheSheet().at(x / 2, y / 2));
    }
}

TEST(Icons, SettingsIcoHoldsA32And16Image) {
  const Bytes b = ReadFile(kRoot / "settings-tool/icons/settings.ico");
  ASSERT_GE(b.size(), 6u + 32u);
  EXPECT_EQ(Le16(b, 0), 0u);
  EXPECT_EQ(Le16(b, 2), 1u);
  ASSERT_EQ(Le16(b, 4), 2u);
  std::vector<int> sizes;
  for (int i = 0; i < 2; ++i) {
    const size_t e = 6 + 16 * static_cast<size_t>(i);
    const int w = b[e] ? b[e] : 256;
    sizes.push_back(w);
    const uint32_t bytes = Le32(b, e + 8), offset = Le32(b, e + 12);
    ASSERT_LE(static_cast<size_t>(offset) + bytes, b.size());
    EXPECT_EQ(Le32(b, offset), 40u);
    EXPECT_EQ(Le32(b, offset + 4), static_cast<uint32_t>(w));
    EXPECT_EQ(Le32(b, offset + 8), static_cast<uint32_t>(2 * w));
    const uint32_t bits = Le16(b, offset + 14);
    const uint32_t expected = 40 + static_cast<uint32_t>(w * w) * bits / 8 +
                              static_cast<uint32_t>((w + 31) / 32 * 4 * w) +
                              (bits <= 8 ? 4u << bits : 0);
    EXPECT_EQ(bytes, expected);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
}

// ------------------------------------------------------------------------------ sounds

struct Wav {
  int channels = 0, rate = 0, bits = 0;
  std::vector<int16_t> samples;
  std::string error;
  double seconds() const {
    return channels && rate ? static_cast<double>(samples.size()) / channels / rate : 0;
  }
};

Wav ReadWav(const Bytes& b) {
  Wav w;
  if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      std::string(b.begin() + 8, b.begin() + 12) != "WAVE")
    return w.error = "not RIFF WAVE", w;
  if (Le32(b, 4) + 8 != b.size()) return w.error = "RIFF size", w;
  bool fmt = false;
  for (size_t p = 12; p + 8 <= b.size();) {
    const std::string id(b.begin() + static_cast<long>(p), b.begin() + static_cast<long>(p) + 4);
    const uint32_t n = Le32(b, p + 4);
    if (p + 8 + n > b.size()) return w.error = "chunk " + id + " truncated", w;
    if (id == "fmt ") {
      if (Le16(b, p + 8) != 1) return w.error = "not PCM", w;
      w.channels = static_cast<int>(Le16(b, p + 10));
      w.rate = static_cast<int>(Le32(b, p + 12));
      w.bits = static_cast<int>(Le16(b, p + 22));
      if (Le16(b, p + 20) != static_cast<uint32_t>(w.channels * w.bits / 8) ||
          Le32(b, p + 16) != static_cast<uint32_t>(w.rate * w.channels * w.bits / 8))
        return w.error = "inconsistent fmt", w;
      fmt = true;
    } else if (id == "data") {
      if (!fmt || w.bits != 16) return w.error = "data before fmt or not 16-bit", w;
      for (size_t i = 0; i + 1 < n; i += 2)
        w.samples.push_back(static_cast<int16_t>(Le16(b, p + 8 + i)));
    }
    p += 8 + n + (n & 1);
  }
  if (w.samples.empty()) w.error = "no data";
  return w;
}

TEST(Sounds, EffectsArePcmOfTheirLengthsPeakingUnderMinusOneDecibel) {
  const struct {
    const char* name;
    double maxSeconds;
  } effects[] = {{"START.wav", 1.5},
                 {"SWAT.wav", 0.3},
                 {"MISS.wav", 0.3},
                 {"CLEAR.wav", 2.5},
                 {"TIMEUP.wav", 2.5}};
  for (const auto& e : effects) {
    const Wav w = ReadWav(ReadFile(kRoot / "game/media" / e.name));
    ASSERT_EQ(w.error, "") << e.name;
    EXPECT_TRUE(w.rate == 44100 || w.rate == 22050) << e.name;
    EXPECT_TRUE(w.channels == 1 || w.channels == 2) << e.name;
    EXPECT_LT(w.seconds(), e.maxSeconds) << e.name;
    EXPECT_GT(w.seconds(), e.maxSeconds / 3) << e.name;
    int peak = 0;
    for (int16_t s : w.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    const double db = 20 * std::log10(peak / 32768.0);
    // Levelled by loudness, so the peaks differ; none is near full scale, none is faint.
    EXPECT_GT(db, -12.0) << e.name;
    EXPECT_LT(db, -1.0) << e.name;
    // Starts and ends at silence: no click when a play begins or is cut.
    const size_t n = w.samples.size();
    EXPECT_LT(std::abs(w.samples.front()), 300) << e.name;
    EXPECT_LT(std::abs(w.samples[n - 1]), 300) << e.name;
    EXPECT_LT(std::abs(w.samples[n - 2]), 600) << e.name;
  }
}

// The loudness measure itself, against the figures of its standard (ITU-R BS.1770): the K filter's
// coefficients at 48 kHz, and a full-scale 997 Hz sine in one channel reading -3.01 LUFS.
TEST(Sounds, LoudnessMeasureMatchesItsStandard) {
  const loudness::Biquad shelf = loudness::Shelf(48000), high = loudness::HighPass(48000);
  EXPECT_NEAR(shelf.b0, 1.53512485958697, 1e-9);
  EXPECT_NEAR(shelf.b1, -2.69169618940638, 1e-9);
  EXPECT_NEAR(shelf.b2, 1.19839281085285, 1e-9);
  EXPECT_NEAR(shelf.a1, -1.69065929318241, 1e-9);
  EXPECT_NEAR(shelf.a2, 0.73248077421585, 1e-9);
  EXPECT_NEAR(high.a1, -1.99004745483398, 1e-9);
  EXPECT_NEAR(high.a2, 0.99007225036621, 1e-9);
  for (double rate : {44100.0, 48000.0}) {
    std::vector<double> sine(static_cast<size_t>(rate));
    for (size_t i = 0; i < sine.size(); ++i) sine[i] = std::sin(2 * M_PI * 997 * i / rate);
    EXPECT_NEAR(loudness::MomentaryMax({sine}, rate), -3.01, 0.05) << rate;
    EXPECT_NEAR(loudness::Integrated({sine, sine}, rate), 0.0, 0.05) << rate;
  }
}

// The five effects sound about equally loud (their loudest moments within 2 LU), so none drowns
// the others or the music; losing a stage is not louder than winning one.
TEST(Sounds, EffectsAreLevelledByLoudness) {
  std::map<std::string, double> loudest;
  for (const char* name : {"START.wav", "SWAT.wav", "MISS.wav", "CLEAR.wav", "TIMEUP.wav"}) {
    const Wav w = ReadWav(ReadFile(kRoot / "game/media" / name));
    ASSERT_EQ(w.error, "") << name;
    std::vector<std::vector<double>> channels(static_cast<size_t>(w.channels));
    for (size_t i = 0; i < w.samples.size(); ++i)
      channels[i % channels.size()].push_back(w.samples[i] / 32768.0);
    loudest[name] = loudness::MomentaryMax(channels, w.rate);
  }
  const auto [quiet, loud] = std::minmax_element(
      loudest.begin(), loudest.end(), [](auto& a, auto& b) { return a.second < b.second; });
  EXPECT_LE(loud->second - quiet->second, 2.0) << quiet->first << " to " << loud->first;
  EXPECT_LE(loudest["TIMEUP.wav"], loudest["CLEAR.wav"]);
  // Loud enough to be heard over the music, with room under full scale.
  for (const auto& [name, lufs] : loudest) {
    EXPECT_GT(lufs, -20.0) << name;
    EXPECT_LT(lufs, -12.0) << name;
  }
}

// ------------------------------------------------------------------------------ music

struct Midi {
  int format = -1, division = 0;
  uint32_t lastTick = 0;
  std::vector<std::pair<uint32_t, uint32_t>> tempos;  // tick, microseconds per quarter
  uint32_t barTicks = 0;                              // from the first time signature
  std::map<int, uint32_t> firstProgramTick;           // channel -> tick
  std::map<int, int> notesOn;                         // channel -> count of note-ons
  std::vector<std::array<uint32_t, 4>> notes;         // tick, channel, key, velocity of note-ons
  int hanging = 0, maxVelocity = 0;
  bool endOfTrackLast = true;
  std::string error;

  double Seconds(uint32_t tick) const {
    std::vector<std::pair<uint32_t, uint32_t>> map = tempos;
    std::stable_sort(map.begin(), map.end(), [](auto& a, auto& b) { return a.first < b.first; });
    double s = 0;
    uint32_t at = 0, tempo = 500000;
    for (const auto& [t, us] : map) {
      if (t >= tick) break;
      s += static_cast<double>(t - at) * tempo / division / 1e6;
      at = t;
      tempo = us;
    }
    return s + static_cast<double>(tick - at) * tempo / division / 1e6;
  }
};

Midi ReadMidi(const Bytes& b) {
  Midi m;
  if (b.size() < 14 || std::string(b.begin(), b.begin() + 4) != "MThd" || Be32(b, 4) != 6)
    return m.error = "header", m;
  m.format = b[8] << 8 | b[9];
  const int tracks = b[10] << 8 | b[11];
  m.division = b[12] << 8 | b[13];
  if (m.division <= 0 || m.division & 0x8000) return m.error = "division", m;
  size_t p = 14;
  for (int t = 0; t < tracks; ++t) {
    if (p + 8 > b.size() || std::string(b.begin() + static_cast<long>(p),
                                        b.begin() + static_cast<long>(p) + 4) != "MTrk")
      return m.error = "track header", m;
    const size_t end = p + 8 + Be32(b, p + 4);
    if (end > b.size()) return m.error = "track length", m;
    p += 8;
    uint32_t tick = 0;
    uint8_t status = 0;
    bool ended = false;
    std::map<int, int> open;
    auto vlq = [&]() {
      uint32_t v = 0;
      for (int i = 0; i < 4 && p < end; ++i) {
        const uint8_t c = b[p++];
        v = v << 7 | (c & 0x7F);
        if (!(c & 0x80)) break;
      }
      return v;
    };
    while (p < end) {
      if (ended) m.endOfTrackLast = false;
      tick += vlq();
      if (p >= end) return m.error = "event past track end", m;
      if (b[p] & 0x80) status = b[p++];
      if (status == 0xFF) {
        const uint8_t type = b[p++];
        const uint32_t len = vlq();
        if (p + len > end) return m.error = "meta length", m;
        if (type == 0x51 && len == 3)
          m.tempos.push_back({tick, static_cast<uint32_t>(b[p] << 16 | b[p + 1] << 8 | b[p + 2])});
        if (type == 0x58 && len == 4 && !m.barTicks)
          m.barTicks = static_cast<uint32_t>(b[p] * m.division * 4 >> b[p + 1]);
        if (type == 0x2F) ended = true;
        p += len;
        status = 0;
      } else if (status == 0xF0 || status == 0xF7) {
        p += vlq();
        status = 0;
      } else if (status >= 0x80) {
        const int ch = status & 0x0F, kind = status & 0xF0;
        const int n = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        if (p + static_cast<size_t>(n) > end) return m.error = "short event", m;
        const int d1 = b[p], d2 = n == 2 ? b[p + 1] : 0;
        p += static_cast<size_t>(n);
        if (kind == 0xC0 && !m.firstProgramTick.count(ch)) m.firstProgramTick[ch] = tick;
        if (kind == 0x90 && d2 > 0) {
          ++m.notesOn[ch];
          m.notes.push_back({tick, static_cast<uint32_t>(ch), static_cast<uint32_t>(d1),
                             static_cast<uint32_t>(d2)});
          ++open[ch * 128 + d1];
          m.maxVelocity = std::max(m.maxVelocity, d2);
        } else if (kind == 0x80 || kind == 0x90) {
          --open[ch * 128 + d1];
        }
      } else {
        return m.error = "data byte without status", m;
      }
      m.lastTick = std::max(m.lastTick, tick);
    }
    if (!ended) return m.error = "no End-of-Track", m;
    for (const auto& [key, n] : open) m.hanging += std::abs(n);
    p = end;
  }
  return m;
}

TEST(Music, PiecesAreGeneralMidiLoopsOfFortyToNinetySeconds) {
  for (const char* name : {"BGM.mid", "FINAL.mid"}) {
    const Midi m = ReadMidi(ReadFile(kRoot / "game/media" / name));
    ASSERT_EQ(m.error, "") << name;
    EXPECT_TRUE(m.format == 0 || m.format == 1) << name;
    ASSERT_FALSE(m.tempos.empty()) << name;
    EXPECT_EQ(m.tempos.front().first, 0u) << name;
    const double seconds = m.Seconds(m.lastTick);
    EXPECT_GE(seconds, 40.0) << name;
    EXPECT_LE(seconds, 90.0) << name;
    // The loop point, where End-of-Track sits, is a bar line.
    EXPECT_TRUE(m.endOfTrackLast) << name;
    ASSERT_GT(m.barTicks, 0u) << name;
    EXPECT_EQ(m.lastTick % m.barTicks, 0u) << name;
    // Melody, bass, chords and drums; every channel's instrument chosen at the start.
    EXPECT_GE(m.notesOn.size(), 4u) << name;
    EXPECT_TRUE(m.notesOn.count(9)) << name << ": no drums on channel 10";
    for (const auto& [ch, n] : m.notesOn) {
      if (ch == 9) continue;
      ASSERT_TRUE(m.firstProgramTick.count(ch)) << name << " channel " << ch + 1;
      EXPECT_EQ(m.firstProgramTick.at(ch), 0u) << name << " channel " << ch + 1;
    }
    EXPECT_EQ(m.hanging, 0) << name << ": notes left sounding";
    EXPECT_GE(m.maxVelocity, 80) << name;
  }
}

// The background music's second verse (bars 9-14) answers the first (bars 1-6) over the same
// harmony; heard every stage, a note-for-note repeat soon wears thin.
TEST(Music, BackgroundMusicVariesItsSecondVerse) {
  const Midi m = ReadMidi(ReadFile(kRoot / "game/media/BGM.mid"));
  ASSERT_EQ(m.error, "");
  ASSERT_GT(m.barTicks, 0u);
  // The pitched notes of six bars from a bar line, timed from it.
  auto sixBars = [&](uint32_t firstBar) {
    std::vector<std::array<uint32_t, 4>> out;
    const uint32_t from = firstBar * m.barTicks, to = from + 6 * m.barTicks;
    for (auto n : m.notes)
      if (n[1] != 9 && n[0] >= from && n[0] < to) out.push_back({n[0] - from, n[1], n[2], n[3]});
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto first = sixBars(0), second = sixBars(8);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second) << "bars 9-14 repeat bars 1-6 note for note";
}

// Tempo map arithmetic of the length test, against the worked figures: 120 beats a minute for
// 8 quarters is 4 s; a change to 60 beats a minute after 4 quarters makes it 2 s + 4 s.
TEST(Music, LengthFollowsTheTempoMap) {
  Midi m;
  m.division = 480;
  m.tempos = {{0, 500000}};
  EXPECT_DOUBLE_EQ(m.Seconds(8 * 480), 4.0);
  m.tempos.push_back({4 * 480, 1000000});
  EXPECT_DOUBLE_EQ(m.Seconds(8 * 480), 6.0);
}

// ------------------------------------------------------------------------------ the generator

TEST(Generator, ReproducesEveryCommittedFileByteForByte) {
  const fs::path out = fs::temp_directory_path() / ("zorbilo-assets-" + std::to_string(getpid()));
  fs::remove_all(out);
  const std::string cmd = std::string("\"") + ZORBILO_ASSETGEN + "\" \"" + out.string() + "\"";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  const char* files[] = {"game/assets/sheet.bmp",
                         "game/assets/swat1.ico",
                         "game/assets/swat2.ico",
                         "game/assets/icons/zorbilo-32.png",
                         "game/assets/icons/zorbilo-16.png",
                         "settings-tool/icons/settings-32.png",
                         "settings-tool/icons/settings-16.png",
                         "game/assets/icons/zorbilo-24.png",
                         "game/assets/icons/zorbilo-48.png",
                         "game/assets/icons/zorbilo-64.png",
                         "game/assets/icons/zorbilo-128.png",
                         "game/assets/icons/zorbilo-256.png",
                         "settings-tool/icons/settings-24.png",
                         "settings-tool/icons/settings-48.png",
                         "settings-tool/icons/settings-64.png",
                         "settings-tool/icons/settings-128.png",
                         "settings-tool/icons/settings-256.png",
                         "settings-tool/icons/settings.ico",
                         "tools/sheet-preview.png",
                         "game/media/START.wav",
                         "game/media/SWAT.wav",
                         "game/media/MISS.wav",
                         "game/media/CLEAR.wav",
                         "game/media/TIMEUP.wav",
                         "game/media/BGM.mid",
                         "game/media/FINAL.mid"};
  size_t written = 0;
  for (const auto& e : fs::recursive_directory_iterator(out)) written += e.is_regular_file();
  EXPECT_EQ(written, std::size(files));
  for (const char* f : files) {
    const Bytes committed = ReadFile(kRoot / f);
    const Bytes made = ReadFile(out / f);
    EXPECT_FALSE(committed.empty()) << f;
    EXPECT_TRUE(committed == made) << f << " differs from the generator's output";
  }
  fs::remove_all(out);
}

}  // namespace
