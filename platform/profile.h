// Profile (INI) file functions with the classic semantics. No SDL: both programs link these.
#pragma once

#include <string>

#include "platform/wintypes.h"

// Reads key in section of file as a signed decimal taken from the start of the value
// (leading blanks and a sign allowed); no number reads 0; a missing file, section or key
// reads nDefault. Values beyond 32 bits saturate. Names compare without regard to case.
UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);

// Writes key=value in section, creating file and section when missing; a key written again
// keeps its place; a null lpString deletes the key. The file is replaced atomically, so a
// failed write leaves the old file whole. Returns FALSE on failure. Lines end in CR LF, LF or
// a lone CR; new lines take the file's own ending.
BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName);

namespace platform {

// Makes a read, a comparison and a write of one profile file a single step between processes:
// while it lives, other processes' profile writes to files in the same folder wait (writes of
// this thread go ahead). WritePrivateProfileStringA takes it for itself; hold one around a read
// and the write that depends on it.
class ProfileLock {
 public:
  explicit ProfileLock(LPCSTR path);
  ~ProfileLock();
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;

 private:
  std::string key_;
  bool held_ = false;
};

}  // namespace platform
