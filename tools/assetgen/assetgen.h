// Shared pieces of the asset generator: pictures, file encoders and the three makers
// (pictures, sounds, music). Everything is deterministic: no clock, no unseeded randomness.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace assetgen {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// A colour with straight (not premultiplied) alpha, components 0..1.
struct Paint {
  float r = 0, g = 0, b = 0, a = 1;
};
Paint rgb(int r, int g, int b, float a = 1.0f);
Paint mix(const Paint& p, const Paint& q, float t);

// A finished picture with coverage: alpha 0 = nothing painted, 255 = fully painted.
struct Picture {
  int w = 0, h = 0;
  std::vector<Rgb> colour;
  std::vector<uint8_t> alpha;
  Picture() = default;
  Picture(int width, int height);
  Rgb& at(int x, int y) { return colour[static_cast<size_t>(y) * w + x]; }
  const Rgb& at(int x, int y) const { return colour[static_cast<size_t>(y) * w + x]; }
  uint8_t& a(int x, int y) { return alpha[static_cast<size_t>(y) * w + x]; }
  uint8_t a(int x, int y) const { return alpha[static_cast<size_t>(y) * w + x]; }
  void set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    at(x, y) = c;
    a(x, y) = 255;
  }
  void clear(int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    a(x, y) = 0;
  }
};

// Shapes are point-in-shape tests with a bounding box, in picture pixels (y down).
struct Shape {
  float x0, y0, x1, y1;
  std::function<bool(float, float)> inside;
};
Shape ellipse(float cx, float cy, float rx, float ry, float angle = 0.0f);
Shape circle(float cx, float cy, float r);
Shape rect(float x, float y, float w, float h);
Shape capsule(float ax, float ay, float bx, float by, float r);
struct Pt {
  float x, y;
};
Shape polygon(std::vector<Pt> pts);
Shape minus(Shape a, Shape b);  // a without b
Shape intersect(Shape a, Shape b);

// Supersampled painting surface. Painting composites "over"; resolve() averages the samples.
class Canvas {
 public:
  Canvas(int w, int h, int samples = 4);
  int width() const { return w_; }
  int height() const { return h_; }
  void fill(const Shape& s, const Paint& p);
  void fill(const Shape& s, const std::function<Paint(float, float)>& paint);
  // Paints the shape at every offset of (dx, dy) multiples of the canvas size that can touch it,
  // so a pattern wraps around the edges (for tiles).
  void fillWrapped(const Shape& s, const std::function<Paint(float, float)>& paint);
  void stroke(const std::vector<Pt>& line, float r, const Paint& p);
  // Drops samples painted with less than minimum coverage (a hard outer edge).
  Picture resolve() const;

 private:
  void fillOffset(const Shape& s, const std::function<Paint(float, float)>& paint, float ox,
                  float oy);
  int w_, h_, n_;
  std::vector<float> px_;  // premultiplied r, g, b, a per sample
};

// Sprites: opaque where the coverage reaches half; their colours are kept as painted, so
// anti-aliasing happens only between painted parts, never against the white surround.
bool opaque(const Picture& p, int x, int y);

// Pixel art from strings: each character is looked up in the palette, ' ' and '.' are empty.
struct PaletteEntry {
  char key;
  Rgb colour;
};
void drawArt(Picture& pic, int x, int y, const std::vector<std::string>& rows,
             const std::vector<PaletteEntry>& palette);

// Deterministic noise for textures.
uint32_t hash32(uint32_t x);
float noise01(int x, int y, uint32_t seed);
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint32_t next();
  double uniform();  // [0, 1)
 private:
  uint64_t s_;
};

// ---- file encoders
struct Image24 {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  Rgb& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
  const Rgb& at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};
Bytes encodeBmp24(const Image24& img);
Bytes encodeIco8(const Picture& pic);                  // one 32x32 image, 256-colour palette
Bytes encodeIco32(const std::vector<Picture>& sizes);  // 32-bit images with AND masks
Bytes encodePngRgba(const Picture& pic);
Bytes encodePngRgb(const Image24& img);
Bytes encodeWav16(const std::vector<float>& samples, int rate);
uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0);

// ---- the makers; each returns (relative path, bytes) pairs
struct OutFile {
  std::string path;
  Bytes bytes;
};
std::vector<OutFile> makePictures();
// The sizes of the desktop icons (hicolor NxN), each drawn at that size.
inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
std::vector<OutFile> makeSounds();
std::vector<OutFile> makeMusic();

}  // namespace assetgen
