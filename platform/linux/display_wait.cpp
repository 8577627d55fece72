// Waiting for the X server without SDL. A still screen wakes a hundred times a second for its
// timers; through SDL_WaitEventTimeout each wake also reads the server's connection two or three
// times (a system call each), which costs more than the wake itself. Waiting on the connection
// here, a wake on which nothing arrived costs one poll. Kept apart from the rest of the back end
// because SDL's window-system header brings Xlib's names (Window among them) along.
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "platform/sdl/internal.h"

namespace platform::detail {

namespace {

// Xlib as SDL loaded it: the game links no X library of its own.
struct DisplayWait {
  void* display = nullptr;
  int fd = -1;
  int (*eventsQueued)(void*, int) = nullptr;  // XEventsQueued
};
DisplayWait displayWait;

}  // namespace

// SDL 2's API over SDL 3 (sdl2-compat, which calls itself 2.32.50 and later) has its own event
// queue and its own ways of waking a wait: it keeps SDL's wait, as any other driver does.
bool RealSdl2() {
  SDL_version v;
  SDL_GetVersion(&v);
  return v.major == 2 && (v.minor < 32 || (v.minor == 32 && v.patch < 50));
}

int SetUpDisplayWait(SDL_Window* window) {
  displayWait = DisplayWait{};
  if (!RealSdl2()) return -1;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!window || !driver || std::strcmp(driver, "x11") != 0) return -1;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return -1;
  void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (!x11) return -1;
  DisplayWait d;
  d.display = info.info.x11.display;
  auto number = reinterpret_cast<int (*)(void*)>(dlsym(x11, "XConnectionNumber"));
  d.eventsQueued = reinterpret_cast<int (*)(void*, int)>(dlsym(x11, "XEventsQueued"));
  dlclose(x11);  // SDL keeps it loaded
  if (!d.display || !number || !d.eventsQueued) return -1;
  d.fd = number(d.display);
  if (d.fd < 0) return -1;
  static const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // one for the process
  if (wakeFd < 0) return -1;
  displayWait = d;
  return wakeFd;
}

bool WaitOnDisplay(int ms, int wakeFd) {
  // What SDL or Xlib already hold is for the next turn, at once.
  if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return true;
  constexpr int kQueuedAlready = 0;
  if (displayWait.eventsQueued(displayWait.display, kQueuedAlready) > 0) return true;
  // No XFlush here: it reads the connection too (the very cost this wait avoids), and SDL
  // flushes or syncs after each request of its own (presents, cursors, titles, grabs).
  pollfd fds[2] = {{displayWait.fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  if (poll(fds, 2, ms) < 0) return true;  // a signal: the loop looks at it
  if (fds[1].revents & POLLIN) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = read(wakeFd, &count, sizeof count);
  }
  return (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

}  // namespace platform::detail
