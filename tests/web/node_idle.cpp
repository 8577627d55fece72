// The suites' sleeps under node. In the page the browser runs its audio between the program's
// turns; under node the suite's one thread never lets node's own loop run, so a sleep, where a
// page would be idle, runs the audio that comes due itself (Module.zorbiloIdle, node_pre.js).
// SDL's waits (SDL_Delay) and std::this_thread::sleep_for both end up here; the C library's own
// version spins for the time.
#include <emscripten.h>
#include <errno.h>
#include <time.h>

namespace {
EM_JS(void, IdleFor, (double ms), { Module.zorbiloIdle(ms); });
}  // namespace

extern "C" int nanosleep(const struct timespec* req, struct timespec* rem) {
  if (!req || req->tv_nsec < 0 || req->tv_nsec > 999'999'999L || req->tv_sec < 0) {
    errno = EINVAL;
    return -1;
  }
  const double ms = static_cast<double>(req->tv_sec) * 1000.0 + static_cast<double>(req->tv_nsec) / 1e6;
  IdleFor(ms);
  if (rem) *rem = {};
  return 0;
}
