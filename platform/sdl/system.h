// What the SDL back end asks of the system beneath SDL. Linux (platform/linux/) answers with X11,
// signals, fontconfig and Debian's paths; any other SDL desktop gets the plain answers of
// system_fallback.cpp, with which the game still runs; the loop and the cursor are the same on
// every desktop (desktop.cpp). The browser (platform/web/) answers all of it for the page.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

namespace platform::detail {

// Milliseconds since the machine started (for GetTickCount), counting time asleep.
uint64_t SystemMilliseconds();

// Sets handler for the signals that ask a program to stop (interrupt, terminate, the terminal
// gone), leaving one alone that the program was started to ignore.
void CatchStopSignals(void (*handler)(int));

// Before SDL's video starts: names the class of the program's windows, so that a desktop matches
// them to the program's desktop entry whatever the executable is called.
void NameWindowClass(const char* name);

// Calls onLost when the window system's connection breaks, before the process has to end.
// Nothing where the video driver keeps no such connection.
void WatchDisplayConnection(int (*onLost)(void*));

// The desktop's resource database as text ("name:\tvalue" lines), "" when it has none.
std::string DesktopResources();

// Waiting on the window system's connection directly (display_wait.cpp). The set-up returns the
// descriptor that other threads write to end a wait, or -1 where the window has no such
// connection (SDL's own wait is used then).
int SetUpDisplayWait(SDL_Window* window);
// Waits up to ms for the display or a write to wakeFd; true when the display may have
// something to read (or a signal came), false when it stayed silent.
bool WaitOnDisplay(int ms, int wakeFd);

// The file of a font face: the requested one, then IPAGothic, then any monospace face; "" when
// none is found.
std::string FindFontFile(const char* face, bool bold);

// The system's General MIDI sound font, or nullptr when it has none at a known place.
const char* SystemSoundFont();

// Runs the message loop. step(true) is one turn of it followed by a wait until the next turn is
// due; it answers false when the loop is over. A desktop calls it until then. The browser may not
// block the page: it calls step(false) from the page's own callbacks and returns at once, and
// the loop goes on after main has gone.
void RunLoop(bool (*step)(bool wait));

// A message was posted from outside the loop's turn (the audio callback, a finished load). A
// desktop's wait has already been woken; the browser has deliver run before its next frame.
void WakeLoop(void (*deliver)());

// How many screen pixels each pixel of a cursor picture takes, given the scale the window's
// picture is shown at: the same on the desktops; in the page, the canvas's enlargement.
int CursorScale(int pictureScale);

}  // namespace platform::detail
