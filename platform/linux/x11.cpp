// What the X server (and the Wayland compositor beside it) adds under SDL: the window's class,
// the handler for a lost connection and the resource database.
// SDL loads Xlib itself; the last two are reached through the library SDL loaded, so that the
// game links no X library of its own.
#include <SDL.h>
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "platform/sdl/system.h"

namespace platform::detail {

namespace {

bool OnX11() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "x11") == 0;
}

}  // namespace

void NameWindowClass(const char* name) {
  // The window's class (X11) and application id (Wayland): StartupWMClass in the desktop entry.
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", name, 0);
  SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", name, 0);
}

void WatchDisplayConnection(int (*onLost)(void*)) {
  if (!OnX11()) return;
  void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (!x11) return;
  using Handler = int (*)(void*);
  using SetHandler = Handler (*)(Handler);
  if (auto set = reinterpret_cast<SetHandler>(dlsym(x11, "XSetIOErrorHandler"))) set(onLost);
  dlclose(x11);  // SDL keeps it loaded
}

std::string DesktopResources() {
  if (!OnX11()) return {};
  void* xlib = SDL_LoadObject("libX11.so.6");
  if (!xlib) return {};
  using Open = void* (*)(const char*);
  using Close = int (*)(void*);
  using Resources = char* (*)(void*);
  auto open = reinterpret_cast<Open>(SDL_LoadFunction(xlib, "XOpenDisplay"));
  auto close = reinterpret_cast<Close>(SDL_LoadFunction(xlib, "XCloseDisplay"));
  auto resources = reinterpret_cast<Resources>(SDL_LoadFunction(xlib, "XResourceManagerString"));
  std::string db;
  if (open && close && resources) {
    if (void* display = open(nullptr)) {
      if (const char* rm = resources(display)) db = rm;
      close(display);
    }
  }
  SDL_UnloadObject(xlib);
  return db;
}

}  // namespace platform::detail
