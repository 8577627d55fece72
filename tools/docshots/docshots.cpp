// Takes the README's pictures of a game in progress from the real window: the game runs on the
// manual clock (so every run shows the same flies), a bot swats its way to stage 4, and ImageMagick's
// `import` photographs the window as the X server shows it.
//
//   docshots PROGRAM_FOLDER OUTPUT_FOLDER     (needs DISPLAY; tools/docshots/docshots.sh sets one up)
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/App.h"
#include "game/shell/fMain.h"

namespace fs = std::filesystem;

namespace {

LPARAM At(int x, int y) { return static_cast<LPARAM>((y << 16) | (x & 0xFFFF)); }

void Click(fMain& f, int x, int y) {
  PostMessageA(f.hWnd, WM_LBUTTONDOWN, 0, At(x, y));
  PostMessageA(f.hWnd, WM_LBUTTONUP, 0, At(x, y));
  platform::AdvanceClock(0);
}

void Frames(int n) {
  for (int i = 0; i < n; ++i) platform::AdvanceClock(30);
}

// Where a player would swat: the middle of a living fly that is on the playfield.
bool AimAtAFly(const fMain& f, int& x, int& y) {
  for (int i = 0; i < f.flyCount; ++i) {
    if (f.flyLife[i] == 0) continue;
    x = f.flyPos[i].x + f.flySize[i] / 2;
    y = f.flyPos[i].y + f.flySize[i] / 2;
    if (x >= 0 && x < 640 && y >= 0 && y < 480) return true;
  }
  return false;
}

// Swats until the stage is cleared or only `keep` flies are left alive.
void Swat(fMain& f, int keep) {
  for (int swats = 0; f.gameState == 1 && f.fliesLeft > keep && swats < 5000; ++swats) {
    Frames(2);
    int x, y;
    if (f.gameState == 1 && AimAtAFly(f, x, y)) Click(f, x, y);
  }
}

bool Shoot(const fs::path& file) {
  platform::Present();
  usleep(300'000);  // let the X server show the frame before it is photographed
  const std::string cmd =
      "import -depth 8 -window \"$(xdotool search --onlyvisible --name '^(Zorbilo|超・Zorbilo)$' "
      "| head -n 1)\" '" + file.string() + "'";
  const bool ok = std::system(cmd.c_str()) == 0;
  std::printf("%s %s\n", ok ? "wrote" : "could not write", file.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PROGRAM_FOLDER OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  // A private copy of the program folder, so that no high score lands in the real one.
  char tmpl[] = "/tmp/zorbilo_docshots_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path work = tmpl;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(argv[1], ec))
    if (e.path().extension() == ".wav" || e.path().extension() == ".mid")
      fs::copy_file(e.path(), work / e.path().filename(), ec);

  App.Path = work.string();
  platform::UseManualClock(1'000'000);
  int rc = 1;
  {
    fMain f;
    f.Form_Load();
    if (f.hWnd) {
      Frames(5);
      for (int stage = 1; stage <= 4 && f.gameState == 0; ++stage) {
        Click(f, 320, 255);  // "Click To Start !"
        if (stage < 4) {
          Swat(f, 0);
          while (f.gameState == 3) Frames(10);
        }
      }
      Swat(f, 70);  // stage 4 with most of its swarm still about, and a dead fly or two falling
      Frames(1);
      bool ok = f.gameState == 1 && Shoot(fs::path(argv[2]) / "stage4.png");
      Swat(f, 0);
      Frames(3);
      ok = ok && f.gameState == 3 && Shoot(fs::path(argv[2]) / "result.png");
      rc = ok ? 0 : 1;
      int16_t cancel = 0;
      f.Form_Unload(cancel);
    }
  }
  fs::remove_all(work, ec);
  return rc;
}
