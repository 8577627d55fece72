// The settings file lies in the program folder; both programs find it the same way.
#include "common/Settings.h"

#include "common/App.h"
#include "platform/profile.h"

namespace settings {

std::string FilePath() {
  return App.Path + kFileName;
}

int32_t Read(const char* key) {
  return static_cast<int32_t>(GetPrivateProfileIntA(kSection, key, 0, FilePath().c_str()));
}

}  // namespace settings
