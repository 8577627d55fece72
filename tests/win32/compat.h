// The few POSIX calls the suites share with Linux, in Windows terms. Read before each test
// source of the Windows build (a forced include), so the suites stay one source for both.
#pragma once

#include <direct.h>
#include <errno.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>

#include <random>
#include <string>

// Makes a folder from a template ending in XXXXXX, like mkdtemp. "/tmp/..." is under the
// current drive's root: Wine's drive of the Unix root, where the tests run.
inline char* mkdtemp(char* tmpl) {
  if (!tmpl) return nullptr;
  size_t n = 0;
  while (tmpl[n]) ++n;
  if (n < 6) return nullptr;
  static std::mt19937 rng(std::random_device{}() ^ static_cast<unsigned>(_getpid()));
  const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (size_t i = n - 6; i < n; ++i) tmpl[i] = digits[rng() % 36];
    if (_mkdir(tmpl) == 0) return tmpl;
    if (errno == ENOENT) {
      // The parent (such as /tmp on a fresh Windows drive) is made first.
      std::string parent(tmpl);
      const size_t sep = parent.find_last_of("/\\");
      if (sep == std::string::npos || sep == 0 || _mkdir(parent.substr(0, sep).c_str()) != 0)
        return nullptr;
      --attempt;
      continue;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) {
  return _putenv_s(name, "") == 0 ? 0 : -1;
}

// Windows has no superuser whom permission bits would not bind.
inline unsigned geteuid() {
  return 1000;
}
