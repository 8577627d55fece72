// The system's own API, as the layer and the game see it on Windows.
//
// The profile functions are the project's own on every system (same bytes on disk, same atomic
// replace), so the system's declarations of them are moved out of the way before <windows.h>
// is read: the names then belong to platform/profile.h alone.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#define GetPrivateProfileIntA SystemGetPrivateProfileIntA
#define WritePrivateProfileStringA SystemWritePrivateProfileStringA
// clang-format off
#include <windows.h>
#include <mmsystem.h>  // after windows.h, which it needs
// clang-format on
#undef GetPrivateProfileIntA
#undef WritePrivateProfileStringA

// Win64 has no GWL_WNDPROC; the game's window-procedure hook goes through the layer's
// SetWindowLongA, which maps it onto SetWindowLongPtrA.
#ifndef GWL_WNDPROC
#define GWL_WNDPROC (-4)
#endif

// Not in every SDK's headers: a waitable timer with the system's finest resolution.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// The multimedia error codes the layer's callers compare with; all from <mmsystem.h>.
