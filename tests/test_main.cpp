// Shared main of the GoogleTest programs: SDL on its dummy drivers, so every suite runs headless
// and makes no sound. (The Windows build has no SDL: its windows are real ones.)
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
#ifndef _WIN32
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
