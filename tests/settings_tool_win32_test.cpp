// The native Windows settings dialog against hand-written settings files: the same design
// table and file cases as the Qt dialog's tests, with the controls found by their ids and
// their states read back through the Win32 API. Runs under Wine in CI.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/App.h"
#include "common/Settings.h"
#include "settings-tool/win32/fMain.h"
#include "settings_tool_cases.h"

namespace {

namespace fs = std::filesystem;

std::wstring Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Utf8(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring Text(HWND w) {
  std::wstring s(GetWindowTextLengthW(w) + 1, L'\0');
  s.resize(GetWindowTextW(w, s.data(), static_cast<int>(s.size())));
  return s;
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return tool_cases::kMissing;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool Checked(HWND b) {
  return SendMessageW(b, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// W or F (window, full screen), L or R (left, right), and the check box as the shared cases
// number it: 0 unchecked, 1 grayed, 2 checked.
std::string Shown(const fMain& f) {
  std::string s;
  // Exactly one option of a frame is selected; anything else shows as '?'.
  auto pick = [](HWND a, char ca, HWND b, char cb) {
    return Checked(a) == Checked(b) ? '?' : Checked(a) ? ca : cb;
  };
  s += pick(f.optFullScreen, 'F', f.optWindow, 'W');
  s += pick(f.optRight, 'R', f.optLeft, 'L');
  const LRESULT c = SendMessageW(f.chkShowFPS, BM_GETCHECK, 0, 0);
  s += c == BST_UNCHECKED ? '0' : c == BST_INDETERMINATE ? '1' : c == BST_CHECKED ? '2' : '?';
  return s;
}

// Clicks controls by letter, as the mouse does: w f (screen), l r (button), c (check box).
void Click(const fMain& f, const std::string& which) {
  for (char c : which) {
    HWND b = c == 'w'   ? f.optWindow
             : c == 'f' ? f.optFullScreen
             : c == 'l' ? f.optLeft
             : c == 'r' ? f.optRight
                        : f.chkShowFPS;
    SendMessageW(b, BM_CLICK, 0, 0);
  }
  fMain::DoEvents();
}

// A key pressed on the control that has the focus, through the dialog's own message handling.
void Press(WPARAM key) {
  HWND to = GetFocus();
  PostMessageW(to, WM_KEYDOWN, key, 1);
  PostMessageW(to, WM_KEYUP, key, 0xC0000001);
  fMain::DoEvents();
}

class SettingsToolWin32 : public ::testing::Test {
 protected:
  fs::path dir, ini;

  void SetUp() override {
    wchar_t tmp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, tmp);
    dir = fs::path(tmp) / (L"zorbilo-tool-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(GetTickCount()));
    fs::create_directories(dir);
    App.Path = Utf8(dir.wstring());
    ini = dir / L"Zorbilo.ini";
  }
  void TearDown() override {
    std::error_code ec;
    if (fs::exists(ini)) SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir, ec);
  }
};

TEST_F(SettingsToolWin32, TheDialogAsDesigned) {
  fMain f;  // no file: the design's own states stay
  ASSERT_TRUE(f.hWnd);
  EXPECT_EQ(Utf8(Text(f.hWnd)), "Zorbilo 設定");
  auto px = [&](int twips) { return MulDiv(twips, static_cast<int>(f.dpi), 1440); };
  RECT client{};
  GetClientRect(f.hWnd, &client);
  EXPECT_EQ(client.right, px(tool_cases::kClientWidthTwips));
  EXPECT_EQ(client.bottom, px(tool_cases::kClientHeightTwips));
  // A fixed dialog with a close button: no resizing border, no maximise box.
  const LONG_PTR style = GetWindowLongPtrW(f.hWnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));

  // Its own icon at both sizes.
  for (auto [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
    HICON icon = reinterpret_cast<HICON>(SendMessageW(f.hWnd, WM_GETICON, which, 0));
    ASSERT_TRUE(icon) << which;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, MulDiv(GetSystemMetrics(metric), f.dpi, 96)) << which;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }

  // Each control by id in its container: kind, caption, and position at 15 twips a pixel.
  HWND const members[] = {f.frameScreen, f.optWindow, f.optFullScreen, f.frameButton,
                          f.optLeft,     f.optRight,  f.chkShowFPS,    f.btnOK};
  const int ids[] = {kIdFrameScreen, kIdOptWindow, kIdOptFullScreen, kIdFrameButton,
                     kIdOptLeft,     kIdOptRight,  kIdChkShowFPS,    kIdBtnOK};
  const LONG kinds[] = {BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_AUTORADIOBUTTON,
                        BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_AUTORADIOBUTTON,
                        BS_3STATE,   BS_DEFPUSHBUTTON};
  int i = 0;
  for (const tool_cases::Control& c : tool_cases::kDesign) {
    SCOPED_TRACE(c.name);
    HWND container = !*c.container                               ? f.hWnd
                     : std::string(c.container) == "frameScreen" ? f.frameScreen
                                                                 : f.frameButton;
    HWND w = GetDlgItem(container, ids[i]);
    ASSERT_TRUE(w);
    EXPECT_EQ(w, members[i]);
    EXPECT_EQ(GetParent(w), container);
    wchar_t cls[32];
    GetClassNameW(w, cls, 32);
    EXPECT_EQ(_wcsicmp(cls, L"Button"), 0);
    EXPECT_EQ(GetWindowLongPtrW(w, GWL_STYLE) & BS_TYPEMASK, kinds[i]);
    EXPECT_EQ(Utf8(Text(w)), c.caption);
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, container, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, px(c.left));
    EXPECT_EQ(r.top, px(c.top));
    EXPECT_EQ(r.right - r.left, px(c.width));
    EXPECT_EQ(r.bottom - r.top, px(c.height));
    ++i;
  }
  EXPECT_EQ(Shown(f), "WL0");

  // Tab order is the order of the windows, frames entered: the table's order.
  std::vector<HWND> order;
  for (HWND w = GetWindow(f.hWnd, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    order.push_back(w);
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) order.push_back(c);
  }
  EXPECT_EQ(order, std::vector<HWND>(std::begin(members), std::end(members)));
}

// Tab goes round the controls in the table's order; in a frame it stops at the selected option
// only, as everywhere on Windows (the arrow keys move between the options).
TEST_F(SettingsToolWin32, TabGoesRoundInOrder) {
  fMain f;
  f.Show();
  auto round = [&] {
    std::vector<HWND> order{GetFocus()};
    for (int i = 0; i < 4; ++i) {
      Press(VK_TAB);
      order.push_back(GetFocus());
    }
    return order;
  };
  EXPECT_EQ(round(),
            (std::vector<HWND>{f.optWindow, f.optLeft, f.chkShowFPS, f.btnOK, f.optWindow}));
  Click(f, "fr");
  SetFocus(f.btnOK);
  Press(VK_TAB);
  EXPECT_EQ(round(), (std::vector<HWND>{f.optFullScreen, f.optRight, f.chkShowFPS, f.btnOK,
                                        f.optFullScreen}));
  // An arrow key selects the frame's other option.
  SetFocus(f.optFullScreen);
  Press(VK_LEFT);
  EXPECT_EQ(GetFocus(), f.optWindow);
  EXPECT_EQ(Shown(f), "WR0");

  // A dialog opened on full screen starts on that option.
  Spit(ini, "[Setting]\nFullScreen=1\n");
  fMain g;
  g.Show();
  EXPECT_EQ(GetFocus(), g.optFullScreen);
}

TEST_F(SettingsToolWin32, OptionsExcludeEachOtherOnlyWithinTheirFrame) {
  fMain f;
  f.Show();
  Click(f, "f");
  EXPECT_EQ(Shown(f), "FL0");
  Click(f, "r");
  EXPECT_EQ(Shown(f), "FR0");
  Click(f, "w");
  EXPECT_EQ(Shown(f), "WR0");
}

TEST_F(SettingsToolWin32, OpenClickOk) {
  for (const auto& c : tool_cases::OpenClickOkCases()) {
    SCOPED_TRACE(c.name);
    if (c.before != tool_cases::kMissing) Spit(ini, c.before);
    fMain f;
    f.Show();
    EXPECT_EQ(Shown(f), c.shown);
    Click(f, c.clicks);
    f.btnOK_Click();
    EXPECT_FALSE(f.hWnd);
    EXPECT_EQ(Slurp(ini), c.after);
    std::error_code ec;
    fs::remove(ini, ec);
  }
}

TEST_F(SettingsToolWin32, GrayedBoxTurnsTwoStateWhenClicked) {
  Spit(ini, "[Setting]\nShowFPS=2\n");
  fMain f;
  f.Show();
  std::string states;
  for (int i = 0; i < 4; ++i) {
    states += Shown(f).back();
    Click(f, "c");
  }
  EXPECT_EQ(states, "1202");  // grayed, checked, unchecked, checked: never grayed again
  // The space bar clicks it the same way.
  SetFocus(f.chkShowFPS);
  Press(VK_SPACE);
  EXPECT_EQ(Shown(f).back(), '2');
}

TEST_F(SettingsToolWin32, ClosingWithoutOkChangesNothing) {
  const std::string before = "[Setting]\nRClick=1\nNoLayer=1\n";
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    Spit(ini, before);
    fMain f;
    f.Show();
    Click(f, "flc");
    if (how == 0) SendMessageW(f.hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close button
    if (how == 1) Press(VK_ESCAPE);
    if (how == 2) SendMessageW(f.hWnd, WM_CLOSE, 0, 0);  // Alt+F4, the taskbar
    fMain::DoEvents();
    EXPECT_FALSE(f.hWnd);
    EXPECT_EQ(Slurp(ini), before);
  }
  fs::remove(ini);
  {
    fMain f;
    SendMessageW(f.hWnd, WM_CLOSE, 0, 0);
  }
  EXPECT_FALSE(fs::exists(ini));
}

TEST_F(SettingsToolWin32, PressingOkOrEnterWritesAndCloses) {
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    fMain f;
    f.Show();
    Click(f, how == 0 ? "f" : "r");
    if (how == 0) {
      SendMessageW(f.btnOK, BM_CLICK, 0, 0);
    } else {
      // Enter on any control confirms: OK is the default button.
      SetFocus(how == 1 ? f.optRight : f.chkShowFPS);
      Press(VK_RETURN);
    }
    fMain::DoEvents();
    EXPECT_FALSE(f.hWnd);
  }
  EXPECT_EQ(Slurp(ini), "[Setting]\r\nFullScreen=1\r\nRClick=1\r\n");
}

TEST_F(SettingsToolWin32, ReadOnlyFileFailsSilently) {
  const std::string before = "[Setting]\r\nFullScreen=1\r\nRClick=1\r\nNoLayer=1\r\n";
  Spit(ini, before);
  SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY);
  fMain f;
  f.Show();
  EXPECT_EQ(Shown(f), "FR0");
  Click(f, "wlc");
  f.btnOK_Click();
  EXPECT_FALSE(f.hWnd);  // closes as usual
  EXPECT_EQ(Slurp(ini), before);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir)) left.push_back(Utf8(e.path().filename()));
  EXPECT_EQ(left, std::vector<std::string>{"Zorbilo.ini"});
}

TEST_F(SettingsToolWin32, WhatTheToolWritesTheGameReads) {
  for (int i = 0; i < 8; ++i) {
    const bool full = i & 1, right = i & 2, fps = i & 4;
    Spit(ini, "[Setting]\r\nFullScreen=-1\r\nNoLayer=1\r\nShowFPS=2\r\nRClick=9\r\n");
    {
      fMain f;
      f.Show();
      Click(f, std::string(full ? "f" : "w") + (right ? "r" : "l") + (fps ? "" : "cc"));
      f.btnOK_Click();
    }
    EXPECT_EQ(settings::IsOn(settings::Read(settings::kFullScreen)), full);
    EXPECT_EQ(settings::IsOn(settings::Read(settings::kRClick)), right);
    EXPECT_EQ(settings::IsOn(settings::Read(settings::kShowFPS)), fps);
    EXPECT_EQ(settings::Read(settings::kNoLayer), 1);
    fMain again;
    EXPECT_EQ(Shown(again),
              std::string(full ? "F" : "W") + (right ? "R" : "L") + (fps ? "2" : "0"));
  }
}

// Moved to a monitor of another scale, the dialog is laid out anew from its twips: sharp and
// the same size in inches at 150 % and 200 %.
TEST_F(SettingsToolWin32, FollowsTheMonitorsScale) {
  fMain f;
  f.Show();
  for (UINT dpi : {144u, 192u, 96u}) {
    SCOPED_TRACE(dpi);
    RECT suggested{100, 80, 100 + 600, 80 + 500};
    SendMessageW(f.hWnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(f.dpi, dpi);
    RECT client{};
    GetClientRect(f.hWnd, &client);
    EXPECT_EQ(client.right, tool_cases::kClientWidthTwips * static_cast<int>(dpi) / 1440);
    EXPECT_EQ(client.bottom, tool_cases::kClientHeightTwips * static_cast<int>(dpi) / 1440);
    RECT window{};
    GetWindowRect(f.hWnd, &window);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.top, 80);
    RECT ok{};
    GetWindowRect(f.btnOK, &ok);
    MapWindowPoints(HWND_DESKTOP, f.hWnd, reinterpret_cast<POINT*>(&ok), 2);
    EXPECT_EQ(ok.left, 2100 * static_cast<int>(dpi) / 1440);
    EXPECT_EQ(ok.bottom - ok.top, 330 * static_cast<int>(dpi) / 1440);
    // The captions' font grows with the scale.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(f.optWindow, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    ASSERT_TRUE(font && GetObjectW(font, sizeof lf, &lf));
    EXPECT_NEAR(std::abs(lf.lfHeight), 12.0 * dpi / 96, 3.0 * dpi / 96);
  }
}

// The program file carries its icon (32 and 16 pixels) and its version record.
TEST(SettingsToolWin32Program, IconAndVersionRecord) {
  // The build's path as Wine sees it: its root folder is drive Z:.
  std::string exe = ZORBILO_TOOL_EXE;
  if (!exe.empty() && exe[0] == '/') exe = "Z:" + exe;
  const std::wstring path = Wide(exe);
  HMODULE m = LoadLibraryExW(path.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(m) << exe;
  for (int size : {32, 16}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(m, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_TRUE(icon) << size;
    const int id = LookupIconIdFromDirectoryEx(
        static_cast<BYTE*>(LockResource(LoadResource(
            m, FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))))),  // RT_GROUP_ICON
        TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));  // RT_ICON
    ASSERT_TRUE(r);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(m, r)));
    EXPECT_EQ(header->biWidth, size);  // an image made for this size, not a scaled one
    DestroyIcon(icon);
  }
  // The manifest that gives it the UTF-8 code page and per-monitor DPI awareness.
  HRSRC mr = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_TRUE(mr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(m, mr))),
                             SizeofResource(m, mr));
  EXPECT_NE(manifest.find(">UTF-8</activeCodePage>"), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2"), std::string::npos);
  FreeLibrary(m);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(fixed->dwFileVersionMS, (0u << 16) | 10u);
  EXPECT_EQ(fixed->dwFileVersionLS, (1u << 16) | 0u);
  wchar_t* text = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\041104B0\\FileVersion",
                             reinterpret_cast<void**>(&text), &len));
  EXPECT_EQ(Utf8(text), "0.10.1");
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\041104B0\\FileDescription",
                             reinterpret_cast<void**>(&text), &len));
  EXPECT_EQ(Utf8(text), "Zorbilo 設定");
}

}  // namespace
