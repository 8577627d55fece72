// The timers and the manual clock, shared by the back ends (see timers.h).
#include "platform/timers.h"

#include <algorithm>
#include <vector>

namespace platform::timers {

// The runtime's bookkeeping of each timer, which the game's view of a timer does not show.
struct Schedule {
  static uint64_t& Due(Timer& t) { return t.due_; }
  static bool& Armed(Timer& t) { return t.armed_; }
};

namespace {

bool manualClock = false;
uint64_t manualNow = 0;

std::vector<Timer*>& All() {
  static std::vector<Timer*> timers;
  return timers;
}

void Arm(Timer& t) {
  Schedule::Armed(t) = t.Enabled.get() && t.Interval.get() > 0;
  if (Schedule::Armed(t)) Schedule::Due(t) = NowMs() + static_cast<uint64_t>(t.Interval.get());
}

// The earliest armed timer due at or before limit (registration order breaks ties).
Timer* NextDue(uint64_t limit) {
  Timer* best = nullptr;
  for (Timer* t : All())
    if (Schedule::Armed(*t) && Schedule::Due(*t) <= limit &&
        (!best || Schedule::Due(*t) < Schedule::Due(*best)))
      best = t;
  return best;
}

void Fire(Timer& t, uint64_t now) {
  // Keep the grid; a tick more than an interval late starts a new grid from now.
  uint64_t interval = static_cast<uint64_t>(std::max<int32_t>(1, t.Interval.get()));
  Schedule::Due(t) += interval;
  if (Schedule::Due(t) <= now) Schedule::Due(t) = now + interval;
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
    if (Schedule::Armed(*t)) wait = std::min(wait, static_cast<double>(Schedule::Due(*t)) - nowMs);
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
    manualNow = std::max(manualNow, Schedule::Due(*t));
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
