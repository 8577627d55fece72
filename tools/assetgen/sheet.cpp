// The sprite sheet: tiles, flies, digits, labels and banners, each at its atlas position with its
// mask directly to the right.
#include "sheet.h"

#include <algorithm>
#include <cmath>

#include "glyphs.h"

namespace assetgen {
namespace {

constexpr float kPi = 3.14159265f;
const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};

uint8_t clampByte(float v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f)));
}

// Tiles are computed per pixel from functions of (x mod 80, y mod 80), so the right edge runs
// on into the left edge and the bottom into the top.
Picture titleTile() {
  Canvas c(80, 80, 4);
  auto pattern = [](float x, float y) {
    // Argyle of two close blues with a lighter lattice: diamonds repeat every 40 pixels.
    const float u = (x + y) / 40.0f, v = (x - y) / 40.0f;
    const bool odd = (static_cast<int>(std::floor(u)) + static_cast<int>(std::floor(v))) & 1;
    Paint p = odd ? rgb(166, 212, 243) : rgb(184, 225, 250);
    const float fu = u - std::floor(u), fv = v - std::floor(v);
    const float edge = std::min(std::min(fu, 1 - fu), std::min(fv, 1 - fv)) * 40.0f / 1.41421f;
    // Dashed lattice lines along the diamond edges.
    const float along = (fu < 0.5f || fu > 0.5f ? u + v : u - v) * 20.0f;
    if (edge < 0.8f && std::fmod(std::fabs(along), 4.0f) < 2.4f)
      p = mix(p, rgb(224, 242, 253), 0.8f);
    return p;
  };
  c.fill(rect(0, 0, 80, 80), pattern);
  // A small four-pointed sparkle in the middle of each light diamond.
  for (Pt s : {Pt{0, 0}, Pt{40, 40}}) {
    auto paint = [](float, float) { return rgb(236, 248, 255); };
    c.fillWrapped(polygon({{s.x, s.y - 5},
                           {s.x + 1.3f, s.y - 1.3f},
                           {s.x + 5, s.y},
                           {s.x + 1.3f, s.y + 1.3f},
                           {s.x, s.y + 5},
                           {s.x - 1.3f, s.y + 1.3f},
                           {s.x - 5, s.y},
                           {s.x - 1.3f, s.y - 1.3f}}),
                  paint);
  }
  for (Pt s : {Pt{40, 0}, Pt{0, 40}})
    c.fillWrapped(circle(s.x, s.y, 1.6f), [](float, float) { return rgb(200, 232, 252); });
  return c.resolve();
}

Picture playTile() {
  // A pale picnic cloth: pastel bands across and down, multiplied where they cross, with a
  // faint weave.
  struct Band {
    float from, to;
    Paint tint;
  };
  const Band across[] = {{2, 14, rgb(255, 214, 220)},
                         {22, 27, rgb(200, 238, 212)},
                         {41, 53, rgb(206, 222, 252)},
                         {61, 66, rgb(255, 240, 184)}};
  const Band down[] = {{6, 18, rgb(206, 222, 252)},
                       {26, 31, rgb(255, 240, 184)},
                       {45, 57, rgb(255, 214, 220)},
                       {66, 71, rgb(200, 238, 212)}};
  Picture t(80, 80);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 80; ++x) {
      float r = 252, g = 247, b = 234;
      for (const Band& bd : across) {
        if (static_cast<float>(x) >= bd.from && static_cast<float>(x) < bd.to) {
          r *= 0.5f + 0.5f * bd.tint.r;
          g *= 0.5f + 0.5f * bd.tint.g;
          b *= 0.5f + 0.5f * bd.tint.b;
        }
      }
      for (const Band& bd : down) {
        if (static_cast<float>(y) >= bd.from && static_cast<float>(y) < bd.to) {
          r *= 0.5f + 0.5f * bd.tint.r;
          g *= 0.5f + 0.5f * bd.tint.g;
          b *= 0.5f + 0.5f * bd.tint.b;
        }
      }
      // Weave: alternate threads a touch darker, plus a little fixed noise.
      const float weave = ((x + y) % 4 < 2 ? -2.5f : 1.5f) + (noise01(x, y, 7) - 0.5f) * 5.0f;
      t.set(x, y, Rgb{clampByte(r + weave), clampByte(g + weave), clampByte(b + weave)});
    }
  }
  return t;
}

// ---- flies, seen from above with the head up
struct FlyLook {
  Paint light, base, dark;  // body shading
  Paint eye, eyeDark;
  bool hairy = false;  // bristles, for the big fly
};

std::function<Paint(float, float)> shaded(const FlyLook& l, float cx, float cy, float r) {
  return [=](float x, float y) {
    const float t = std::clamp(((cx - x) * 0.55f + (cy - y) * 0.8f) / r, -1.0f, 1.0f);
    return t >= 0 ? mix(l.base, l.light, t) : mix(l.base, l.dark, -t);
  };
}

void drawFly(Canvas& c, float S, const FlyLook& l, int frame) {
  const float cx = S * 0.5f;
  auto P = [S](float x, float y) { return Pt{x * S, y * S}; };
  const float legR = std::max(0.55f, S * 0.0125f);
  const Paint legColour = mix(l.dark, rgb(20, 20, 24), 0.6f);

  // Legs, under everything. Each: body joint, knee, foot (left side; mirrored).
  const float legs[3][6] = {{0.44f, 0.37f, 0.30f, 0.27f, 0.25f, 0.13f},
                            {0.43f, 0.45f, 0.25f, 0.45f, 0.13f, 0.56f},
                            {0.45f, 0.52f, 0.29f, 0.66f, 0.23f, 0.87f}};
  for (int side = 0; side < 2; ++side) {
    for (int k = 0; k < 3; ++k) {
      const float* g = legs[k];
      auto X = [&](float v) { return side ? 1.0f - v : v; };
      std::vector<Pt> line{P(X(g[0]), g[1]), P(X(g[2]), g[3]), P(X(g[4]), g[5])};
      c.stroke(line, legR, legColour);
    }
  }

  // A dark outline round body, thorax and head, like the small flies' pixel outlines.
  const float rim = std::max(0.8f, S * 0.014f);
  const Paint outline = rgb(28, 28, 32);
  c.fill(ellipse(cx, 0.645f * S, 0.135f * S + rim, 0.205f * S + rim), outline);
  c.fill(ellipse(cx, 0.435f * S, 0.15f * S + rim, 0.125f * S + rim), outline);
  c.fill(ellipse(cx, 0.275f * S, 0.115f * S + rim, 0.075f * S + rim), outline);
  for (int side = 0; side < 2; ++side)
    c.fill(ellipse((side ? 0.595f : 0.405f) * S, 0.255f * S, 0.075f * S + rim, 0.088f * S + rim,
                   side ? -0.35f : 0.35f),
           outline);

  // Abdomen with darker rings.
  const float ax = 0.5f, ay = 0.645f, arx = 0.135f, ary = 0.205f;
  auto belly = shaded(l, ax * S, (ay - 0.05f) * S, 0.2f * S);
  c.fill(ellipse(ax * S, ay * S, arx * S, ary * S), [&](float x, float y) {
    Paint p = belly(x, y);
    const float band = std::sin((y / S - ay) * 36.0f);
    if (band > 0.55f) p = mix(p, l.dark, 0.45f);
    return p;
  });
  // Thorax with two dark stripes, head, eyes.
  auto chest = shaded(l, cx, 0.41f * S, 0.15f * S);
  c.fill(ellipse(cx, 0.435f * S, 0.15f * S, 0.125f * S), [&](float x, float y) {
    Paint p = chest(x, y);
    const float dx = std::fabs(x / S - 0.5f);
    if (dx > 0.025f && dx < 0.06f) p = mix(p, l.dark, 0.55f);
    return p;
  });
  c.fill(ellipse(cx, 0.275f * S, 0.115f * S, 0.075f * S), shaded(l, cx, 0.26f * S, 0.1f * S));
  for (int side = 0; side < 2; ++side) {
    const float ex = side ? 0.595f : 0.405f, ey = 0.255f;
    c.fill(ellipse(ex * S, ey * S, 0.075f * S, 0.088f * S, side ? -0.35f : 0.35f),
           [&](float x, float y) {
             const float t =
                 std::clamp(((ex * S - x) * 0.5f + (ey * S - y) * 0.9f) / (0.08f * S), -1.0f, 1.0f);
             return mix(l.eyeDark, l.eye, 0.5f + 0.5f * t);
           });
    if (S >= 20) {
      c.fill(circle((ex - 0.02f) * S, (ey - 0.03f) * S, std::max(0.6f, 0.02f * S)),
             rgb(255, 200, 195));
    }
  }
  if (l.hairy) {
    // Bristles on thorax and abdomen.
    Rng rng(0x5eed1234);
    for (int i = 0; i < 26; ++i) {
      const float a = static_cast<float>(rng.uniform()) * 2 * kPi;
      const float y0 = i < 12 ? 0.435f : 0.62f;
      const float rx = i < 12 ? 0.15f : 0.135f, ry = i < 12 ? 0.125f : 0.2f;
      const float x = 0.5f + std::cos(a) * rx * 0.95f, y = y0 + std::sin(a) * ry * 0.95f;
      c.stroke({P(x, y), P(x + std::cos(a) * 0.035f, y + std::sin(a) * 0.035f)}, 0.45f,
               rgb(40, 40, 44));
    }
  }

  // Wings over the body, pale and see-through: the body shows dimly beneath them.
  for (int side = 0; side < 2; ++side) {
    const float sgn = side ? 1.0f : -1.0f;
    float wx, wy, rx, ry, ang;
    if (frame == 0) {  // spread
      wx = 0.5f + sgn * 0.25f;
      wy = 0.53f;
      rx = 0.24f;
      ry = 0.105f;
      ang = sgn * 0.62f;
    } else {  // swept back over the abdomen
      wx = 0.5f + sgn * 0.12f;
      wy = 0.66f;
      rx = 0.255f;
      ry = 0.095f;
      ang = sgn * 1.2f;
    }
    const Shape outer = ellipse(wx * S, wy * S, rx * S, ry * S, ang);
    const Shape inner = ellipse(wx * S, wy * S, rx * S - std::max(0.8f, S * 0.015f),
                                ry * S - std::max(0.8f, S * 0.015f), ang);
    c.fill(outer, rgb(120, 134, 158, 0.85f));
    c.fill(inner, [&](float x, float y) {
      const float u = ((x - wx * S) * std::cos(ang) + (y - wy * S) * std::sin(ang)) / (rx * S);
      Paint p = mix(rgb(226, 236, 246), rgb(196, 212, 232), std::fabs(u));
      p.a = 0.62f;
      return p;
    });
    if (S >= 20) {  // veins
      const float c0 = std::cos(ang), s0 = std::sin(ang);
      const float vr = std::max(0.4f, S * 0.006f);
      for (float off : {-0.35f, 0.0f, 0.4f}) {
        const float bx = wx * S - c0 * rx * S * 0.85f, by = wy * S - s0 * rx * S * 0.85f;
        const float ex = wx * S + c0 * rx * S * 0.8f - s0 * off * ry * S,
                    ey = wy * S + s0 * rx * S * 0.8f + c0 * off * ry * S;
        c.fill(intersect(capsule(bx, by, ex, ey, vr), inner), rgb(130, 146, 170, 0.6f));
      }
    }
  }
}

const FlyLook kGrey{rgb(170, 170, 176), rgb(108, 108, 116), rgb(48, 48, 54), rgb(150, 60, 50),
                    rgb(70, 20, 20)};

Picture flyPicture(int size, FlyLook look, int frame) {
  Canvas c(size, size, size <= 10 ? 8 : 4);
  drawFly(c, static_cast<float>(size), look, frame);
  return c.resolve();
}

// Small and medium flies are drawn on the pixel grid: at 10 and 20 pixels a hand-placed
// outline, eye and wing reads far better than anything scaled down.
using Art = std::vector<std::string>;
const std::vector<PaletteEntry> kFlyPalette = {
    {'K', {30, 30, 36}},    {'D', {72, 72, 80}},    {'g', {112, 112, 120}}, {'G', {156, 156, 164}},
    {'H', {200, 200, 208}}, {'R', {222, 38, 32}},   {'r', {128, 16, 14}},   {'E', {255, 176, 164}},
    {'w', {214, 226, 240}}, {'v', {138, 154, 180}}, {'u', {160, 168, 186}}, {'P', {232, 178, 112}},
    {'p', {250, 232, 205}}, {'X', {200, 30, 40}},   {'y', {255, 214, 90}},  {'1', {40, 64, 150}},
    {'2', {64, 108, 220}},  {'3', {140, 178, 252}}, {'m', {70, 28, 50}},
};

// clang-format off
const Art kSmallGrey1 = {
    "K........K",
    ".KKKKKKKK.",
    ".KRRKKRRK.",
    "vvvRDDRvvv",
    "wwwvggvwww",
    ".vvwuuwvv.",
    "...KDDK...",
    ".K.KggK.K.",
    "K..KDDK..K",
    "....KK....",
};
const Art kSmallGrey2 = {
    "K........K",
    ".KKKKKKKK.",
    ".KRRKKRRK.",
    ".KrRDDRrK.",
    "K.KvggvK.K",
    ".KvwvvwvK.",
    "..vwuuwv..",
    ".KvwuuwvK.",
    "K..vDDv..K",
    "....KK....",
};
const Art kSmallMarked1 = {
    "K........K",
    ".KKKKKKKK.",
    ".KRRKKRRK.",
    "vvvRDDRvvv",
    "wwwvggvwww",
    ".vvwXXwvv.",
    "...KXXK...",
    ".K.KggK.K.",
    "K..KDDK..K",
    "....KK....",
};
const Art kSmallMarked2 = {
    "K........K",
    ".KKKKKKKK.",
    ".KRRKKRRK.",
    ".KrRDDRrK.",
    "K.KvggvK.K",
    ".KvwXXwvK.",
    "..vwXXwv..",
    ".KvwuuwvK.",
    "K..vDDv..K",
    "....KK....",
};
const Art kSmallBlue1 = {
    "K........K",
    ".KKKKKKKK.",
    ".KmmKKmmK.",
    "vvvm11mvvv",
    "wwwv22vwww",
    ".vvwuuwvv.",
    "...K11K...",
    ".K.K22K.K.",
    "K..K11K..K",
    "....KK....",
};
const Art kSmallBlue2 = {
    "K........K",
    ".KKKKKKKK.",
    ".KmmKKmmK.",
    ".KKm11mKK.",
    "K.Kv22vK.K",
    ".KvwvvwvK.",
    "..vwuuwv..",
    ".KvwuuwvK.",
    "K..v11v..K",
    "....KK....",
};
const Art kSmallBlueHurt1 = {
    "K........K",
    ".KKKKKKKK.",
    ".KKKKKKKK.",
    ".vvm11mvvv",
    "v.vvPPvwww",
    ".vvwuuwvv.",
    "...K11K...",
    ".K.K22K.K.",
    "K..K11K..K",
    "....KK....",
};
const Art kSmallBlueHurt2 = {
    "K........K",
    ".KKKKKKKK.",
    ".KKKKKKKK.",
    ".KKm11mKK.",
    "K.KvPPvK.K",
    ".K.wvvwvK.",
    "....uuwv..",
    ".KvwuuwvK.",
    "K..v11v..K",
    "....KK....",
};
const Art kMedium1 = {
    "....................",
    "..K..............K..",
    "..K..KKK....KKK..K..",
    "...KKRERKKKKRERKK...",
    "...KKRRRKDDKRRRKK...",
    "....KrRRKggKRRrK....",
    "....KKrrKDDKrrKK....",
    ".....KKKDggDKKK.....",
    ".vvv.KDgGHHGgDK.vvv.",
    "vwwwvvvDgGGgDvvvwwwv",
    "vwwwwwwvGggGvwwwwwwv",
    ".vwwwwwwugguwwwwwwv.",
    ".KvvwwwvuGGuvwwwvvK.",
    "....vvvvGggGvvvv....",
    "...K..KDgDDgDK..K...",
    "...K...KgGGgK...K...",
    "..K....KDggDK....K..",
    "..K....KgGGgK....K..",
    "........KKKK........",
    "....................",
};
const Art kMedium2 = {
    "....................",
    "..K..............K..",
    "..K..KKK....KKK..K..",
    "...KKRERKKKKRERKK...",
    "...KKRRRKDDKRRRKK...",
    "....KrRRKggKRRrK....",
    "....KKrrKDDKrrKK....",
    ".....KKKDggDKKK.....",
    ".....KDgGHHGgDK.....",
    "...KKKgDgGGgDgKKK...",
    "..K..vvgGggGgvv..K..",
    ".K..vwwvDggDvwwv..K.",
    ".K.vwwwuuGGuuwwwv.K.",
    "...vwwwwugguwwwwv...",
    "..vwwwwwuDDuwwwwwv..",
    "..vwwwwwuGGuwwwwwv..",
    "..vwwwwwvggvwwwwwv..",
    "..KvwwwvgGGgvwwwvK..",
    "....vvv.KKKK.vvv....",
    "....................",
};
const Art kMediumHurt1 = {
    "................y...",
    "..K............yyy..",
    "..K..KKK....KKK.yK..",
    "...KKDDDKKKKDDDKK...",
    "...KKKKKKDDKKKKKK...",
    "....KrrrKggKrrrK....",
    "....KKrrKDDKrrKK....",
    ".....KKKDggDKKP.....",
    "..vv.KDgGHHGPpP.vvv.",
    ".vwwvvvDgGPpPvvvwwwv",
    "vwvwwwwvPpPGvwwwwwwv",
    ".vvwwwwwPgguwwwwwwv.",
    ".KvvwwwvuGGuvwKwvvK.",
    "....vvvvGggGvvvK....",
    "...K..KDgDDgDK.X....",
    "...K...KgGGgK..K....",
    "..K...XKDggDK..K....",
    "..K....KgGGgK.......",
    "........KKKK........",
    "....................",
};
const Art kMediumHurt2 = {
    "................y...",
    "..K............yyy..",
    "..K..KKK....KKK.yK..",
    "...KKDDDKKKKDDDKK...",
    "...KKKKKKDDKKKKKK...",
    "....KrrrKggKrrrK....",
    "....KKrrKDDKrrKK....",
    ".....KKKDggDKKP.....",
    ".....KDgGHHGPpP.....",
    "...KKKgDgGPpPgKKK...",
    "..K..vvgPpPGgvv..K..",
    ".K..vwwvPggDvwwv..K.",
    ".K.vwwwuuGGuuwKwv.K.",
    "...vwwwwugguwwwKv...",
    "....vwwwuDDuwwwX.v..",
    "...vvwwwuGGuwwwK.v..",
    "...vwwXwvggvwwwKw...",
    "..K.wwwvgGGgvwwwv...",
    "....vvv.KKKK.vvv....",
    "....................",
};
// clang-format on

Picture artPicture(const Art& art) {
  Picture p(static_cast<int>(art[0].size()), static_cast<int>(art.size()));
  drawArt(p, 0, 0, art, kFlyPalette);
  return p;
}

// ---- lettering
Picture labelPicture(int w, int h, const std::string& text, int capLine, bool centred) {
  Picture p(w, h);
  const int tw = labelTextWidth(text);
  const int x = centred ? (w - tw) / 2 : 2;
  drawLabelText(p, x, capLine, text, kBlack);
  return p;
}

Picture digitPicture(int d) {
  Picture p(20, 20);
  drawArt(p, 1, 3, digitGlyph(d).rows, {{'#', kBlack}});
  return p;
}

Picture bannerPicture(const std::string& text, Paint top, Paint bottom, Paint outline) {
  const float H = 22.0f, s = H / 10.0f, r = 2.8f, rim = 1.3f, shear = 0.2f, gap = 0.8f;
  auto advance = [&](const StrokeGlyph& g) {
    return g.ch == ' ' ? g.width * s : g.width * s + 2 * (r + rim) + gap;
  };
  float width = -gap;
  for (char ch : text)
    if (const StrokeGlyph* g = strokeGlyph(ch)) width += advance(*g);
  width += H * shear;
  Canvas c(160, 40, 4);
  const float x0 = (160.0f - width) / 2.0f - 1.0f, y0 = (40.0f - H) / 2.0f - 1.0f;
  auto forEachStroke = [&](const std::function<void(const std::vector<Pt>&)>& fn) {
    float x = x0;
    for (char ch : text) {
      const StrokeGlyph* g = strokeGlyph(ch);
      if (!g) continue;
      const float left = g->ch == ' ' ? 0.0f : r + rim;
      for (const auto& st : g->strokes) {
        std::vector<Pt> pts;
        for (const Pt& q : st) {
          const float py = y0 + q.y * s;
          pts.push_back(Pt{x + left + q.x * s + (y0 + H - py) * shear, py});
        }
        if (pts.size() == 1) pts.push_back(pts[0]);
        fn(pts);
      }
      x += advance(*g);
    }
  };
  auto strokeAll = [&](float dx, float dy, float radius,
                       const std::function<Paint(float, float)>& p) {
    forEachStroke([&](const std::vector<Pt>& pts) {
      for (size_t i = 0; i + 1 < pts.size(); ++i)
        c.fill(capsule(pts[i].x + dx, pts[i].y + dy, pts[i + 1].x + dx, pts[i + 1].y + dy, radius),
               p);
    });
  };
  strokeAll(2.5f, 2.5f, r + rim, [](float, float) { return rgb(58, 54, 64); });  // shadow
  strokeAll(0, 0, r + rim, [&](float, float) { return outline; });
  strokeAll(0, 0, r, [&](float, float y) { return mix(top, bottom, (y - y0) / H); });
  strokeAll(-0.9f, -0.9f, r * 0.32f, [&](float, float y) {
    Paint p = mix(top, rgb(255, 250, 245), 0.55f);
    p.a = std::clamp(1.0f - (y - y0) / H, 0.0f, 1.0f) * 0.8f;
    return p;
  });
  return c.resolve();
}

void place(Image24& sheet, const Picture& p, int x, int y, bool masked) {
  for (int j = 0; j < p.h; ++j) {
    for (int i = 0; i < p.w; ++i) {
      const bool on = !masked || opaque(p, i, j);
      sheet.at(x + i, y + j) = on ? p.at(i, j) : kWhite;
      if (masked) sheet.at(x + p.w + i, y + j) = on ? kWhite : kBlack;
    }
  }
}

}  // namespace

Image24 makeSheet() {
  Image24 s;
  s.w = 320;
  s.h = 320;
  s.px.assign(320 * 320, kWhite);
  place(s, titleTile(), 0, 0, false);
  place(s, playTile(), 80, 0, false);

  FlyLook big = kGrey;
  big.hairy = true;
  big.eye = rgb(200, 40, 36);
  big.eyeDark = rgb(90, 10, 10);
  place(s, flyPicture(80, big, 0), 160, 0, true);
  place(s, flyPicture(80, big, 1), 160, 80, true);

  const Art* small[4][2] = {{&kSmallGrey1, &kSmallGrey2},
                            {&kSmallMarked1, &kSmallMarked2},
                            {&kSmallBlue1, &kSmallBlue2},
                            {&kSmallBlueHurt1, &kSmallBlueHurt2}};
  for (int k = 0; k < 4; ++k)
    for (int f = 0; f < 2; ++f) place(s, artPicture(*small[k][f]), 20 * k, 80 + 10 * f, true);
  place(s, artPicture(kMedium1), 80, 80, true);
  place(s, artPicture(kMedium2), 80, 100, true);
  place(s, artPicture(kMediumHurt1), 120, 80, true);
  place(s, artPicture(kMediumHurt2), 120, 100, true);

  const int digitX[10] = {0, 40, 0, 40, 80, 120, 0, 40, 80, 120};
  const int digitY[10] = {100, 100, 120, 120, 120, 120, 140, 140, 140, 140};
  for (int d = 0; d < 10; ++d) place(s, digitPicture(d), digitX[d], digitY[d], true);

  place(s, labelPicture(80, 20, "Time:", 5, false), 0, 160, true);
  place(s, labelPicture(80, 20, "Miss:", 5, false), 0, 180, true);
  place(s, labelPicture(80, 20, "Stage", 3, true), 0, 200, true);
  place(s, labelPicture(80, 20, "Alive:", 5, false), 160, 160, true);
  place(s, labelPicture(80, 20, "Bonus:", 5, false), 160, 180, true);
  place(s, labelPicture(80, 20, "Final", 4, true), 160, 200, true);
  place(s, labelPicture(160, 20, "Click To Start !", 4, true), 0, 220, true);
  place(s, bannerPicture("TIME UP !", rgb(255, 128, 104), rgb(196, 16, 16), rgb(96, 0, 8)), 0, 240,
        true);
  place(s, bannerPicture("CLEAR !!", rgb(128, 196, 255), rgb(20, 64, 210), rgb(8, 16, 90)), 0, 280,
        true);
  return s;
}

}  // namespace assetgen
