// Profile (INI) file functions with the classic semantics. No SDL: both programs link these.
#pragma once

#include "platform/wintypes.h"

// Reads key in section of file as a signed decimal taken from the start of the value
// (leading blanks and a sign allowed); no number reads 0; a missing file, section or key
// reads nDefault. Values beyond 32 bits saturate. Names compare without regard to case.
UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);

// Writes key=value in section, creating file and section when missing; a key written again
// keeps its place; a null lpString deletes the key. The file is replaced atomically, so a
// failed write leaves the old file whole. Returns FALSE on failure.
BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName);
