// 設定 on Windows: shows the dialog; OK writes the file and ends the program.
#include <string>

#include "common/App.h"
#include "settings-tool/win32/fMain.h"

namespace {

// The program's own file name in UTF-8, whatever the system's code page.
std::string ModuleFileName() {
  std::wstring w(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, w.data(), static_cast<DWORD>(w.size()));
  w.resize(n < w.size() ? n : 0);
  const int len = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string s(len > 0 ? len : 0, '\0');
  if (len > 0)
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), len, nullptr,
                        nullptr);
  return s;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string self = ModuleFileName();
  App.Init(self.empty() ? nullptr : self.c_str());
  fMain form;  // Form_Load runs in the constructor, before the dialog shows
  if (!form.hWnd) return 1;
  form.Show();
  form.Run();
  return 0;
}
