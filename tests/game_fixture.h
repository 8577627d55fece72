// What the game's test programs share: a fresh program folder per test, the manual clock, the
// command log, and a few ways to look at the back buffer and the sprite sheet.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/App.h"
#include "game/shell/fMain.h"
#include "game/sound/Sound.h"
#include "platform/testing.h"

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zorbilo_game_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    App.Path = dir.string();
    platform::UseManualClock(1'000'000);
    platform::SimulateWindowFrame(-1, -1, -1, -1);
    ClipCursor(nullptr);
    mciSetLog(&log);
  }
  void TearDown() override {
    form.reset();
    mciSetLog(nullptr);
    ClipCursor(nullptr);
    platform::SimulateWindowFrame(-1, -1, -1, -1);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // A new form, loaded as the runtime loads it.
  fMain& Load() {
    form.reset();
    form = std::make_unique<fMain>();
    form->Form_Load();
    return *form;
  }

  // A file of the program folder by its UTF-8 name, as the game names it. (A plain string
  // would be read in the C library's code page on Windows, which is not UTF-8.)
  std::filesystem::path In(const std::string& name) const {
    return dir / std::filesystem::path(std::u8string(name.begin(), name.end()));
  }
  static std::string Utf8(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(In(name), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) {
    std::ifstream in(In(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(In(name)); }

  // Commands sent since the last call.
  std::vector<std::string> TakeCommands() {
    std::vector<std::string> out;
    for (const MciLogEntry& e : log) out.push_back(e.command);
    log.clear();
    return out;
  }
  bool Sent(const std::string& prefix) {
    for (const MciLogEntry& e : log)
      if (e.command.rfind(prefix, 0) == 0) return true;
    return false;
  }

  std::filesystem::path dir;
  std::vector<MciLogEntry> log;
  std::unique_ptr<fMain> form;
};

// A copy of a device context's pixels, and the per-pixel rule of a masked sprite, so that what
// the game drew can be compared with what the sheet says should be there.
struct Pixels {
  int w = 0, h = 0;
  std::vector<COLORREF> px;
  Pixels() = default;
  Pixels(HDC dc, int w_, int h_) : w(w_), h(h_), px(static_cast<size_t>(w_) * h_) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = GetPixel(dc, x, y);
  }
  COLORREF& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
  COLORREF at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
  // (background OR mask) AND image, the mask lying w pixels to the right of the image.
  void Sprite(const Pixels& sheet, int dx, int dy, int sx, int sy, int sw, int sh) {
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) {
        int X = dx + x, Y = dy + y;
        if (X < 0 || Y < 0 || X >= w || Y >= h) continue;
        at(X, Y) = (at(X, Y) | sheet.at(sx + sw + x, sy + y)) & sheet.at(sx + x, sy + y);
      }
  }
  void Tile(const Pixels& sheet, int dx, int dy, int sx, int sy, int sw, int sh) {
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x)
        if (dx + x < w && dy + y < h) at(dx + x, dy + y) = sheet.at(sx + x, sy + y);
  }
  // The whole buffer tiled with the 80x80 tile at sheet (tx, 0).
  static Pixels Tiled(const Pixels& sheet, int tx) {
    Pixels p;
    p.w = 640;
    p.h = 480;
    p.px.resize(640u * 480u);
    for (int y = 0; y < 480; y += 80)
      for (int x = 0; x < 640; x += 80) p.Tile(sheet, x, y, tx, 0, 80, 80);
    return p;
  }
  // Number of pixels that differ from another picture of the same size.
  int Diff(const Pixels& o) const {
    int n = 0;
    for (size_t i = 0; i < px.size(); ++i) n += px[i] != o.px[i];
    return n;
  }
};

inline Pixels Sheet(fMain& f) {
  return Pixels(f.picImage.hDC, 320, 320);
}
inline Pixels Back(fMain& f) {
  return Pixels(f.backDC, 640, 480);
}
