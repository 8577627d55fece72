// The program folder on Windows: the folder of the executable, as the system reports it (a
// shortcut starts the program itself, so there is no link to tell apart). UTF-8, with the
// system's own separators, no trailing one.
#include "common/App.h"

#include <string>

#include "platform/win32/winapi.h"

namespace {

std::string ExeFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return ".";
    path.resize(path.size() * 2);
  }
  const size_t sep = path.find_last_of(L"\\/");
  if (sep == std::wstring::npos) return ".";
  path.resize(sep);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr,
                                  0, nullptr, nullptr);
  if (bytes <= 0) return ".";
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), bytes,
                      nullptr, nullptr);
  return out;
}

}  // namespace

AppObject App{ExeFolder()};

void AppObject::Init(const char* argv0) {
  (void)argv0;  // in the system's code page, and the module's own name is exact anyway
  Path = ExeFolder();
}
