// The whole program as a player runs it, in a real X server: start-up to the first frame on
// screen, then CPU time and resident memory while stage 4 is played for 20 s on the real clock.
//   program_bench LAUNCH_NS PROGRAM_FOLDER     (started by program_bench.sh, which sets up Xvfb)
// LAUNCH_NS is CLOCK_REALTIME in nanoseconds taken just before the program was started.
//   program_bench baseline SECONDS             a minimal SDL program: a fixed 640x480 picture
//                                              presented 33 times a second; prints its CPU %
//   program_bench floor SECONDS                the least any program with the game's timers and
//                                              sound device costs: a picture shown once, the
//                                              sound device open, a bare wake every 10 ms; its CPU %
//   program_bench title|ending SECONDS FOLDER  the title screen or the closing words, left alone;
//                                              prints the CPU % (and, given ZORBILO_BASELINE_CPU
//                                              and ZORBILO_FLOOR_CPU, the ratios)
#include <SDL.h>
#include <SDL_mixer.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/App.h"
#include "game/shell/fMain.h"
#include "platform/testing.h"
#include "tools/bot/Bot.h"

namespace {

int64_t NowNs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// User plus system time of the whole process (every thread: the mixer and synthesiser too).
double CpuSeconds() {
  std::ifstream in("/proc/self/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream rest(all.substr(all.rfind(')') + 2));  // fields after the command name
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double StatusMb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::string(key).size()) / 1024.0;
  return -1;
}

// CPU seconds of the whole process, to the microsecond.
double CpuPrecise() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// What the title screen is measured against: the least a program can do to keep a 640x480
// picture on screen at the game's frame rate, through the same path (a window surface).
int Baseline(double seconds) {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Window* w = SDL_CreateWindow("baseline", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640,
                                   480, SDL_WINDOW_SHOWN);
  SDL_Surface* s = w ? SDL_GetWindowSurface(w) : nullptr;
  if (!s) return 1;
  for (int y = 0; y < s->h; ++y)
    for (int x = 0; x < s->w; ++x)
      static_cast<uint32_t*>(s->pixels)[y * s->pitch / 4 + x] =
          ((x / 32 + y / 32) % 2) ? 0x9FCFEF : 0xBFE3F7;
  const double cpu0 = CpuPrecise();
  const int64_t t0 = NowNs(CLOCK_MONOTONIC);
  int64_t next = t0;
  while (NowNs(CLOCK_MONOTONIC) - t0 < int64_t(seconds * 1e9)) {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
    }
    SDL_UpdateWindowSurface(w);
    next += 30'000'000;
    const int64_t wait = next - NowNs(CLOCK_MONOTONIC);
    if (wait > 0) SDL_Delay(static_cast<Uint32>(wait / 1'000'000));
  }
  const double pct = 100.0 * (CpuPrecise() - cpu0) / (double(NowNs(CLOCK_MONOTONIC) - t0) / 1e9);
  std::printf("%.3f\n", pct);
  SDL_DestroyWindow(w);
  SDL_Quit();
  return 0;
}

// What a still screen cannot go below: the game's timers wake it a hundred times a second (the
// refresh every 10 ms, the frame on every third), and the sound device's thread wakes for every
// buffer it mixes, silence included. Where a wake-up is dear (a virtual machine), these alone
// can cost more than the whole baseline above.
int Floor(double seconds) {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return 1;
  SDL_Window* w = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640,
                                   480, SDL_WINDOW_SHOWN);
  SDL_Surface* s = w ? SDL_GetWindowSurface(w) : nullptr;
  if (!s) return 1;
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0x9F, 0xCF, 0xEF));
  SDL_UpdateWindowSurface(w);
  const bool audio = Mix_OpenAudio(44100, AUDIO_F32SYS, 2, 512) == 0;  // as the game opens it
  const double cpu0 = CpuPrecise();
  const int64_t t0 = NowNs(CLOCK_MONOTONIC);
  int64_t next = t0;
  while (NowNs(CLOCK_MONOTONIC) - t0 < int64_t(seconds * 1e9)) {
    next += 10'000'000;
    const timespec due{static_cast<time_t>(next / 1'000'000'000), static_cast<long>(next % 1'000'000'000)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
  }
  const double pct = 100.0 * (CpuPrecise() - cpu0) / (double(NowNs(CLOCK_MONOTONIC) - t0) / 1e9);
  std::printf("%.3f\n", pct);
  if (audio) Mix_CloseAudio();
  SDL_DestroyWindow(w);
  SDL_Quit();
  return 0;
}

// A still screen left alone for a while, through the program's own loop: the title, or the
// closing words of master's mode (which stay until Esc).
int StillScreen(const std::string& which, double seconds, const char* folder) {
  App.Path = folder;
  fMain f;
  f.Form_Load();
  if (!f.hWnd) return 1;
  if (which == "ending") {
    f.gameState = 4;
    f.gameMode = 2;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  platform::DoEvents();  // settle: first frames, sounds opened
  const uint64_t presents0 = platform::PresentCount();
  double cpu = 0, wall = 0;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    platform::PostToMainThread([&f] { f.Unload(); });
  });
  const double cpu0 = CpuPrecise();
  const int64_t t0 = NowNs(CLOCK_MONOTONIC);
  platform::RunMessageLoop(f);
  wall = double(NowNs(CLOCK_MONOTONIC) - t0) / 1e9;
  cpu = CpuPrecise() - cpu0;
  stopper.join();
  const double pct = 100.0 * cpu / wall;
  const uint64_t presents = platform::PresentCount() - presents0;
  const char* name = which == "ending" ? "closing words" : "title screen";
  std::printf("%s for %.1f s: CPU %.3f %% of one core, %llu frames presented\n", name, wall, pct,
              static_cast<unsigned long long>(presents));
  if (const char* base = std::getenv("ZORBILO_BASELINE_CPU"); base && std::atof(base) > 0)
    std::printf("%s / a program presenting a fixed picture 33 times a second (%.3f %%): %.2f\n",
                name, std::atof(base), pct / std::atof(base));
  double floor = 0;
  if (const char* f = std::getenv("ZORBILO_FLOOR_CPU"); f && std::atof(f) > 0) {
    floor = std::atof(f);
    std::printf("%s / the same timers and sound device doing nothing (%.3f %%): %.2f\n", name,
                floor, pct / floor);
  }
  // 1 %, or, where the wake-ups alone cost more, no more than half as much again as they do.
  const double limit = std::max(1.0, 1.5 * floor);
  std::printf("%s: limit %.2f %% (1 %%, or the floor and half as much again)\n", name, limit);
  return pct <= limit ? 0 : 1;
}

bool AnyPixelDrawn(HDC dc) {
  for (int y = 0; y < 480; y += 16)
    for (int x = 0; x < 640; x += 16)
      if (GetPixel(dc, x, y) != 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "baseline") return Baseline(std::atof(argv[2]));
  if (argc == 3 && std::string(argv[1]) == "floor") return Floor(std::atof(argv[2]));
  if (argc == 4 && (std::string(argv[1]) == "title" || std::string(argv[1]) == "ending"))
    return StillScreen(argv[1], std::atof(argv[2]), argv[3]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s LAUNCH_NS PROGRAM_FOLDER\n", argv[0]);
    return 2;
  }
  const int64_t launched = std::atoll(argv[1]);
  App.Path = argv[2];
  fMain f;
  f.Form_Load();
  if (!f.hWnd) {
    std::fprintf(stderr, "program_bench: no window (is DISPLAY set?)\n");
    return 1;
  }
  // What the message loop does, turn by turn, until a frame has reached the window.
  while (!AnyPixelDrawn(f.hDC)) {
    platform::DoEvents();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const double startupMs = double(NowNs(CLOCK_REALTIME) - launched) / 1e6;

  // Stages 1-3 on the manual clock (the bench is about stage 4), then the real clock again.
  platform::UseManualClock(1'000'000);
  if (!bot::PlayTo(f, 4)) {
    std::fprintf(stderr, "program_bench: the bot did not reach stage 4\n");
    return 1;
  }
  platform::UseRealClock();

  // A player swats about once a second; the stage has 100 flies and 80 s, so it lasts the run.
  constexpr int kSeconds = 20;
  double rss = 0, peak = 0;
  int32_t stageAtEnd = 0, stateAtEnd = 0, fliesAtEnd = 0;
  std::thread player([&] {
    for (int s = 0; s < kSeconds; ++s) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      platform::PostToMainThread([&f] {
        int x, y;
        if (f.gameState == 1 && bot::AimAtAFly(f, x, y)) {
          PostMessageA(f.hWnd, WM_LBUTTONDOWN, 0, bot::At(x, y));
          PostMessageA(f.hWnd, WM_LBUTTONUP, 0, bot::At(x, y));
        }
      });
    }
    platform::PostToMainThread([&] {
      rss = StatusMb("VmRSS:");
      peak = StatusMb("VmHWM:");
      stageAtEnd = f.stage;
      stateAtEnd = f.gameState;
      fliesAtEnd = f.fliesLeft;
      f.Unload();
    });
  });
  const double rssStart = StatusMb("VmRSS:");
  const double cpu0 = CpuSeconds();
  const int64_t wall0 = NowNs(CLOCK_MONOTONIC);
  platform::RunMessageLoop(f);  // the program's own loop, until the player's last message
  const double wall = double(NowNs(CLOCK_MONOTONIC) - wall0) / 1e9;
  const double cpu = CpuSeconds() - cpu0;
  player.join();
  const bool stillPlaying = stateAtEnd == 1 && stageAtEnd == 4;

  const double cpuPct = 100.0 * cpu / wall;
  std::printf("start-up to the first frame: %.1f ms (limit 300)\n", startupMs);
  std::printf("stage 4 for %.1f s: CPU %.2f %% of one core (limit 5 %%), %d flies left\n", wall,
              cpuPct, fliesAtEnd);
  std::printf("resident memory: %.1f MB at the start of the stage, %.1f MB after, peak %.1f MB "
              "(limit 80)\n", rssStart, rss, peak);
  const bool ok = startupMs < 300 && cpuPct < 5 && peak < 80 && stillPlaying;
  if (!stillPlaying) std::printf("the stage ended during the run\n");
  return ok ? 0 : 1;
}
