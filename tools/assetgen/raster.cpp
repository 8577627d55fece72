// Painting: shapes, a supersampled canvas, pixel art and deterministic noise.
#include <algorithm>
#include <cmath>

#include "assetgen.h"

namespace assetgen {

Paint rgb(int r, int g, int b, float a) {
  return Paint{static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
               static_cast<float>(b) / 255.0f, a};
}

Paint mix(const Paint& p, const Paint& q, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return Paint{p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t,
               p.a + (q.a - p.a) * t};
}

Picture::Picture(int width, int height)
    : w(width),
      h(height),
      colour(static_cast<size_t>(width) * height, Rgb{255, 255, 255}),
      alpha(static_cast<size_t>(width) * height, 0) {}

Shape ellipse(float cx, float cy, float rx, float ry, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  const float ext = std::max(rx, ry);
  return Shape{cx - ext, cy - ext, cx + ext, cy + ext, [=](float x, float y) {
                 const float dx = x - cx, dy = y - cy;
                 const float u = (dx * c + dy * s) / rx, v = (-dx * s + dy * c) / ry;
                 return u * u + v * v <= 1.0f;
               }};
}

Shape circle(float cx, float cy, float r) {
  return ellipse(cx, cy, r, r);
}

Shape rect(float x, float y, float w, float h) {
  return Shape{x, y, x + w, y + h,
               [=](float px, float py) { return px >= x && px < x + w && py >= y && py < y + h; }};
}

Shape capsule(float ax, float ay, float bx, float by, float r) {
  return Shape{std::min(ax, bx) - r, std::min(ay, by) - r, std::max(ax, bx) + r,
               std::max(ay, by) + r, [=](float x, float y) {
                 const float dx = bx - ax, dy = by - ay;
                 const float len2 = dx * dx + dy * dy;
                 float t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0.0f;
                 t = std::clamp(t, 0.0f, 1.0f);
                 const float ex = ax + t * dx - x, ey = ay + t * dy - y;
                 return ex * ex + ey * ey <= r * r;
               }};
}

Shape polygon(std::vector<Pt> pts) {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (const Pt& p : pts) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  return Shape{x0, y0, x1, y1, [pts = std::move(pts)](float x, float y) {
                 bool in = false;
                 for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
                   const Pt& a = pts[i];
                   const Pt& b = pts[j];
                   if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
                     in = !in;
                 }
                 return in;
               }};
}

Shape minus(Shape a, Shape b) {
  auto ai = a.inside;
  auto bi = b.inside;
  return Shape{a.x0, a.y0, a.x1, a.y1,
               [ai, bi](float x, float y) { return ai(x, y) && !bi(x, y); }};
}

Shape intersect(Shape a, Shape b) {
  auto ai = a.inside;
  auto bi = b.inside;
  return Shape{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1),
               std::min(a.y1, b.y1), [ai, bi](float x, float y) { return ai(x, y) && bi(x, y); }};
}

Canvas::Canvas(int w, int h, int samples)
    : w_(w), h_(h), n_(samples), px_(static_cast<size_t>(w) * h * samples * samples * 4, 0.0f) {}

void Canvas::fill(const Shape& s, const Paint& p) {
  fill(s, [p](float, float) { return p; });
}

void Canvas::fill(const Shape& s, const std::function<Paint(float, float)>& paint) {
  fillOffset(s, paint, 0, 0);
}

void Canvas::fillWrapped(const Shape& s, const std::function<Paint(float, float)>& paint) {
  for (int oy = -1; oy <= 1; ++oy)
    for (int ox = -1; ox <= 1; ++ox)
      fillOffset(s, paint, static_cast<float>(ox * w_), static_cast<float>(oy * h_));
}

void Canvas::fillOffset(const Shape& s, const std::function<Paint(float, float)>& paint, float ox,
                        float oy) {
  const int sw = w_ * n_, sh = h_ * n_;
  const float inv = 1.0f / static_cast<float>(n_);
  const int x0 = std::max(0, static_cast<int>(std::floor((s.x0 + ox) * n_)) - 1);
  const int y0 = std::max(0, static_cast<int>(std::floor((s.y0 + oy) * n_)) - 1);
  const int x1 = std::min(sw - 1, static_cast<int>(std::ceil((s.x1 + ox) * n_)) + 1);
  const int y1 = std::min(sh - 1, static_cast<int>(std::ceil((s.y1 + oy) * n_)) + 1);
  for (int sy = y0; sy <= y1; ++sy) {
    for (int sx = x0; sx <= x1; ++sx) {
      // Sample centres; the shape is tested in its own (unshifted) coordinates.
      const float x = (static_cast<float>(sx) + 0.5f) * inv - ox;
      const float y = (static_cast<float>(sy) + 0.5f) * inv - oy;
      if (!s.inside(x, y)) continue;
      const Paint p = paint(x, y);
      float* d = &px_[(static_cast<size_t>(sy) * sw + sx) * 4];
      const float a = std::clamp(p.a, 0.0f, 1.0f);
      d[0] = p.r * a + d[0] * (1 - a);
      d[1] = p.g * a + d[1] * (1 - a);
      d[2] = p.b * a + d[2] * (1 - a);
      d[3] = a + d[3] * (1 - a);
    }
  }
}

void Canvas::stroke(const std::vector<Pt>& line, float r, const Paint& p) {
  for (size_t i = 0; i + 1 < line.size(); ++i)
    fill(capsule(line[i].x, line[i].y, line[i + 1].x, line[i + 1].y, r), p);
}

static uint8_t toByte(float v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

Picture Canvas::resolve() const {
  Picture out(w_, h_);
  const int sw = w_ * n_;
  for (int y = 0; y < h_; ++y) {
    for (int x = 0; x < w_; ++x) {
      float r = 0, g = 0, b = 0, a = 0;
      for (int j = 0; j < n_; ++j) {
        for (int i = 0; i < n_; ++i) {
          const float* s = &px_[(static_cast<size_t>(y * n_ + j) * sw + x * n_ + i) * 4];
          r += s[0];
          g += s[1];
          b += s[2];
          a += s[3];
        }
      }
      if (a <= 0.0f) continue;
      // Unpremultiply: the colour is that of what was painted, whatever its coverage.
      out.at(x, y) = Rgb{toByte(r / a), toByte(g / a), toByte(b / a)};
      out.a(x, y) = toByte(a / static_cast<float>(n_ * n_));
    }
  }
  return out;
}

bool opaque(const Picture& p, int x, int y) {
  return p.a(x, y) >= 128;
}

void drawArt(Picture& pic, int x, int y, const std::vector<std::string>& rows,
             const std::vector<PaletteEntry>& palette) {
  for (size_t j = 0; j < rows.size(); ++j) {
    for (size_t i = 0; i < rows[j].size(); ++i) {
      const char c = rows[j][i];
      if (c == ' ' || c == '.') continue;
      for (const PaletteEntry& e : palette) {
        if (e.key == c) {
          pic.set(x + static_cast<int>(i), y + static_cast<int>(j), e.colour);
          break;
        }
      }
    }
  }
}

uint32_t hash32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

float noise01(int x, int y, uint32_t seed) {
  const uint32_t h = hash32(static_cast<uint32_t>(x) * 0x9E3779B1U ^
                            hash32(static_cast<uint32_t>(y) + seed * 0x85EBCA77U));
  return static_cast<float>(h >> 8) / 16777216.0f;
}

uint32_t Rng::next() {
  // xorshift64*: small, fast, and fully determined by its seed.
  s_ ^= s_ >> 12;
  s_ ^= s_ << 25;
  s_ ^= s_ >> 27;
  return static_cast<uint32_t>((s_ * 2685821657736338717ULL) >> 32);
}

double Rng::uniform() {
  return static_cast<double>(next()) / 4294967296.0;
}

}  // namespace assetgen
