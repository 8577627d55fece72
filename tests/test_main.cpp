// Shared main of the GoogleTest programs: SDL on its dummy drivers, so every suite runs headless
// and makes no sound. (The Windows build has no SDL: its windows are real ones.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
#ifndef _WIN32
  // A case that needs a real display is run again under Xvfb with this set to x11.
  const char* video = std::getenv("ZORBILO_TEST_VIDEODRIVER");
  setenv("SDL_VIDEODRIVER", video && *video ? video : "dummy", 1);
#ifdef __EMSCRIPTEN__
  // SDL's dummy audio needs a thread of its own, which this WebAssembly has not: the sound goes
  // to the page's driver, over node's stand-in for Web Audio (tests/web/node_pre.js).
  setenv("SDL_AUDIODRIVER", "emscripten", 1);
#else
  setenv("SDL_AUDIODRIVER", "dummy", 1);
#endif
#endif
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
#ifdef _WIN32
  // The verdict is in: the process ends here. Static teardown is no suite's subject, and under
  // Wine a suite was once seen to hang in it after its last test.
  std::fflush(nullptr);
  _exit(rc);
#endif
  return rc;
}
