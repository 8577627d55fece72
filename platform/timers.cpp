// The timers and the manual clock, shared by the back ends (see timers.h).
#include "platform/timers.h"

#include <algorithm>
#include <vector>

namespace platform::timers {

namespace {

bool manualClock = false;
uint64_t manualNow = 0;

std::vector<Timer*>& All() {
  static std::vector<Timer*> timers;
  return timers;
}

void Arm(Timer& t) {
  t.armed_ = t.Enabled.get() && t.Interval.get() > 0;
  if (t.armed_) t.due_ = NowMs() + static_cast<uint64_t>(t.Interval.get());
}

// The earliest armed timer due at or before limit (registration order breaks ties).
Timer* NextDue(uint64_t limit) {
  Timer* best = nullptr;
  for (Timer* t : All())
    if (t->armed_ && t->due_ <= limit && (!best || t->due_ < best->due_)) best = t;
  return best;
}

void Fire(Timer& t, uint64_t now) {
  // Keep the grid; a tick more than an interval late starts a new grid from now.
  uint64_t interval = static_cast<uint64_t>(std::max<int32_t>(1, t.Interval.get()));
  t.due_ += interval;
  if (t.due_ <= now) t.due_ = now + interval;
  if (t.Tick) t.Tick();
}

}  // namespace

uint64_t NowMs() {
  return manualClock ? manualNow : static_cast<uint64_t>(backend::RealNowMs());
}

bool Manual() {
  return manualClock;
}

uint64_t ManualNowMs() {
  return manualNow;
}

bool FireDue(uint64_t now) {
  // Earliest first. A fired timer's next tick lies past now, and a handler's changes (a timer
  // disabled, restarted or destroyed) are seen before the next pick, so each fires at most once.
  bool fired = false;
  while (Timer* t = NextDue(now)) {
    Fire(*t, now);
    backend::DeliverPosted();
    fired = true;
  }
  return fired;
}

double MsUntilNextDue(double nowMs, double cap) {
  double wait = cap;
  for (Timer* t : All())
    if (t->armed_) wait = std::min(wait, static_cast<double>(t->due_) - nowMs);
  return std::max(0.0, wait);
}

}  // namespace platform::timers

using namespace platform::timers;

namespace platform {

void UseManualClock(uint32_t ms) {
  manualClock = true;
  manualNow = ms;
  for (Timer* t : All()) Arm(*t);
}

bool UsingManualClock() {
  return manualClock;
}

void UseRealClock() {
  manualClock = false;
  for (Timer* t : All()) Arm(*t);
}

void AdvanceClock(uint32_t ms) {
  if (!manualClock) return;
  uint64_t target = manualNow + ms;
  backend::PumpAll();
  while (Timer* t = NextDue(target)) {
    manualNow = std::max(manualNow, t->due_);
    Fire(*t, manualNow);
    backend::DeliverPosted();
  }
  manualNow = target;
  backend::DeliverPosted();
  backend::PresentAll();
}

Timer::Timer(int32_t interval, bool enabled) : Interval(interval), Enabled(enabled) {
  Interval.bind([this](const int32_t&) { Arm(*this); });
  Enabled.bind([this](const bool&) { Arm(*this); });
  All().push_back(this);
  Arm(*this);
}

Timer::~Timer() {
  auto& all = All();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

}  // namespace platform
