// What every SDL desktop answers alike (see system.h): the loop runs in main and waits between
// its turns, and a cursor is enlarged as the window's picture is.
#include "platform/sdl/system.h"

namespace platform::detail {

void RunLoop(bool (*step)(bool wait)) {
  while (step(true)) {
  }
}

void WakeLoop(void (*)()) {}

int CursorScale(int pictureScale) { return pictureScale; }

}  // namespace platform::detail
