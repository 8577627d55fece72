// The best score of the run, kept between runs in a small profile file beside the program.
// Only a new record is written; a record above 30000 also earns the reward code. Each write goes
// through the profile writer, which replaces the file atomically, so a failed or interrupted
// shutdown leaves the old file whole.
#include <string>

#include "common/App.h"
#include "game/shell/fMain.h"

namespace {

constexpr const char* kHighScoreFile = "/ハイスコア.txt";
constexpr const char* kRewardCode = "kR4pW81ZmtXe";
constexpr int32_t kRewardThreshold = 30000;

}  // namespace

void fMain::UpdateHighScore() {
  const std::string path = App.Path + kHighScoreFile;
  // Another copy of the game closing at the same time waits until this update is done, so the
  // higher of the two records is the one that stays.
  const platform::ProfileLock lock(path.c_str());
  // The reader saturates to 32 bits, so the stored value compares as the signed number it is.
  const auto stored =
      static_cast<int32_t>(GetPrivateProfileIntA("Score", "Total", 0, path.c_str()));
  if (bestScore <= stored) return;
  const std::string total = std::to_string(bestScore);
  WritePrivateProfileStringA("Score", "Total", total.c_str(), path.c_str());
  if (bestScore > kRewardThreshold)
    WritePrivateProfileStringA("Secret", "Password", kRewardCode, path.c_str());
}
