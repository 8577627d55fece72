// The timer rules every back end follows, and the manual clock of the tests. Plain C++: the back
// end supplies its real clock and the turns of its message loop (the functions in `backend`).
//
// Each timer ticks at most once per interval and never queues missed ticks; ticks keep their grid
// unless a tick is more than an interval late; setting Interval or enabling restarts the
// countdown from now. Messages are delivered before due timers and after each tick.
#pragma once

#include <cstdint>

#include "platform/mMain.h"

namespace platform::timers {

// Milliseconds on the runtime's clock: the manual one while tests use it, else the real one.
uint64_t NowMs();
bool Manual();
// The manual clock's time, for GetTickCount.
uint64_t ManualNowMs();
// Fires every timer due at `now` once, earliest first, delivering messages after each.
// Returns whether any fired.
bool FireDue(uint64_t now);
// Milliseconds until the next armed timer is due on the real clock (0: one is due), at most cap.
double MsUntilNextDue(double nowMs, double cap);

}  // namespace platform::timers

// Provided by each back end.
namespace platform::timers::backend {
// A monotonic millisecond clock.
double RealNowMs();
// Handles pending input and posted messages.
void PumpAll();
// Delivers posted messages only (between timer ticks).
void DeliverPosted();
// Puts what was drawn on screen.
void PresentAll();
}  // namespace platform::timers::backend
