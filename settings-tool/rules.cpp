#include "settings-tool/rules.h"

#include "common/Settings.h"
#include "platform/profile.h"

namespace tool {

Check CheckFor(int32_t value) {
  if (value == 0) return Check::kUnchecked;
  return value == 2 ? Check::kGrayed : Check::kChecked;
}

Choice Load() {
  Choice c;
  c.fullScreen = settings::IsOn(settings::Read(settings::kFullScreen));
  c.rightClick = settings::IsOn(settings::Read(settings::kRClick));
  c.showFps = CheckFor(settings::Read(settings::kShowFPS));
  return c;
}

void Save(const Choice& choice) {
  // All three texts are settled before anything is written. A setting that is off is deleted
  // (a null value), never written as 0, so the file holds only what is on.
  const char* a = choice.fullScreen ? "1" : nullptr;
  const char* b = choice.rightClick ? "1" : nullptr;
  const char* c = choice.showFps != Check::kUnchecked ? "1" : nullptr;
  WritePrivateProfileStringA(settings::kSection, settings::kFullScreen, a,
                             settings::FilePath().c_str());
  WritePrivateProfileStringA(settings::kSection, settings::kRClick, b,
                             settings::FilePath().c_str());
  WritePrivateProfileStringA(settings::kSection, settings::kShowFPS, c,
                             settings::FilePath().c_str());
}

Check AfterClick(Check state) {
  return state == Check::kChecked ? Check::kUnchecked : Check::kChecked;
}

}  // namespace tool
