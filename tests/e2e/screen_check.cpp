// Compares a screenshot of the real game window with what the game must show, composed here from
// the sprite sheet's own pixels with the same OR-mask-then-AND-image rule.
//
//   screen_check SHEET.bmp SHOT.ppm X Y SCALE WHAT
//
// X, Y: where the 640x480 picture's top-left lies in the screenshot; SCALE: its whole factor;
// WHAT: title (stage 1 title screen, every pixel), play (play tiles and the head-up labels),
// fps / nofps (dark text pixels in the frame-rate readout's rectangle, or none).
// Exit status 0 when the screen matches, 1 when it does not (with a reason), 2 on bad input.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Image {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0xRRGGBB
  uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

bool ReadFile(const char* path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool LoadBmp24(const char* path, Image& img) {
  std::vector<uint8_t> b;
  if (!ReadFile(path, b) || b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
  auto u32 = [&](size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
  uint32_t off = u32(10);
  int w = static_cast<int>(u32(18)), h = static_cast<int>(u32(22));
  if (w <= 0 || h <= 0 || b[28] != 24) return false;
  size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  if (off + stride * h > b.size()) return false;
  img.w = w;
  img.h = h;
  img.px.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &b[off + (h - 1 - y) * stride + x * 3];
      img.px[static_cast<size_t>(y) * w + x] = uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
    }
  return true;
}

bool LoadPpm(const char* path, Image& img) {
  std::vector<uint8_t> b;
  if (!ReadFile(path, b) || b.size() < 3 || b[0] != 'P' || b[1] != '6') return false;
  size_t i = 2;
  int fields[3] = {0, 0, 0};
  for (int& f : fields) {
    while (i < b.size() && (isspace(b[i]) || b[i] == '#')) {
      if (b[i] == '#')
        while (i < b.size() && b[i] != '\n') ++i;
      else
        ++i;
    }
    while (i < b.size() && isdigit(b[i])) f = f * 10 + (b[i++] - '0');
  }
  ++i;  // the single whitespace after the maximum value
  if (fields[0] <= 0 || fields[1] <= 0 || fields[2] != 255) return false;
  img.w = fields[0];
  img.h = fields[1];
  if (i + size_t(img.w) * img.h * 3 > b.size()) return false;
  img.px.resize(size_t(img.w) * img.h);
  for (size_t k = 0; k < img.px.size(); ++k, i += 3)
    img.px[k] = uint32_t(b[i]) << 16 | b[i + 1] << 8 | b[i + 2];
  return true;
}

struct Frame {
  Image f;
  const Image& sheet;
  explicit Frame(const Image& s) : sheet(s) {
    f.w = 640;
    f.h = 480;
    f.px.assign(640 * 480, 0);
  }
  void Tiles(int sx) {
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) f.px[y * 640 + x] = sheet.at(sx + x % 80, y % 80);
  }
  void Sprite(int dx, int dy, int sx, int sy, int w, int h) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int px = dx + x, py = dy + y;
        if (px < 0 || py < 0 || px >= 640 || py >= 480) continue;
        uint32_t& d = f.px[py * 640 + px];
        d = (d | sheet.at(sx + w + x, sy + y)) & sheet.at(sx + x, sy + y);
      }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s SHEET.bmp SHOT.ppm X Y SCALE title|play|fps|nofps\n", argv[0]);
    return 2;
  }
  Image sheet, shot;
  if (!LoadBmp24(argv[1], sheet) || sheet.w != 320 || sheet.h != 320) {
    std::fprintf(stderr, "cannot read the sheet %s\n", argv[1]);
    return 2;
  }
  if (!LoadPpm(argv[2], shot)) {
    std::fprintf(stderr, "cannot read the screenshot %s\n", argv[2]);
    return 2;
  }
  int ox = std::stoi(argv[3]), oy = std::stoi(argv[4]), scale = std::stoi(argv[5]);
  std::string what = argv[6];
  if (scale < 1 || ox < 0 || oy < 0 || ox + 640 * scale > shot.w || oy + 480 * scale > shot.h) {
    std::fprintf(stderr, "the picture does not fit the screenshot (%dx%d)\n", shot.w, shot.h);
    return 1;
  }
  // Every game pixel must be a scale x scale block of one colour.
  auto game = [&](int x, int y) { return shot.at(ox + x * scale, oy + y * scale); };
  long blocky = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      for (int k = 1; k < scale; ++k)
        if (shot.at(ox + x * scale + k, oy + y * scale) != game(x, y) ||
            shot.at(ox + x * scale, oy + y * scale + k) != game(x, y))
          ++blocky;
  if (blocky) {
    std::fprintf(stderr, "%ld pixels break the %dx%d blocks of a scaled picture\n", blocky, scale, scale);
    return 1;
  }

  Frame expect(sheet);
  if (what == "title") {
    expect.Tiles(0);
    expect.Sprite(265, 212, 0, 200, 80, 20);   // Stage
    expect.Sprite(335, 210, 40, 100, 20, 20);  // digit 1
    expect.Sprite(240, 245, 0, 220, 160, 20);  // Click To Start !
    long wrong = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) wrong += game(x, y) != expect.f.at(x, y);
    if (wrong) {
      std::fprintf(stderr, "title screen: %ld of 307200 pixels differ\n", wrong);
      return 1;
    }
    return 0;
  }
  if (what == "play") {
    // Flies move over everything, so ask for most, not all, of each part.
    expect.Tiles(80);
    Frame labels(sheet);
    labels.f = expect.f;
    labels.Sprite(0, 10, 0, 160, 80, 20);    // Time:
    labels.Sprite(105, 10, 160, 160, 80, 20);  // Alive:
    long tileOk = 0, tileAll = 0, labelOk = 0, labelAll = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        bool hud = y >= 10 && y < 30 && x < 640;
        if (hud && x < 185) {
          ++labelAll;
          labelOk += game(x, y) == labels.f.at(x, y);
        } else if (y >= 40) {
          ++tileAll;
          tileOk += game(x, y) == expect.f.at(x, y);
        }
      }
    if (tileOk * 100 < tileAll * 80 || labelOk * 100 < labelAll * 70) {
      std::fprintf(stderr, "play screen: %ld/%ld tile pixels and %ld/%ld label pixels match\n",
                   tileOk, tileAll, labelOk, labelAll);
      return 1;
    }
    return 0;
  }
  if (what == "fps" || what == "nofps") {
    long dark = 0;
    for (int y = 456; y < 476; ++y)
      for (int x = 10; x < 90; ++x) {
        uint32_t p = game(x, y);
        if (((p >> 16) & 255) < 64 && ((p >> 8) & 255) < 64 && (p & 255) < 64) ++dark;
      }
    bool want = what == "fps";
    if (want ? dark < 10 : dark > 0) {
      std::fprintf(stderr, "frame-rate rectangle: %ld dark pixels\n", dark);
      return 1;
    }
    return 0;
  }
  std::fprintf(stderr, "unknown check %s\n", what.c_str());
  return 2;
}
