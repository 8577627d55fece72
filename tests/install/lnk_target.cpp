// Reads Windows shortcuts the way the shell does (IShellLinkW) and prints, for each, its
// target, arguments and icon as "target|arguments|icon,index", in UTF-8. The installer test
// runs it under Wine to see where the Start-menu entries point.
//   lnk_target FILE.lnk...
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  return s;
}

// The target from the link's item list, which holds the names in UTF-16 (the path that
// GetPath returns may have gone through the system's 8-bit code page on the way).
bool Target(IShellLinkW* link, wchar_t* out) {
  PIDLIST_ABSOLUTE items = nullptr;
  if (FAILED(link->GetIDList(&items)) || !items) return false;
  const bool ok = SHGetPathFromIDListW(items, out);
  CoTaskMemFree(items);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lnk_target FILE.lnk...\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = L"", args[1024] = L"", icon[MAX_PATH] = L"";
    int index = 0;
    const bool ok =
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(argv[i], STGM_READ)) && Target(link, target) &&
        SUCCEEDED(link->GetArguments(args, 1024)) &&
        SUCCEEDED(link->GetIconLocation(icon, MAX_PATH, &index));
    if (ok) {
      std::printf("%s|%s|%s,%d\n", Utf8(target).c_str(), Utf8(args).c_str(), Utf8(icon).c_str(),
                  index);
    } else {
      std::fprintf(stderr, "lnk_target: cannot read %s\n", Utf8(argv[i]).c_str());
      ++failures;
    }
    if (file) file->Release();
    if (link) link->Release();
  }
  CoUninitialize();
  return failures ? 1 : 0;
}
