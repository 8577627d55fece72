// Where Debian keeps what the game uses from other packages.
#include <sys/stat.h>

#include "platform/sdl/system.h"

namespace platform::detail {

const char* SystemSoundFont() {
  // The alternative that every General MIDI font package provides (timgm6mb-soundfont among them).
  static constexpr const char* kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
  struct stat st {};
  return stat(kSoundFont, &st) == 0 ? kSoundFont : nullptr;
}

}  // namespace platform::detail
