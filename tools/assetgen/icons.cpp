// The swatter cursors (also the window and desktop icons) and the settings tool's gear, and the
// list of every picture file the generator writes.
#include <algorithm>
#include <cmath>

#include "sheet.h"

namespace assetgen {
namespace {

constexpr float kPi = 3.14159265f;

const Rgb kRimDark{128, 18, 14};
const Rgb kRim{236, 72, 46};
const Rgb kRimLight{252, 150, 112};
const Rgb kMesh{212, 52, 36};
const Rgb kMeshLight{240, 104, 76};
const Rgb kHandle{200, 44, 30};
const Rgb kHandleDark{120, 16, 12};
const Rgb kHandleLight{246, 120, 92};

// The raised swatter redrawn for 16 pixels: at that size see-through mesh holes would only
// flicker, so the mesh is drawn solid with darker holes.
Picture swatterRaisedSmall() {
  Picture p(16, 16);
  for (int y = 0; y <= 12; ++y)
    for (int x = 1; x <= 14; ++x) {
      if ((x == 1 || x == 14) && (y == 0 || y == 12)) continue;
      const bool outer = x == 1 || x == 14 || y == 0 || y == 12;
      const bool hole = !outer && (x - 2) % 2 == 1 && (y - 1) % 2 == 1;
      Rgb c = outer ? kRimDark : hole ? kHandleDark : kMesh;
      if (!outer && !hole && (x == 2 || y == 1)) c = kRimLight;
      p.set(x, y, c);
    }
  for (int x = 6; x <= 9; ++x) p.set(x, 13, x == 6 || x == 9 ? kHandleDark : kHandle);
  for (int y = 14; y <= 15; ++y) {
    p.set(7, y, kHandleLight);
    p.set(8, y, kHandleDark);
  }
  return p;
}

// The raised swatter, seen from the front: a square mesh head over x 3..28, y 0..25 (the hit
// box around the hot spot (16, 16) reaches x 2..30, y 0..26), the handle below it.
Picture swatterRaised() {
  Picture p(32, 32);
  // Rim, two pixels wide, with softened corners.
  for (int y = 0; y <= 25; ++y)
    for (int x = 3; x <= 28; ++x) {
      const bool rim = x <= 4 || x >= 27 || y <= 1 || y >= 24;
      if (!rim) continue;
      const bool corner = (x == 3 || x == 28) && (y == 0 || y == 25);
      if (corner) continue;
      const bool outer = x == 3 || x == 28 || y == 0 || y == 25;
      Rgb c = outer ? kRimDark : kRim;
      if (!outer && (x == 4 || y == 1)) c = kRimLight;  // light from the top left
      p.set(x, y, c);
    }
  p.set(4, 1, kRimDark);
  p.set(27, 1, kRimDark);
  p.set(4, 24, kRimDark);
  p.set(27, 24, kRimDark);
  // Mesh: threads every third pixel, the holes between them see-through.
  for (int y = 2; y <= 23; ++y)
    for (int x = 5; x <= 26; ++x) {
      const bool thread = (x - 5) % 3 == 0 || (y - 2) % 3 == 0;
      if (!thread) continue;
      const bool light = (x - 5) % 3 == 0 && (y - 2) % 3 == 0;
      p.set(x, y, light ? kMeshLight : kMesh);
    }
  // Neck and handle.
  for (int x = 13; x <= 19; ++x) p.set(x, 26, x == 13 || x == 19 ? kHandleDark : kHandle);
  for (int x = 14; x <= 18; ++x) p.set(x, 27, x == 14 || x == 18 ? kHandleDark : kHandle);
  for (int y = 28; y <= 31; ++y)
    for (int x = 15; x <= 17; ++x)
      p.set(x, y, x == 15 ? kHandleLight : x == 17 ? kHandleDark : kHandle);
  p.set(16, 27, kHandleLight);
  for (int y = 28; y <= 31; ++y) p.set(16, y, kHandle);
  return p;
}

// The striking swatter: the head seen nearly edge-on, a flat wide bar across the hot spot,
// the handle coming towards the viewer below it, and a few speed lines above.
Picture swatterStriking() {
  Picture p(32, 32);
  for (int x = 1; x <= 30; ++x) {
    const bool end = x == 1 || x == 30;
    p.set(x, 13, end ? kRimDark : kRimDark);
    if (!end) {
      p.set(x, 14, kRimLight);
      p.set(x, 15, (x - 2) % 3 == 0 ? kMeshLight : kMesh);
      p.set(x, 16, (x - 2) % 3 == 0 ? kMesh : kRimDark);
      p.set(x, 17, kRim);
    } else {
      for (int y = 14; y <= 17; ++y) p.set(x, y, kRimDark);
    }
    p.set(x, 18, kRimDark);
  }
  // Handle, widening a little as it comes closer.
  for (int y = 19; y <= 31; ++y) {
    const int half = y < 22 ? 1 : y < 27 ? 2 : 2;
    for (int x = 16 - half; x <= 16 + half; ++x) {
      Rgb c = kHandle;
      if (x == 16 - half) c = kHandleLight;
      if (x == 16 + half) c = kHandleDark;
      p.set(x, y, c);
    }
  }
  for (int x = 13; x <= 19; ++x) p.set(x, 19, x == 13 || x == 19 ? kHandleDark : kHandle);
  // Speed lines, fading upwards.
  const Rgb lines[] = {{196, 202, 214}, {172, 180, 196}, {150, 158, 176}};
  for (int x : {5, 11, 21, 27}) {
    const int top = (x == 11 || x == 21) ? 4 : 7;
    for (int y = top; y <= 10; ++y) p.set(x, y, lines[std::min(2, (y - top) * 3 / (11 - top))]);
  }
  return p;
}

// The desktop icon at sizes where the 32-pixel cursor would only be enlarged: the same raised
// swatter, drawn again for each size (head with a rounded rim, a mesh of eight threads each way
// with see-through holes, neck and handle), lit from the top left like the cursor.
Picture swatterIcon(int size) {
  const float u = static_cast<float>(size) / 32.0f;
  Canvas c(size, size, size >= 128 ? 4 : 8);
  // Edges on whole pixels, so that small sizes stay crisp instead of half-covered.
  auto px = [](float v) { return std::round(v); };
  const float x0 = px(3 * u), y0 = px(0.25f * u), x1 = px(29 * u), y1 = px(26 * u);
  const float rim = std::max(1.0f, px(2 * u)), round = 2.5f * u;
  auto rounded = [&](float ax, float ay, float bx, float by, float r) {
    return polygon([&] {
      std::vector<Pt> pts;
      const Pt centres[] = {{bx - r, ay + r}, {bx - r, by - r}, {ax + r, by - r}, {ax + r, ay + r}};
      for (int k = 0; k < 4; ++k)
        for (int i = 0; i <= 6; ++i) {
          const float a = kPi / 2 * (static_cast<float>(k) - 1 + static_cast<float>(i) / 6);
          pts.push_back(Pt{centres[k].x + r * std::cos(a), centres[k].y + r * std::sin(a)});
        }
      return pts;
    }());
  };
  auto lit = [&](const Rgb& light, const Rgb& dark) {
    return [=](float x, float y) {
      const float t = std::clamp((x + y) / (2.0f * static_cast<float>(size)), 0.0f, 1.0f);
      return mix(rgb(light.r, light.g, light.b), rgb(dark.r, dark.g, dark.b), t);
    };
  };
  // Handle and neck first, so the head's rim overlaps them.
  const float hx = 16 * u, hw = std::max(1.0f, 1.6f * u);
  c.fill(capsule(hx, y1, hx, 31.2f * u - hw, hw), lit(kHandleLight, kHandleDark));
  c.fill(polygon({{13 * u, y1 - rim}, {19 * u, y1 - rim}, {hx + hw, 28 * u}, {hx - hw, 28 * u}}),
         lit(kHandle, kHandleDark));
  // The mesh: threads across the opening, holes left empty.
  const float ix0 = x0 + rim, iy0 = y0 + rim, ix1 = x1 - rim, iy1 = y1 - rim;
  const float thread = std::max(1.0f, px(0.9f * u));
  const int holes = size < 32 ? 6 : 8;
  for (int i = 1; i < holes; ++i) {
    const float t = static_cast<float>(i) / static_cast<float>(holes);
    const float fx = px(ix0 + (ix1 - ix0) * t - thread / 2),
                fy = px(iy0 + (iy1 - iy0) * t - thread / 2);
    c.fill(rect(fx, iy0, thread, iy1 - iy0), lit(kMeshLight, kMesh));
    c.fill(rect(ix0, fy, ix1 - ix0, thread), lit(kMeshLight, kMesh));
  }
  // The rim: dark outline, then the lit band inside it.
  c.fill(minus(rounded(x0, y0, x1, y1, round),
               rounded(ix0, iy0, ix1, iy1, std::max(0.5f, round - rim))),
         rgb(kRimDark.r, kRimDark.g, kRimDark.b));
  const float edge = std::max(0.6f, 0.45f * u);
  c.fill(minus(rounded(x0 + edge, y0 + edge, x1 - edge, y1 - edge, round - edge),
               rounded(ix0, iy0, ix1, iy1, std::max(0.5f, round - rim))),
         lit(kRimLight, kRim));
  return c.resolve();
}

// The settings tool's icon: a gear in the game's light blue with a red hub.
Picture settingsGear(int size) {
  const float S = static_cast<float>(size), c0 = S / 2.0f;
  Canvas c(size, size, 8);
  const int teeth = 8;
  const float rOuter = S * 0.48f, rRoot = S * 0.36f;
  std::vector<Pt> outline;
  for (int i = 0; i < teeth * 8; ++i) {
    const float a = 2 * kPi * static_cast<float>(i) / (teeth * 8.0f);
    const int phase = i % 8;
    const float r = (phase >= 1 && phase <= 4) ? rOuter : rRoot;
    outline.push_back(Pt{c0 + r * std::cos(a), c0 + r * std::sin(a)});
  }
  const Shape gear = minus(polygon(outline), circle(c0, c0, S * 0.17f));
  c.fill(gear, rgb(24, 52, 110));
  std::vector<Pt> inner;
  const float inset = std::max(1.0f, S * 0.05f);
  for (const Pt& q : outline) {
    const float dx = q.x - c0, dy = q.y - c0, d = std::sqrt(dx * dx + dy * dy);
    inner.push_back(Pt{c0 + dx * (d - inset) / d, c0 + dy * (d - inset) / d});
  }
  c.fill(minus(polygon(inner), circle(c0, c0, S * 0.17f + inset)), [&](float x, float y) {
    const float t = std::clamp(((x - c0) * 0.5f + (y - c0) * 0.85f) / (S * 0.5f), -1.0f, 1.0f);
    return mix(rgb(176, 222, 252), rgb(70, 138, 214), 0.5f + 0.5f * t);
  });
  c.fill(circle(c0, c0, S * 0.12f), rgb(120, 16, 12));
  c.fill(circle(c0, c0, S * 0.12f - std::max(0.8f, S * 0.03f)), [&](float x, float y) {
    const float t = std::clamp(((x - c0) + (y - c0)) / (S * 0.2f), -1.0f, 1.0f);
    return mix(rgb(252, 130, 100), rgb(196, 30, 20), 0.5f + 0.5f * t);
  });
  return c.resolve();
}

}  // namespace

std::vector<OutFile> makePictures() {
  const Image24 sheet = makeSheet();
  Image24 preview;
  preview.w = sheet.w * 2;
  preview.h = sheet.h * 2;
  preview.px.resize(static_cast<size_t>(preview.w) * preview.h);
  for (int y = 0; y < preview.h; ++y)
    for (int x = 0; x < preview.w; ++x) preview.at(x, y) = sheet.at(x / 2, y / 2);

  const Picture raised = swatterRaised();
  const Picture gear32 = settingsGear(32), gear16 = settingsGear(16);
  std::vector<OutFile> files = {
      {"game/assets/sheet.bmp", encodeBmp24(sheet)},
      {"game/assets/swat1.ico", encodeIco8(raised)},
      {"game/assets/swat2.ico", encodeIco8(swatterStriking())},
      {"settings-tool/icons/settings.ico", encodeIco32({gear32, gear16})},
  };
  // Desktop icons at every size a desktop asks for: 16 and 32 are the cursor's own pixel art,
  // the others drawn at their size, never an enlargement.
  for (int size : kIconSizes) {
    const std::string n = std::to_string(size);
    const Picture game = size == 16   ? swatterRaisedSmall()
                         : size == 32 ? raised
                                      : swatterIcon(size);
    files.push_back({"game/assets/icons/zorbilo-" + n + ".png", encodePngRgba(game)});
    files.push_back(
        {"settings-tool/icons/settings-" + n + ".png", encodePngRgba(settingsGear(size))});
  }
  files.push_back({"tools/sheet-preview.png", encodePngRgb(preview)});
  return files;
}

}  // namespace assetgen
