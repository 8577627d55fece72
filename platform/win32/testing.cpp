// The test seams over the Windows back end's own state (see platform/testing.h).
// The back end's own view of the names first (see internal.h).
#include "platform/win32/internal.h"
//
#include "platform/testing.h"

using namespace platform::win32::detail;

namespace platform {

void SimulateWindowFrame(int left, int top, int right, int bottom) {
  // The game's view of the frame only: the real window keeps the system's own around the
  // client area.
  if (left < 0 || top < 0 || right < 0 || bottom < 0)
    SimulatedFrame().reset();
  else
    SimulatedFrame() = Frame{left, top, right, bottom};
}

int DisplayScale() {
  const Display& d = TheDisplay();
  if (d.virtualW <= 0) return 0;
  for (FormWindow* w : Forms()) return ScaleOf(*w);
  return 1;
}

}  // namespace platform
