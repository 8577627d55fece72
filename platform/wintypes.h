// The Win32 scalar and handle types the game and the tool are written against.
// Handles are opaque values handed out by the platform's handle tables; they are never
// dereferenced, so a stale or foreign handle can only make a call fail.
#pragma once

#if !defined(ZORBILO_BACKEND_SDL) && !defined(ZORBILO_BACKEND_WINDOWS)
#error "No back end named: build through CMake, which sets ZORBILO_BACKEND_<name>."
#endif

#if defined(ZORBILO_BACKEND_WINDOWS)
// Windows has them all, with these very names.
#include "platform/win32/winapi.h"
#else

#include <cstdint>

using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using LONG = int32_t;
using LONG_PTR = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using COLORREF = DWORD;
using LPCSTR = const char*;
using LPSTR = char*;
using MCIERROR = DWORD;

struct HWND__;
struct HDC__;
struct HBITMAP__;
struct HFONT__;
using HWND = HWND__*;
using HDC = HDC__*;
using HBITMAP = HBITMAP__*;
using HFONT = HFONT__*;
using HGDIOBJ = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

#endif  // ZORBILO_BACKEND_WINDOWS
