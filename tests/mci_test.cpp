// The multimedia command interpreter: its grammar, its reading of MIDI timing, and its devices on
// the real SDL_mixer (dummy audio driver, which plays in real time: the pieces here are short).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "media_files.h"
#include "platform/mMain.h"
#include "platform/mci_wave.h"
#include "wave_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace media_files;

MCIERROR Send(const std::string& cmd, HWND cb = nullptr) {
  return mciSendStringA(cmd.c_str(), nullptr, 0, cb);
}

// ---- The devices on the real mixer -------------------------------------------------------------

struct Notice {
  WPARAM code;
  LPARAM device;
  double at;  // seconds since the fixture started its clock
};

std::vector<Notice>* gNotices = nullptr;
WNDPROC gPrev = nullptr;
Clock::time_point gStart;

LRESULT Recorder(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == MM_MCINOTIFY && gNotices)
    gNotices->push_back({wp, lp, std::chrono::duration<double>(Clock::now() - gStart).count()});
  return CallWindowProcA(gPrev, w, msg, wp, lp);
}

class MciDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(form.hWnd, nullptr);
    gPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongA(form.hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Recorder)));
    gNotices = &notices;
    wav = dir.Write("tone.wav", MakeWav(0.4));
    mid = dir.Write("tune.mid", Tune(1));  // 0.5 s
    // The synthesiser and its font load in the background when the device first opens; timings
    // here measure plays, so that load is waited out once.
    static bool warm = false;
    if (!warm) {
      warm = true;
      Send("open \"" + dir.Write("warm.mid", Tune(1)) + "\" alias warm");
      Send("play warm from 0 notify", form.hWnd);
      PumpUntil([&] { return !notices.empty(); }, 15.0);
      Send("close warm");
      notices.clear();
    }
    gStart = Clock::now();
  }
  void TearDown() override {
    for (const char* a : {"a", "b", "c", "x", "y", "m", "n"}) Send(std::string("close ") + a);
    Pump(0.05);
    gNotices = nullptr;
  }
  static double Now() { return std::chrono::duration<double>(Clock::now() - gStart).count(); }
  void Restart() {
    notices.clear();
    gStart = Clock::now();
  }
  // Runs the message loop until pred holds or the time is up.
  bool PumpUntil(const std::function<bool()>& pred, double seconds) {
    auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
      platform::DoEvents();
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    platform::DoEvents();
    return pred();
  }
  void Pump(double seconds) {
    PumpUntil([] { return false; }, seconds);
  }
  size_t Count(WPARAM code) const {
    size_t n = 0;
    for (const Notice& x : notices) n += x.code == code;
    return n;
  }

  platform::Form form;
  TempDir dir;
  std::string wav, mid;
  std::vector<Notice> notices;
};

TEST_F(MciDevices, AliasesAreNamesOfTheirOwn) {
  ASSERT_EQ(Send("open \"" + wav + "\" alias A"), 0u);
  EXPECT_EQ(Send("open \"" + wav + "\" alias a"), MCIERR_DUPLICATE_ALIAS);
  EXPECT_EQ(Send("open \"" + mid + "\" alias A"), MCIERR_DUPLICATE_ALIAS);
  EXPECT_EQ(Send("play nobody"), MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(Send("stop nobody"), MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(Send("close nobody"), MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(Send("frobnicate a"), MCIERR_UNRECOGNIZED_COMMAND);
  // A refused command changes nothing: the device is still there, and still the only one.
  EXPECT_NE(Send("close a now"), 0u);
  EXPECT_EQ(Send("stop A"), 0u);
  EXPECT_EQ(Send("close A"), 0u);
  EXPECT_EQ(Send("close a"), MCIERR_INVALID_DEVICE_NAME);
  // Closed, the name is free again.
  EXPECT_EQ(Send("open \"" + wav + "\" alias a"), 0u);
  EXPECT_EQ(mciSendStringA(nullptr, nullptr, 0, nullptr), MCIERR_MISSING_COMMAND_STRING);
  char reply[8] = "junk";
  EXPECT_EQ(mciSendStringA("stop a", reply, sizeof reply, nullptr), 0u);
  EXPECT_STREQ(reply, "");
}

TEST_F(MciDevices, BadFilesOpenNothing) {
  std::vector<uint8_t> goodWav = MakeWav(0.1);
  std::vector<uint8_t> goodMid = Tune(1);
  std::mt19937 rng(11);
  std::vector<uint8_t> noise(4000);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  mkdir((dir.path() + "/folder.wav").c_str(), 0755);
  struct Case {
    std::string path;
    MCIERROR expected;  // 0: any refusal
  } cases[] = {
      {dir.path() + "/missing.wav", MCIERR_FILE_NOT_FOUND},
      {dir.path() + "/missing.mid", MCIERR_FILE_NOT_FOUND},
      {dir.path() + "/folder.wav", MCIERR_FILE_NOT_FOUND},
      {dir.Write("notes.txt", "hello"), MCIERR_EXTENSION_NOT_FOUND},
      {dir.Write("noext", goodWav), MCIERR_EXTENSION_NOT_FOUND},
      {dir.Write("empty.wav", std::vector<uint8_t>{}), MCIERR_INVALID_FILE},
      {dir.Write("empty.mid", std::vector<uint8_t>{}), MCIERR_INVALID_FILE},
      {dir.Write("cut.wav", std::vector<uint8_t>(goodWav.begin(), goodWav.begin() + 30)), 0},
      {dir.Write("cut.mid", std::vector<uint8_t>(goodMid.begin(), goodMid.end() - 4)),
       MCIERR_INVALID_FILE},
      {dir.Write("noise.wav", noise), 0},
      {dir.Write("noise.mid", noise), MCIERR_INVALID_FILE},
      {dir.Write("wave-in-disguise.mid", goodWav), MCIERR_INVALID_FILE},
  };
  for (const Case& c : cases) {
    MCIERROR err = Send("open \"" + c.path + "\" alias x");
    if (c.expected)
      EXPECT_EQ(err, c.expected) << c.path;
    else
      EXPECT_NE(err, 0u) << c.path;
    EXPECT_EQ(Send("close x"), MCIERR_INVALID_DEVICE_NAME) << c.path;
  }
  // The name was never taken.
  EXPECT_EQ(Send("open \"" + wav + "\" alias x"), 0u);
}

// Headers no sound effect has are refused at once, before a decoder sees them; the files at
// the edges of what is allowed open and play to their end.
TEST_F(MciDevices, AbsurdWaveHeadersAreRefusedAtOnceAndTheMixerPlaysOn) {
  const Wave refused[] = {Pcm(1, 1, 8, 12174), Pcm(1, 1, 8, 100000), Pcm(2, 2, 16, 30000),
                          Pcm(0xFFFFFFFF, 1, 8, 12174), Pcm(22050, 8, 16, 1000)};
  for (const Wave& w : refused) {
    const std::string path = dir.Write("bad.wav", w.File());
    const auto start = Clock::now();
    EXPECT_EQ(Send("open \"" + path + "\" alias x"), MCIERR_INVALID_FILE) << w.rate << " Hz";
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(Send("close x"), MCIERR_INVALID_DEVICE_NAME);
  }
  for (const Wave& w : {Pcm(4000, 1, 8, 400), Pcm(192000, 2, 16, 19200)}) {
    ASSERT_EQ(Send("open \"" + dir.Write("edge.wav", w.File()) + "\" alias x"), 0u);
    Restart();
    ASSERT_EQ(Send("play x from 0 notify", form.hWnd), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !notices.empty(); }, 2.0)) << w.rate << " Hz";
    EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_GT(notices[0].at, 0.05);  // a tenth of a second of sound, whatever its rate
    EXPECT_LT(notices[0].at, 0.6);
    EXPECT_EQ(Send("close x"), 0u);
  }
}

// The order in which the fuzzer crashed the game over SDL_mixer 2.8: sounds too short to make
// a frame at the mixer's rate opened, played and closed under one name, then a new file under
// that name, which frees the cached chunk of the old one.
TEST_F(MciDevices, SoundsOfNoFrameAtTheMixersRateOpenNothing) {
  Wave law = Pcm(8000, 1, 8, 5);  // 5 frames of A-law at 8000 Hz make 27 at 44100: those play
  law.tag = 6;
  Wave floats = Pcm(22050, 2, 32, 0);
  floats.tag = 3, floats.stated = 80, floats.dataBytes = 7;  // less than one stereo frame
  Wave bytes = Pcm(11025, 2, 8, 0);
  bytes.stated = 80, bytes.dataBytes = 1;
  const std::string path = dir.path() + "/f.wav";
  for (const Wave& w : {floats, bytes, Pcm(192000, 1, 16, 4)}) {
    dir.Write("f.wav", w.File());
    EXPECT_EQ(Send("open \"" + path + "\" alias f"), MCIERR_INVALID_FILE) << w.rate << " Hz";
    Send("play f from 0 notify", form.hWnd);
    Send("stop f");
    Send("close f");
    platform::DoEvents();
  }
  dir.Write("f.wav", law.File());
  ASSERT_EQ(Send("open \"" + path + "\" alias f"), 0u);
  EXPECT_EQ(Send("play f from 0 notify", form.hWnd), 0u);
  EXPECT_TRUE(PumpUntil([&] { return !notices.empty(); }, 2.0));
  EXPECT_EQ(Send("close f"), 0u);
  dir.Write("f.wav", MakeWav(0.05));
  EXPECT_EQ(Send("open \"" + path + "\" alias f"), 0u);
  EXPECT_EQ(Send("close f"), 0u);
}

TEST_F(MciDevices, PathsWithSpacesAndPlainWords) {
  std::string spaced = dir.Write("my sound file.wav", MakeWav(0.1));
  EXPECT_EQ(Send("open \"" + spaced + "\" alias a"), 0u);
  EXPECT_EQ(Send("open " + wav + " alias b"), 0u);
  // Unquoted, the path ends at the space, and what follows is not a keyword.
  EXPECT_NE(Send("open " + spaced + " alias c"), 0u);
  EXPECT_EQ(Send("close c"), MCIERR_INVALID_DEVICE_NAME);
  std::string spacedMid = dir.Write("the tune.MID", Tune(1));
  EXPECT_EQ(Send("open \"" + spacedMid + "\" alias m"), 0u);
}

TEST_F(MciDevices, TheLogRecordsEveryTextAsSent) {
  std::vector<MciLogEntry> log;
  mciSetLog(&log);
  Send("open \"" + wav + "\" alias a");
  Send("play a from 0 notify", form.hWnd);
  Send("nonsense \"", form.hWnd);
  mciSendStringA(nullptr, nullptr, 0, nullptr);
  Send("close a");
  mciSetLog(nullptr);
  Send("open \"" + wav + "\" alias b");
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].command, "open \"" + wav + "\" alias a");
  EXPECT_EQ(log[0].callback, nullptr);
  EXPECT_EQ(log[1].command, "play a from 0 notify");
  EXPECT_EQ(log[1].callback, form.hWnd);
  EXPECT_EQ(log[2].command, "nonsense \"");
  EXPECT_EQ(log[2].callback, form.hWnd);
  EXPECT_EQ(log[3].command, "");
  EXPECT_EQ(log[4].command, "close a");
}

TEST_F(MciDevices, AliasesOfOneFileSoundTogether) {
  ASSERT_EQ(Send("open \"" + wav + "\" alias a"), 0u);
  ASSERT_EQ(Send("open \"" + wav + "\" alias b"), 0u);
  Restart();
  ASSERT_EQ(Send("play a from 0 notify", form.hWnd), 0u);
  ASSERT_EQ(Send("play b from 0 notify", form.hWnd), 0u);
  ASSERT_TRUE(PumpUntil([&] { return Count(MCI_NOTIFY_SUCCESSFUL) == 2; }, 3.0));
  ASSERT_EQ(notices.size(), 2u);
  // One after the other they would take 0.8 s; together both end after about 0.4 s.
  for (const Notice& n : notices) {
    EXPECT_GT(n.at, 0.3);
    EXPECT_LT(n.at, 0.75);
  }
  EXPECT_NE(notices[0].device, 0);
  EXPECT_NE(notices[1].device, 0);
  EXPECT_NE(notices[0].device, notices[1].device);
}

TEST_F(MciDevices, ManyAliasesSoundAtOnce) {
  // More than the mixer starts with: it grows, and every one of them still ends and tells.
  const int kAliases = 150;
  for (int i = 0; i < kAliases; ++i)
    ASSERT_EQ(Send("open \"" + wav + "\" alias many" + std::to_string(i)), 0u) << i;
  Restart();
  for (int i = 0; i < kAliases; ++i)
    ASSERT_EQ(Send("play many" + std::to_string(i) + " from 0 notify", form.hWnd), 0u) << i;
  EXPECT_TRUE(PumpUntil([&] { return Count(MCI_NOTIFY_SUCCESSFUL) == kAliases; }, 3.0));
  EXPECT_EQ(notices.size(), static_cast<size_t>(kAliases));
  for (const Notice& n : notices) EXPECT_LT(n.at, 0.9);
  for (int i = 0; i < kAliases; ++i) EXPECT_EQ(Send("close many" + std::to_string(i)), 0u);
}

TEST_F(MciDevices, PlayFromZeroRestartsASoundingAlias) {
  ASSERT_EQ(Send("open \"" + wav + "\" alias a"), 0u);
  Restart();
  ASSERT_EQ(Send("play a from 0 notify", form.hWnd), 0u);
  Pump(0.2);
  ASSERT_EQ(Send("play a from 0 notify", form.hWnd), 0u);
  double restarted = Now();
  ASSERT_TRUE(PumpUntil([&] { return Count(MCI_NOTIFY_SUCCESSFUL) == 1; }, 3.0));
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUPERSEDED);
  EXPECT_LT(notices[0].at, restarted + 0.1);
  EXPECT_EQ(notices[1].code, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(notices[0].device, notices[1].device);
  // The end comes a whole length after the restart, not after the first start.
  EXPECT_GT(notices[1].at, restarted + 0.3);
  EXPECT_LT(notices[1].at, restarted + 0.75);

  // A restart without notify ends the waiting notification as aborted.
  Restart();
  Send("play a from 0 notify", form.hWnd);
  Send("play a from 0");
  Pump(0.6);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_ABORTED);
}

TEST_F(MciDevices, StopAndCloseAbortTheNotification) {
  ASSERT_EQ(Send("open \"" + wav + "\" alias a"), 0u);
  ASSERT_EQ(Send("open \"" + mid + "\" alias m"), 0u);
  Restart();
  Send("play a from 0 notify", form.hWnd);
  Send("play m from 0 notify", form.hWnd);
  Pump(0.1);
  EXPECT_EQ(Send("stop a"), 0u);
  EXPECT_EQ(Send("close m"), 0u);
  Pump(1.0);  // past both natural ends: nothing more comes
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_ABORTED);
  EXPECT_EQ(notices[1].code, MCI_NOTIFY_ABORTED);
  EXPECT_NE(notices[0].device, notices[1].device);
  // Stopping a silent device has nothing to tell.
  Restart();
  EXPECT_EQ(Send("stop a"), 0u);
  Pump(0.05);
  EXPECT_TRUE(notices.empty());
  // A play refused for its position leaves the waiting notification alone.
  Send("play a from 0 notify", form.hWnd);
  EXPECT_EQ(Send("play a from 60000 notify", form.hWnd), MCIERR_OUTOFRANGE);
  ASSERT_TRUE(PumpUntil([&] { return !notices.empty(); }, 2.0));
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUCCESSFUL);
}

TEST_F(MciDevices, APlayFromLaterIsShorter) {
  ASSERT_EQ(Send("open \"" + wav + "\" alias a"), 0u);
  Restart();
  ASSERT_EQ(Send("play a from 300 notify", form.hWnd), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !notices.empty(); }, 2.0));
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_LT(notices[0].at, 0.3);
}

TEST_F(MciDevices, MidiEndsOnTimeByItself) {
  std::string tune = dir.Write("three.mid", Tune(3));  // 1.5 s
  ASSERT_EQ(Send("open \"" + tune + "\" alias m"), 0u);
  Restart();
  ASSERT_EQ(Send("play m from 0 notify", form.hWnd), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !notices.empty(); }, 6.0));
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_NE(notices[0].device, 0);
  // At the end of its last note: not seconds late. The mix runs ahead of this clock by the
  // device's queue, and more so while it catches up after the machine held it back.
  EXPECT_GT(notices[0].at, 1.40);
  EXPECT_LT(notices[0].at, 1.9);

  // And it plays again, as a loop would ask.
  Restart();
  ASSERT_EQ(Send("stop m"), 0u);
  ASSERT_EQ(Send("play m from 0 notify", form.hWnd), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !notices.empty(); }, 6.0));
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_GT(notices[0].at, 1.40);
  EXPECT_LT(notices[0].at, 1.9);
}

TEST_F(MciDevices, MidiNotificationsSupersedeAndAbort) {
  ASSERT_EQ(Send("open \"" + mid + "\" alias m"), 0u);
  std::string other = dir.Write("other.mid", Tune(1));
  ASSERT_EQ(Send("open \"" + other + "\" alias n"), 0u);
  Restart();
  // A newer notify on the same device replaces the waiting one.
  Send("play m from 0 notify", form.hWnd);
  Send("play m notify", form.hWnd);
  Pump(0.05);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUPERSEDED);
  // One music stream: the other piece takes it, and the first is aborted.
  Send("play n from 0 notify", form.hWnd);
  double switched = Now();
  ASSERT_TRUE(PumpUntil([&] { return Count(MCI_NOTIFY_SUCCESSFUL) == 1; }, 3.0));
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[1].code, MCI_NOTIFY_ABORTED);
  EXPECT_EQ(notices[1].device, notices[0].device);
  EXPECT_EQ(notices[2].code, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_NE(notices[2].device, notices[0].device);
  EXPECT_GT(notices[2].at, switched + 0.45);
  // A stopped piece stays silent and untold past its end.
  Restart();
  Send("play m from 0 notify", form.hWnd);
  Pump(0.1);
  Send("stop m");
  Pump(0.8);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_ABORTED);
  // Played again after a stop, it still ends by itself.
  Restart();
  Send("play m from 0 notify", form.hWnd);
  ASSERT_TRUE(PumpUntil([&] { return !notices.empty(); }, 3.0));
  EXPECT_EQ(notices[0].code, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_GT(notices[0].at, 0.45);
  EXPECT_LT(notices[0].at, 0.9);
}

#if GTEST_HAS_DEATH_TEST  // a fresh process; WebAssembly under node cannot make one
TEST(MciNoAudio, OpensFailAndNothingBreaks) {
  // A fresh process whose audio driver does not exist.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        TempDir d;
        std::string w = d.Write("a.wav", MakeWav(0.1));
        std::string m = d.Write("a.mid", Tune(1));
        bool ok = Send("open \"" + w + "\" alias a") == MCIERR_HARDWARE &&
                  Send("open \"" + m + "\" alias b") == MCIERR_HARDWARE &&
                  Send("play a from 0") == MCIERR_INVALID_DEVICE_NAME &&
                  Send("open \"" + w + "\" alias a") == MCIERR_HARDWARE;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
