// The stop signals and the boot clock, as POSIX and Linux give them.
#include <time.h>

#include <csignal>
#include <cstdint>

#include "platform/sdl/system.h"

namespace platform::detail {

uint64_t SystemMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void CatchStopSignals(void (*handler)(int)) {
  // Closing the terminal the game was started from (SIGHUP) ends it the same way as Ctrl+C,
  // unless it was started to outlive its terminal (nohup leaves SIGHUP ignored).
  struct sigaction sa {};
  struct sigaction hup {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  if (sigaction(SIGHUP, nullptr, &hup) == 0 && hup.sa_handler != SIG_IGN)
    sigaction(SIGHUP, &sa, nullptr);
}

}  // namespace platform::detail
