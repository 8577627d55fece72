// The sound module: the command texts it sends (seen through the command log), its channel table,
// and the music loop through the window hook, on the real mixer with the dummy audio driver.
#include "game/sound/Sound.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "media_files.h"
#include "platform/mMain.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace media_files;

// Half a second of music: one quarter note.
std::vector<uint8_t> MakeMid() {
  return Tune(1);
}

// The game form's own window procedure, as far as the hook can tell: it records what reaches it
// and answers with a value of its own.
struct Seen {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen>* gSeen = nullptr;
WNDPROC gRuntimeProc = nullptr;

LRESULT GameProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (gSeen) gSeen->push_back({msg, wp, lp});
  if (msg >= 0x8000) return static_cast<LRESULT>(msg) * 3 + static_cast<LRESULT>(wp);
  return CallWindowProcA(gRuntimeProc, w, msg, wp, lp);
}

using Log = std::vector<MciLogEntry>;

std::vector<std::string> Texts(const Log& log, size_t from = 0) {
  std::vector<std::string> t;
  for (size_t i = from; i < log.size(); ++i) t.push_back(log[i].command);
  return t;
}

class Sound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(hookWnd, nullptr) << "an earlier test left the hook installed";
    ASSERT_NE(form.hWnd, nullptr);
    gRuntimeProc = reinterpret_cast<WNDPROC>(
        SetWindowLongA(form.hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&GameProc)));
    gSeen = &seen;
    mciSetLog(&log);
  }
  void TearDown() override {
    SoundTerm();
    mciSetLog(nullptr);
    gSeen = nullptr;
  }
  void Init() {
    SoundInit(form.hWnd);
    log.clear();
  }
  std::string Missing(int n) const {
    return folder.path() + "/missing-" + std::to_string(n) + ".wav";
  }
  bool PumpUntil(const std::function<bool()>& pred, double seconds) {
    auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
      platform::DoEvents();
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
  }
  size_t CountCommand(const std::string& text) const {
    size_t n = 0;
    for (const MciLogEntry& e : log) n += e.command == text;
    return n;
  }

  platform::Form form;
  TempDir folder;
  Log log;
  std::vector<Seen> seen;
};

TEST_F(Sound, NothingOpensBeforeTheHook) {
  EXPECT_EQ(SoundOpen(Missing(1), 0), 0);
  EXPECT_EQ(SoundOpen(Missing(2), 3), 0);
  MusicPlay(folder.path() + "/BGM.mid");
  MusicPlay("");
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(soundCount, 0);
  SoundTerm();  // nothing to undo
  EXPECT_TRUE(log.empty());
}

TEST_F(Sound, StartUpOpensTheFiveEffectsInOrder) {
  Init();
  const std::string dir = folder.path();
  EXPECT_EQ(SoundOpen(dir + "/START.wav", 0), 1);
  EXPECT_EQ(SoundOpen(dir + "/SWAT.wav", 3), 2);
  EXPECT_EQ(SoundOpen(dir + "/MISS.wav", 3), 3);
  EXPECT_EQ(SoundOpen(dir + "/CLEAR.wav", 0), 4);
  EXPECT_EQ(SoundOpen(dir + "/TIMEUP.wav", 0), 5);
  const std::vector<std::string> expected = {
      "open \"" + dir + "/START.wav\" alias sound_1",
      "open \"" + dir + "/SWAT.wav\" alias sound_2_0",
      "open \"" + dir + "/SWAT.wav\" alias sound_2_1",
      "open \"" + dir + "/SWAT.wav\" alias sound_2_2",
      "open \"" + dir + "/SWAT.wav\" alias sound_2_3",
      "open \"" + dir + "/MISS.wav\" alias sound_3_0",
      "open \"" + dir + "/MISS.wav\" alias sound_3_1",
      "open \"" + dir + "/MISS.wav\" alias sound_3_2",
      "open \"" + dir + "/MISS.wav\" alias sound_3_3",
      "open \"" + dir + "/CLEAR.wav\" alias sound_4",
      "open \"" + dir + "/TIMEUP.wav\" alias sound_5",
  };
  EXPECT_EQ(Texts(log), expected);
  for (const MciLogEntry& e : log) EXPECT_EQ(e.callback, nullptr) << e.command;
  // The files are missing, and the channels are registered all the same.
  EXPECT_EQ(soundCount, 5);
  EXPECT_EQ(soundFile[2], dir + "/SWAT.wav");
  EXPECT_EQ(soundTopLayer[2], 3);
  EXPECT_EQ(soundLastLayer[2], 3);
  EXPECT_EQ(soundTopLayer[1], 0);
}

TEST_F(Sound, OpenRefusesEmptyAndRepeatedNames) {
  Init();
  EXPECT_EQ(SoundOpen("", 0), 0);
  EXPECT_EQ(SoundOpen("", 3), 0);
  EXPECT_TRUE(log.empty());
  std::string path = folder.path() + "/Swat.wav";
  ASSERT_EQ(SoundOpen(path, 3), 1);
  log.clear();
  // The same name again: 0, not the id that holds it, and that channel unchanged.
  EXPECT_EQ(SoundOpen(path, 0), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(soundTopLayer[1], 3);
  EXPECT_EQ(soundCount, 1);
  // Names are compared exactly: another letter case is another channel.
  EXPECT_EQ(SoundOpen(folder.path() + "/SWAT.wav", 0), 2);
  EXPECT_EQ(SoundOpen(folder.path() + "/swat.wav", 0), 3);
  EXPECT_EQ(FindChannel(path), 1);
  EXPECT_EQ(FindChannel(folder.path() + "/swat.wav"), 3);
  EXPECT_EQ(FindChannel(folder.path() + "/SWAt.wav"), 0);
}

TEST_F(Sound, TopLayersAreBoundedToTen) {
  Init();
  ASSERT_EQ(SoundOpen(Missing(1), 10), 1);
  ASSERT_EQ(Texts(log).size(), 11u);
  EXPECT_EQ(log.front().command, "open \"" + Missing(1) + "\" alias sound_1_0");
  EXPECT_EQ(log.back().command, "open \"" + Missing(1) + "\" alias sound_1_10");
  log.clear();
  ASSERT_EQ(SoundOpen(Missing(2), 11), 2);
  ASSERT_EQ(SoundOpen(Missing(3), 2147483647), 3);
  ASSERT_EQ(log.size(), 22u);
  EXPECT_EQ(log[10].command, "open \"" + Missing(2) + "\" alias sound_2_10");
  EXPECT_EQ(log[21].command, "open \"" + Missing(3) + "\" alias sound_3_10");
  EXPECT_EQ(soundTopLayer[2], 10);
  EXPECT_EQ(soundTopLayer[3], 10);
  EXPECT_EQ(soundLastLayer[3], 10);
}

TEST_F(Sound, NegativeTopLayerIsOnePlainAlias) {
  Init();
  std::string path = folder.Write("swat.wav", MakeWav(0.05));
  ASSERT_EQ(SoundOpen(path, -3), 1);
  EXPECT_EQ(Texts(log), std::vector<std::string>{"open \"" + path + "\" alias sound_1"});
  EXPECT_EQ(soundTopLayer[1], 0);
  EXPECT_EQ(soundLastLayer[1], 0);
  // The alias that was recorded is the one that exists.
  EXPECT_EQ(mciSendStringA("stop sound_1", nullptr, 0, nullptr), 0u);
  log.clear();
  SoundPlay(1);
  SoundClose(1);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"stop sound_1", "play sound_1 from 0",
                                                  "stop sound_1", "close sound_1"}));
  EXPECT_EQ(mciSendStringA("stop sound_1", nullptr, 0, nullptr), MCIERR_INVALID_DEVICE_NAME);
}

TEST_F(Sound, PlaysRotateOverTheLayers) {
  Init();
  std::string path = folder.Write("swat.wav", MakeWav(0.05));
  ASSERT_EQ(SoundOpen(path, 0), 1);
  ASSERT_EQ(SoundOpen(folder.Write("miss.wav", MakeWav(0.05)), 3), 2);
  log.clear();
  EXPECT_EQ(SoundPlay(1), 1);
  EXPECT_EQ(SoundPlay(1), 1);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"stop sound_1", "play sound_1 from 0",
                                                  "stop sound_1", "play sound_1 from 0"}));
  log.clear();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(SoundPlay(2), 2);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"stop sound_2_0", "play sound_2_0 from 0",  //
                                                  "stop sound_2_1", "play sound_2_1 from 0",  //
                                                  "stop sound_2_2", "play sound_2_2 from 0",  //
                                                  "stop sound_2_3", "play sound_2_3 from 0",  //
                                                  "stop sound_2_0", "play sound_2_0 from 0"}));
  EXPECT_EQ(soundLastLayer[2], 0);
  for (const MciLogEntry& e : log) EXPECT_EQ(e.callback, nullptr);
  // Every one of those commands reached a real, open alias.
  log.clear();
  EXPECT_EQ(SoundClose(2), 2);
  EXPECT_EQ(Texts(log),
            (std::vector<std::string>{"stop sound_2_0", "close sound_2_0", "stop sound_2_1",
                                      "close sound_2_1", "stop sound_2_2", "close sound_2_2",
                                      "stop sound_2_3", "close sound_2_3"}));
  EXPECT_EQ(soundFile[2], "");
  EXPECT_EQ(soundTopLayer[2], 0);
}

TEST_F(Sound, BadChannelsSendNothing) {
  Init();
  ASSERT_EQ(SoundOpen(Missing(1), 0), 1);
  ASSERT_EQ(SoundOpen(Missing(2), 0), 2);
  ASSERT_EQ(SoundClose(2), 2);
  log.clear();
  for (int32_t id : {0, -1, 2, 3, 1001, -2147483647 - 1, 2147483647}) {
    EXPECT_TRUE(IsBadChannel(id)) << id;
    EXPECT_EQ(SoundPlay(id), 0) << id;
    EXPECT_EQ(SoundClose(id), 0) << id;
  }
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(IsBadChannel(1));
  // A missing file still gives a channel, and playing it is silent and harmless.
  EXPECT_EQ(SoundPlay(1), 1);
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(Sound, AThousandChannelsAndAFreedSlot) {
  Init();
  for (int i = 1; i <= kSoundSlots; ++i) ASSERT_EQ(SoundOpen(Missing(i), 0), i);
  EXPECT_EQ(soundCount, 1000);
  log.clear();
  EXPECT_EQ(SoundOpen(Missing(1001), 0), 0);
  EXPECT_EQ(SoundOpen(Missing(1002), 3), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(SoundClose(7), 7);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"stop sound_7", "close sound_7"}));
  EXPECT_EQ(soundCount, 1000);
  EXPECT_EQ(FindChannel(""), 7);
  log.clear();
  EXPECT_EQ(SoundOpen(Missing(1001), 0), 7);
  EXPECT_EQ(Texts(log), std::vector<std::string>{"open \"" + Missing(1001) + "\" alias sound_7"});
  EXPECT_EQ(SoundOpen(Missing(1002), 0), 0);
  // SoundTerm closes every channel, each with its stop first.
  log.clear();
  SoundTerm();
  EXPECT_EQ(CountCommand("close sound_1000"), 1u);
  EXPECT_EQ(CountCommand("stop sound_7"), 1u);
  EXPECT_EQ(log.size(), 2000u + 2u);
  EXPECT_EQ(log[log.size() - 2].command, "stop sound_bgm");
  EXPECT_EQ(log.back().command, "close sound_bgm");
}

TEST_F(Sound, ASecondInitIsIgnored) {
  Init();
  ASSERT_EQ(SoundOpen(Missing(1), 3), 1);
  WNDPROC prev = prevWndProc;
  platform::Form other;
  LONG_PTR otherProc = GetWindowLongA(other.hWnd, GWL_WNDPROC);
  SoundInit(other.hWnd);
  EXPECT_EQ(hookWnd, form.hWnd);
  EXPECT_EQ(prevWndProc, prev);
  EXPECT_EQ(GetWindowLongA(other.hWnd, GWL_WNDPROC), otherProc);
  EXPECT_EQ(soundCount, 1);
  EXPECT_EQ(soundFile[1], Missing(1));
}

TEST_F(Sound, EveryMessageReachesTheGameProcedure) {
  Init();
  EXPECT_EQ(prevWndProc, &GameProc);
  auto proc = reinterpret_cast<WNDPROC>(GetWindowLongA(form.hWnd, GWL_WNDPROC));
  ASSERT_EQ(proc, &SoundWndProc);
  // Results come back unchanged.
  EXPECT_EQ(proc(form.hWnd, 0x8001, 5, 7), 0x8001 * 3 + 5);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].lParam, 7);
  // Notifications other than a natural end restart nothing, and still reach the form.
  for (WPARAM code : {MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_ABORTED, MCI_NOTIFY_FAILURE})
    proc(form.hWnd, MM_MCINOTIFY, code, 1);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(seen.size(), 4u);
  // A natural end replays the music: stop, then play with the hooked window as callback.
  proc(form.hWnd, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 99);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].command, "stop sound_bgm");
  EXPECT_EQ(log[0].callback, nullptr);
  EXPECT_EQ(log[1].command, "play sound_bgm from 0 notify");
  EXPECT_EQ(log[1].callback, form.hWnd);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[4].msg, MM_MCINOTIFY);
  EXPECT_EQ(seen[4].lParam, 99);
  // Posted messages travel the same chain.
  PostMessageA(form.hWnd, 0x8002, 1, 2);
  platform::DoEvents();
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[5].msg, 0x8002u);
}

TEST_F(Sound, QuitTearsDownAndIsStillPassedOn) {
  Init();
  ASSERT_EQ(SoundOpen(Missing(1), 1), 1);
  log.clear();
  SoundWndProc(form.hWnd, WM_QUIT, 0, 0);
  EXPECT_EQ(Texts(log),
            (std::vector<std::string>{"stop sound_1_0", "close sound_1_0", "stop sound_1_1",
                                      "close sound_1_1", "stop sound_bgm", "close sound_bgm"}));
  EXPECT_EQ(hookWnd, nullptr);
  EXPECT_EQ(prevWndProc, &GameProc);  // kept, for a call still on its way
  EXPECT_EQ(GetWindowLongA(form.hWnd, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&GameProc));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].msg, WM_QUIT);
  EXPECT_EQ(SoundOpen(Missing(2), 0), 0);
  EXPECT_EQ(soundFile[1], "");
}

TEST_F(Sound, MusicCommandsInOrder) {
  Init();
  std::string bgm = folder.Write("BGM.mid", MakeMid());
  MusicPlay(bgm);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"stop sound_bgm", "close sound_bgm",
                                                  "open \"" + bgm + "\" alias sound_bgm",
                                                  "play sound_bgm from 0 notify"}));
  EXPECT_EQ(log[0].callback, nullptr);
  EXPECT_EQ(log[2].callback, nullptr);
  EXPECT_EQ(log[3].callback, form.hWnd);
  // Twice in a row: the second closes the first, and one piece is left.
  std::string final = folder.Write("FINAL.mid", MakeMid());
  MusicPlay(final);
  EXPECT_EQ(log.size(), 8u);
  EXPECT_EQ(log[6].command, "open \"" + final + "\" alias sound_bgm");
  EXPECT_EQ(mciSendStringA(("open \"" + bgm + "\" alias sound_bgm").c_str(), nullptr, 0, nullptr),
            MCIERR_DUPLICATE_ALIAS);
  // An empty name only stops.
  log.clear();
  MusicPlay("");
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"stop sound_bgm", "close sound_bgm"}));
  EXPECT_EQ(mciSendStringA("close sound_bgm", nullptr, 0, nullptr), MCIERR_INVALID_DEVICE_NAME);
}

TEST_F(Sound, MusicLoopsByItselfAndStopsForGood) {
#ifdef _WIN32
  // The system's sequencer ends a piece only by playing it to a MIDI device.
  if (midiOutGetNumDevs() == 0) GTEST_SKIP() << "no MIDI output device: the sequencer never ends a piece";
#endif
  Init();
  std::string bgm = folder.Write("BGM.mid", MakeMid());
  const std::string replay = "play sound_bgm from 0 notify";
  // The synthesiser and its font load in the background once the device opens (with the
  // effects, at start-up); a first piece waits for them. Waited out here, once.
  mciSendStringA(("open \"" + folder.Write("warm.mid", MakeMid()) + "\" alias warm").c_str(),
                 nullptr, 0, nullptr);
  mciSendStringA("play warm from 0 notify", nullptr, 0, form.hWnd);
  PumpUntil(
      [&] {
        for (const Seen& m : seen)
          if (m.msg == MM_MCINOTIFY) return true;
        return false;
      },
      15.0);
  mciSendStringA("close warm", nullptr, 0, nullptr);
  log.clear();
  seen.clear();
  MusicPlay(bgm);  // the piece itself still loads on the helper: the clock starts with the play
  auto start = Clock::now();
  ASSERT_EQ(CountCommand(replay), 1u);
  // The piece ends by itself after half a second and starts again through the hook.
  ASSERT_TRUE(PumpUntil([&] { return CountCommand(replay) == 2; }, 4.0));
  double first = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(first, 0.45);
  EXPECT_LT(first, 1.0);
  EXPECT_EQ(log[log.size() - 2].command, "stop sound_bgm");
  EXPECT_EQ(log.back().callback, form.hWnd);
  ASSERT_TRUE(PumpUntil([&] { return CountCommand(replay) == 3; }, 4.0));
  // The game form heard the natural ends too.
  size_t successes = 0;
  for (const Seen& s : seen)
    successes += s.msg == MM_MCINOTIFY && s.wParam == MCI_NOTIFY_SUCCESSFUL;
  EXPECT_EQ(successes, 2u);

  MusicStop();
  PumpUntil([] { return false; }, 1.5);
  EXPECT_EQ(CountCommand(replay), 3u);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().msg, MM_MCINOTIFY);
  EXPECT_EQ(seen.back().wParam, MCI_NOTIFY_ABORTED);
}

}  // namespace
