// The form and control runtime over Win32: clock, timers, the message loop, forms, pictures and
// cursors.
//
// Timers keep a 30/10 ms grid, which WM_TIMER (15.6 ms steps) cannot: the loop sleeps on a
// high-resolution waitable timer set to the next due time, and wakes for input at once.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>

// clang-format off
// The layer's own header first: it gives the system's functions their own names here.
#include "platform/win32/internal.h"
#include "platform/timers.h"
// clang-format on

namespace platform::win32::detail {

std::vector<FormWindow*>& Forms() {
  static auto* forms = new std::vector<FormWindow*>();  // outlives static forms in tests
  return *forms;
}

FormWindow* FindForm(HWND hWnd) {
  if (!hWnd) return nullptr;
  for (FormWindow* w : Forms())
    if (w->hWnd == hWnd) return w;
  return nullptr;
}

namespace {

// ---- Clock -----------------------------------------------------------------------------------

// The performance counter: GetTickCount moves in the system's 15.6 ms steps, too coarse a clock
// for a 10 ms timer.
double RealNowPrecise() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// ---- Tasks from other threads ----------------------------------------------------------------

std::mutex taskMutex;
std::deque<std::function<void()>> tasks;

HANDLE WakeEvent() {
  static HANDLE ev = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return ev;
}

// The high-resolution timer where the system has one (Windows 10 1803 on); else a plain one
// with the system timer at 1 ms.
HANDLE LoopTimer() {
  static HANDLE timer = [] {
    HANDLE h = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                      TIMER_ALL_ACCESS);
    if (!h) {
      timeBeginPeriod(1);
      h = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    return h;
  }();
  return timer;
}

void RunTasks() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> lock(taskMutex);
    batch.swap(tasks);
  }
  for (auto& fn : batch) fn();
}

// Dispatches what the queue holds now: input, posted messages (MM_MCINOTIFY among them) and
// paint requests. Messages posted by a handler during this turn wait for the next one.
bool stopRequested = false;

void PumpMessages() {
  MSG msg;
  DWORD limit = 1000;  // a handler that posts to itself for ever cannot hold the loop
  while (limit-- && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      stopRequested = true;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  RunTasks();
}

// One turn without waiting: messages, then the timers that are due; what they drew is shown.
void Turn() {
  PumpMessages();
  if (platform::timers::FireDue(platform::timers::NowMs())) PresentAll();
}

BOOL WINAPI OnConsoleStop(DWORD) {
  // Ctrl+C in a console closes the game like its close button, on the loop's own thread.
  PostToMainThread([] { stopRequested = true; });
  return TRUE;
}

}  // namespace

}  // namespace platform::win32::detail

using namespace platform::win32::detail;

namespace platform::timers::backend {
double RealNowMs() {
  return RealNowPrecise();
}
void PumpAll() {
  PumpMessages();
}
void DeliverPosted() {
  PumpMessages();
}
void PresentAll() {
  platform::win32::detail::PresentAll();
}
}  // namespace platform::timers::backend

DWORD platform::win32::GetTickCount() {
  if (platform::timers::Manual()) return static_cast<DWORD>(platform::timers::ManualNowMs());
  return ::GetTickCount();
}

namespace platform {

void PostToMainThread(std::function<void()> fn) {
  if (!fn) return;
  {
    std::lock_guard<std::mutex> lock(taskMutex);
    tasks.push_back(std::move(fn));
  }
  SetEvent(WakeEvent());
}

void DoEvents() {
  Turn();
}

void Present() {
  PresentAll();
}

int RunMessageLoop(Form& form) {
  if (!form.hWnd) {
    MessageBoxW(nullptr, L"Zorbilo cannot open its window.", L"Zorbilo", MB_ICONERROR | MB_OK);
    return 1;
  }
  SetConsoleCtrlHandler(OnConsoleStop, TRUE);
  HANDLE handles[2] = {LoopTimer(), WakeEvent()};
  while (form.Loaded()) {
    Turn();
    if (stopRequested) {
      stopRequested = false;
      SendMessageW(form.hWnd, WM_CLOSE, 0, 0);
      continue;
    }
    if (!form.Loaded()) break;
    if (platform::timers::Manual()) {
      Sleep(1);
      continue;
    }
    // Sleep until the next timer is due or a message arrives; never spin.
    const double wait = platform::timers::MsUntilNextDue(RealNowPrecise(), 100);
    if (wait <= 0) continue;
    DWORD count = 1;
    if (handles[0]) {
      LARGE_INTEGER due;
      due.QuadPart = -static_cast<LONGLONG>(wait * 10000.0);  // relative, in 100 ns
      if (SetWaitableTimer(handles[0], &due, 0, nullptr, nullptr, FALSE)) count = 2;
    }
    if (count == 2)
      MsgWaitForMultipleObjectsEx(2, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    else
      MsgWaitForMultipleObjectsEx(1, handles + 1, static_cast<DWORD>(wait), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
  return 0;
}

}  // namespace platform
