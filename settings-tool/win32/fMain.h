// The settings dialog on Windows: the same dialog as the Qt one, made of the system's own
// controls (Debian has no Qt for mingw, and a native dialog is what a Windows player expects).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Control ids: tests and accessibility tools find the controls by them. OK is IDOK, so the
// dialog manager's Enter reaches it as the default button; the option buttons' ids are looked
// up in their frame, which is their parent window.
enum : int {
  kIdFrameScreen = 101,
  kIdOptWindow = 102,
  kIdOptFullScreen = 103,
  kIdFrameButton = 104,
  kIdOptLeft = 105,
  kIdOptRight = 106,
  kIdChkShowFPS = 107,
  kIdBtnOK = IDOK,
};

class fMain {
 public:
  // Creates the dialog, hidden, and runs Form_Load, so it opens showing the file's settings.
  fMain();
  ~fMain();
  fMain(const fMain&) = delete;
  fMain& operator=(const fMain&) = delete;

  // Fills the controls from the settings file.
  void Form_Load();
  // Writes the three settings and closes the dialog.
  void btnOK_Click();

  // Shows the dialog with the focus on its first control.
  void Show();
  // Runs the dialog's messages until it is closed, by OK or any other way.
  void Run();
  // Handles the messages already waiting, then returns (tests step the dialog with it).
  static void DoEvents();

  // The window and its controls, in tab order; null once the window is gone.
  HWND hWnd = nullptr;
  HWND frameScreen = nullptr;
  HWND optWindow = nullptr;
  HWND optFullScreen = nullptr;
  HWND frameButton = nullptr;
  HWND optLeft = nullptr;
  HWND optRight = nullptr;
  HWND chkShowFPS = nullptr;
  HWND btnOK = nullptr;

  // The dots per inch the dialog is laid out for (96 is 100 %).
  UINT dpi = 96;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Layout(UINT newDpi, const RECT* suggested);

  HFONT font = nullptr;
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  HWND lastFocus = nullptr;
};
