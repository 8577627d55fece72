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
#include "tools/bot/Bot.h"

namespace fs = std::filesystem;

namespace {

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
      bool ok = bot::PlayTo(f, 4);
      bot::Swat(f, 70);  // most of the swarm still about, and a dead fly or two falling
      bot::Frames(1);
      ok = ok && f.gameState == 1 && Shoot(fs::path(argv[2]) / "stage4.png");
      bot::Swat(f, 0);
      bot::Frames(3);
      ok = ok && f.gameState == 3 && Shoot(fs::path(argv[2]) / "result.png");
      rc = ok ? 0 : 1;
      int16_t cancel = 0;
      f.Form_Unload(cancel);
    }
  }
  fs::remove_all(work, ec);
  return rc;
}
