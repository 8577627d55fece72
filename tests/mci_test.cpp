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
#include "platform/mci_midi.h"
#include "platform/mci_parse.h"
#include "platform/mci_wave.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::mci::Command;
using platform::mci::Parse;
using platform::mci::Verb;
using namespace media_files;

// ---- Files made for the tests ------------------------------------------------------------------

std::optional<double> Length(const std::vector<uint8_t>& f) {
  return platform::mci::MidiLengthSeconds(f.data(), f.size());
}

MCIERROR Send(const std::string& cmd, HWND cb = nullptr) {
  return mciSendStringA(cmd.c_str(), nullptr, 0, cb);
}

// ---- The grammar -------------------------------------------------------------------------------

TEST(MciParse, AcceptsTheCommandsInAnyCase) {
  Command c;
  ASSERT_EQ(Parse("open \"/tmp/a dir/Swat Sound.wav\" alias Sound_2_0", c), 0u);
  EXPECT_EQ(c.verb, Verb::Open);
  EXPECT_EQ(c.path, "/tmp/a dir/Swat Sound.wav");
  EXPECT_EQ(c.alias, "sound_2_0");

  ASSERT_EQ(Parse("  OPEN /tmp/x.MID   ALIAS bgm  ", c), 0u);
  EXPECT_EQ(c.path, "/tmp/x.MID");
  EXPECT_EQ(c.alias, "bgm");

  ASSERT_EQ(Parse("play sound_bgm from 0 notify", c), 0u);
  EXPECT_EQ(c.verb, Verb::Play);
  EXPECT_TRUE(c.hasFrom);
  EXPECT_EQ(c.from, 0u);
  EXPECT_TRUE(c.notify);

  ASSERT_EQ(Parse("Play X Notify From 4294967295", c), 0u);
  EXPECT_EQ(c.alias, "x");
  EXPECT_EQ(c.from, 4294967295u);
  EXPECT_TRUE(c.notify);

  ASSERT_EQ(Parse("play x", c), 0u);
  EXPECT_FALSE(c.hasFrom);
  EXPECT_FALSE(c.notify);

  ASSERT_EQ(Parse("\tSTOP x\r\n", c), 0u);
  EXPECT_EQ(c.verb, Verb::Stop);
  ASSERT_EQ(Parse("close x", c), 0u);
  EXPECT_EQ(c.verb, Verb::Close);
}

TEST(MciParse, RefusesWhatItCannotReadWhole) {
  const char* refused[] = {
      "",
      "   ",
      "opne \"a.wav\" alias x",
      "\"open\" a.wav alias x",
      "open \"a\"b.wav\" alias x",  // a quote inside the path
      "open a\"b.wav alias x",
      "open \"a.wav alias x",  // no closing quote
      "open \"\" alias x",
      "open \"a.wav\"",  // nothing could address it
      "open \"a.wav\" alias",
      "open \"a.wav\" alias \"x\"",
      "open \"a.wav\" alias x extra",
      "open \"a.wav\" alias x alias y",
      "open \"a.wav\" type waveaudio alias x",
      "open",
      "play",
      "play \"x\"",
      "play x from",
      "play x from -1",
      "play x from 12a",
      "play x from 4294967296",
      "play x from 0 from 0",
      "play x notify notify",
      "play x wait",
      "stop x now",
      "stop x notify",
      "close x y",
      "close",
  };
  for (const char* text : refused) {
    Command c;
    EXPECT_NE(Parse(text, c), 0u) << text;
  }
}

// ---- MIDI timing -------------------------------------------------------------------------------

TEST(MciMidiLength, FollowsTheTempoMap) {
  // Default tempo (120 bpm): 96 ticks of a 96-per-quarter file are half a second.
  Midi plain;
  plain.Track().Delta(0).Bytes({0x90, 60, 100}).Delta(96).Bytes({0x80, 60, 0}).End();
  EXPECT_NEAR(*Length(plain.File()), 0.5, 1e-9);

  // Twice as fast after the first quarter: 0.5 s + 192 ticks at 0.25 s per quarter.
  Midi faster;
  faster.Track()
      .Delta(0)
      .Bytes({0x90, 60, 100})
      .Tempo(96, 250000)
      .Delta(192)
      .Bytes({0x80, 60, 0})
      .End();
  EXPECT_NEAR(*Length(faster.File()), 1.0, 1e-9);

  // Format 1: the tempo lives in the first track, the notes (in running status) in the second.
  Midi two;
  two.format = 1;
  two.Track().Tempo(0, 1000000).End();
  two.Track()
      .Delta(0)
      .Bytes({0x90, 60, 100})
      .Delta(96)
      .Bytes({62, 100})
      .Delta(96)
      .Bytes({60, 0})
      .Delta(0)
      .Bytes({62, 0})
      .End();
  EXPECT_NEAR(*Length(two.File()), 2.0, 1e-9);

  // A rest before the end of the track belongs to the piece.
  Midi rest;
  rest.Track().Delta(0).Bytes({0x90, 60, 100}).Delta(96).Bytes({0x80, 60, 0}).End(96);
  EXPECT_NEAR(*Length(rest.File()), 1.0, 1e-9);

  // SMPTE time: 25 frames of 40 ticks make 1000 ticks a second; tempo does not apply.
  Midi smpte;
  smpte.division = static_cast<uint16_t>((static_cast<uint8_t>(-25) << 8) | 40);
  smpte.Track().Tempo(0, 250000).Delta(1500).Bytes({0x90, 60, 100}).End();
  EXPECT_NEAR(*Length(smpte.File()), 1.5, 1e-9);
}

TEST(MciMidiLength, SkipsWhatCarriesNoTime) {
  Midi m;
  m.Track()
      .Delta(0)
      .Bytes({0xF0, 3, 0x7E, 0x7F, 0xF7})  // system exclusive
      .Delta(0)
      .Bytes({0xFF, 0x03, 4, 'S', 'o', 'n', 'g'})  // track name
      .Delta(0)
      .Bytes({0xC0, 5})  // one data byte
      .Delta(0)
      .Bytes({0xB0, 7, 100})
      .Delta(48)
      .Bytes({0xE0, 0, 64})
      .Delta(48)
      .Bytes({0xD0, 10})
      .End();
  std::vector<uint8_t> f = m.File();
  // An unknown chunk after the track is skipped.
  f.insert(f.end(), {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2});
  EXPECT_NEAR(*Length(f), 0.5, 1e-9);
}

TEST(MciMidiLength, RefusesMalformedFiles) {
  std::vector<uint8_t> good = Tune(1);
  ASSERT_TRUE(Length(good));
  EXPECT_FALSE(Length({}));
  EXPECT_FALSE(Length({'M', 'T', 'h', 'd'}));
  EXPECT_FALSE(platform::mci::MidiLengthSeconds(nullptr, 10));
  // Cut inside the track.
  EXPECT_FALSE(Length(std::vector<uint8_t>(good.begin(), good.end() - 3)));
  // Header only: no track.
  EXPECT_FALSE(Length(std::vector<uint8_t>(good.begin(), good.begin() + 14)));
  auto patched = [&](size_t at, uint8_t v) {
    std::vector<uint8_t> f = good;
    f[at] = v;
    return f;
  };
  EXPECT_FALSE(Length(patched(0, 'X')));  // not a MIDI header
  EXPECT_FALSE(Length(patched(9, 3)));    // format 3
  EXPECT_FALSE(Length(patched(13, 0)));   // division 0
  Midi noStatus;
  noStatus.Track().Delta(0).Bytes({60, 100}).End();  // data byte with nothing running
  EXPECT_FALSE(Length(noStatus.File()));
  Midi longDelta;
  longDelta.Track().Bytes({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 100}).End();
  EXPECT_FALSE(Length(longDelta.File()));
  Midi realTime;
  realTime.Track().Delta(0).Bytes({0xF8}).End();
  EXPECT_FALSE(Length(realTime.File()));
  Midi metaPastEnd;
  metaPastEnd.Track().Delta(0).Bytes({0xFF, 0x01, 50, 'a'});
  EXPECT_FALSE(Length(metaPastEnd.File()));
  // Random bytes behind a valid header never crash and are refused or read.
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> f = good;
    for (int k = 0; k < 4; ++k) f[14 + rng() % (f.size() - 14)] = static_cast<uint8_t>(rng());
    (void)Length(f);
  }
}

// ---- Wave headers ------------------------------------------------------------------------------

// A wave file with every field of its header chosen: the "fmt " chunk, then the data chunk,
// whose stated size may differ from the bytes behind it.
struct Wave {
  uint16_t tag = 1, channels = 1, blockAlign = 2, bits = 16;
  uint32_t rate = 22050;
  std::vector<uint8_t> extension;  // after the 16 bytes of the basic format
  uint32_t dataBytes = 2000;
  std::optional<uint32_t> stated;  // the data chunk's size field, when it lies
  std::vector<uint8_t> before;     // whole chunks between "fmt " and "data"
  bool dataFirst = false;

  std::vector<uint8_t> File() const {
    std::vector<uint8_t> fmt;
    auto put = [](std::vector<uint8_t>& v, uint64_t x, int n) {
      for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    put(fmt, tag, 2), put(fmt, channels, 2), put(fmt, rate, 4);
    put(fmt, uint64_t{rate} * blockAlign, 4), put(fmt, blockAlign, 2), put(fmt, bits, 2);
    fmt.insert(fmt.end(), extension.begin(), extension.end());
    std::vector<uint8_t> fmtChunk = {'f', 'm', 't', ' '}, dataChunk = {'d', 'a', 't', 'a'};
    put(fmtChunk, fmt.size(), 4);
    fmtChunk.insert(fmtChunk.end(), fmt.begin(), fmt.end());
    put(dataChunk, stated.value_or(dataBytes), 4);
    dataChunk.insert(dataChunk.end(), dataBytes, 0x80);
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    const auto& first = dataFirst ? dataChunk : fmtChunk;
    const auto& second = dataFirst ? fmtChunk : dataChunk;
    body.insert(body.end(), first.begin(), first.end());
    body.insert(body.end(), before.begin(), before.end());
    body.insert(body.end(), second.begin(), second.end());
    std::vector<uint8_t> f = {'R', 'I', 'F', 'F'};
    put(f, body.size(), 4);
    f.insert(f.end(), body.begin(), body.end());
    return f;
  }
};

// The sub-format of WAVE_FORMAT_EXTENSIBLE: 22 bytes after the size of the extension.
std::vector<uint8_t> Extensible(uint16_t subTag, uint8_t lastGuidByte = 0x71) {
  std::vector<uint8_t> e = {
      22, 0, 16, 0, 4, 0, 0, 0, static_cast<uint8_t>(subTag), static_cast<uint8_t>(subTag >> 8)};
  const uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, lastGuidByte};
  e.insert(e.end(), tail, tail + 14);
  return e;
}

std::optional<platform::mci::WaveFormat> Check(const Wave& w) {
  const std::vector<uint8_t> f = w.File();
  return platform::mci::CheckWave(f.data(), f.size(), 44100, 4);
}

Wave Pcm(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t frames) {
  Wave w;
  w.rate = rate, w.channels = channels, w.bits = bits;
  w.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  w.dataBytes = frames * w.blockAlign;
  return w;
}

TEST(MciWaveHeader, LetsThroughOnlyWhatASoundEffectCanBe) {
  // The file that crashed the game at start-up: 12174 8-bit samples at 1 Hz; and its neighbour
  // that took 7 s and 900 MB to decode.
  EXPECT_FALSE(Check(Pcm(1, 1, 8, 12174)));
  EXPECT_FALSE(Check(Pcm(1, 1, 8, 100000)));
  EXPECT_FALSE(Check(Pcm(3999, 1, 8, 100)));
  EXPECT_FALSE(Check(Pcm(192001, 1, 16, 100)));
  EXPECT_FALSE(Check(Pcm(0xFFFFFFFF, 1, 16, 100)));
  for (uint32_t rate : {4000u, 8000u, 11025u, 22050u, 44100u, 48000u, 96000u, 192000u})
    for (uint16_t ch : {1, 2})
      for (uint16_t bits : {8, 16, 24, 32}) {
        const auto f = Check(Pcm(rate, ch, bits, 1000));
        ASSERT_TRUE(f) << rate << " Hz, " << ch << " channels, " << bits << " bits";
        EXPECT_EQ(f->frames, 1000u);
      }
  EXPECT_FALSE(Check(Pcm(22050, 0, 16, 100)));
  EXPECT_FALSE(Check(Pcm(22050, 3, 16, 100)));
  EXPECT_FALSE(Check(Pcm(22050, 6, 16, 100)));
  EXPECT_FALSE(Check(Pcm(22050, 1, 12, 100)));
  Wave odd = Pcm(22050, 2, 16, 100);
  odd.blockAlign = 2;  // a frame of two 16-bit samples in two bytes
  EXPECT_FALSE(Check(odd));

  // The other codings a sound effect comes in, each with its own layout.
  Wave fl = Pcm(44100, 2, 32, 100);
  fl.tag = 3;
  EXPECT_TRUE(Check(fl));
  fl.bits = 64, fl.blockAlign = 16;
  EXPECT_FALSE(Check(fl));
  for (uint16_t law : {6, 7}) {
    Wave w = Pcm(8000, 1, 8, 100);
    w.tag = law;
    EXPECT_TRUE(Check(w));
    w.bits = 16, w.blockAlign = 2;
    EXPECT_FALSE(Check(w));
  }
  Wave ms;  // MS ADPCM: 256-byte mono blocks of 2 + 249 * 2 = 500 frames
  ms.tag = 2, ms.bits = 4, ms.blockAlign = 256, ms.dataBytes = 2 * 256 + 1;
  ms.extension = {32, 0, 0xF4, 0x01, 7, 0};
  EXPECT_EQ(Check(ms)->frames, 3 * 500u);  // a cut last block counts whole
  // IMA ADPCM: 1 + 252 * 2 = 505 frames a block
  Wave ima = ms;
  ima.tag = 0x11, ima.extension = {2, 0, 0xF9, 0x01};
  EXPECT_EQ(Check(ima)->frames, 3 * 505u);
  ima.blockAlign = 4;  // nothing but the block header
  EXPECT_FALSE(Check(ima));
  Wave ext = Pcm(48000, 2, 24, 100);
  ext.tag = 0xFFFE, ext.extension = Extensible(1);
  EXPECT_EQ(Check(ext)->tag, 1);
  ext.extension = Extensible(1, 0x72);  // not the format GUID family
  EXPECT_FALSE(Check(ext));
  ext.extension = Extensible(0x55);  // MPEG layer 3 in a wave: no effect comes so
  EXPECT_FALSE(Check(ext));

  // The bytes after conversion to the mixer's 44100 Hz, 4-byte frames: at most 32 MiB.
  // 760000 frames at 4000 Hz make 8379000 frames (33516000 bytes); 761000 make 8390025.
  EXPECT_TRUE(Check(Pcm(4000, 1, 8, 760000)));
  EXPECT_FALSE(Check(Pcm(4000, 1, 8, 761000)));
  // And at most 64 MiB as the decoder hands it out: 24-bit samples come out as 32-bit.
  EXPECT_FALSE(Check(Pcm(192000, 2, 24, (64u << 20) / 8 + 1)));

  // Chunks: others may come between, odd ones padded to even; the format must come first and
  // lie whole in the file; a data chunk is judged by the size it states, which the decoder
  // allocates, even when the file holds less.
  Wave between = Pcm(22050, 1, 16, 500);
  between.before = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
  EXPECT_EQ(Check(between)->frames, 500u);
  between.before.pop_back();  // no padding byte: the data chunk is not where it should be
  EXPECT_FALSE(Check(between));
  Wave late = Pcm(22050, 1, 16, 500);
  late.dataFirst = true;
  EXPECT_FALSE(Check(late));
  Wave cut = Pcm(22050, 1, 16, 500);
  cut.stated = 2000;
  EXPECT_EQ(Check(cut)->frames, 1000u);
  Wave liar = Pcm(22050, 1, 16, 500);
  liar.stated = 0xFFFFFFFF;
  EXPECT_FALSE(Check(liar));
  Wave fmtLiar = Pcm(22050, 1, 16, 500);
  fmtLiar.extension.assign(4, 0);
  std::vector<uint8_t> bytes = fmtLiar.File();
  bytes[16] = 0xF0, bytes[17] = 0xFF, bytes[18] = 0xFF, bytes[19] = 0x7F;  // "fmt " of 2 GB
  EXPECT_FALSE(platform::mci::CheckWave(bytes.data(), bytes.size(), 44100, 4));
  std::vector<uint8_t> rifx = Pcm(22050, 1, 16, 10).File();
  rifx[3] = 'X';
  EXPECT_FALSE(platform::mci::CheckWave(rifx.data(), rifx.size(), 44100, 4));
  EXPECT_FALSE(platform::mci::CheckWave(nullptr, 100, 44100, 4));
  // What the file really holds must make at least one frame at the mixer's 44100 Hz: the
  // converter rounds down, and a chunk of no sound is freed twice by SDL_mixer 2.8.
  Wave scrap = Pcm(22050, 1, 16, 0);
  scrap.stated = 1000;
  scrap.dataBytes = 1;  // half a frame, where 500 were promised
  EXPECT_FALSE(Check(scrap));
  scrap.dataBytes = 2;
  EXPECT_TRUE(Check(scrap));
  EXPECT_FALSE(Check(Pcm(22050, 2, 8, 0)));
  EXPECT_FALSE(Check(Pcm(192000, 1, 16, 4)));  // 4 * 44100 / 192000 rounds down to none
  EXPECT_TRUE(Check(Pcm(192000, 1, 16, 5)));
  Wave cutBlock = ms;
  cutBlock.stated = 256;
  cutBlock.dataBytes = 255;  // an ADPCM block counts only when the file holds it whole
  EXPECT_FALSE(Check(cutBlock));
  cutBlock.dataBytes = 256;
  EXPECT_EQ(Check(cutBlock)->frames, 500u);
  std::vector<uint8_t> headerOnly = Pcm(22050, 1, 16, 0).File();
  headerOnly.resize(36);  // the format, and no data chunk at all
  EXPECT_FALSE(platform::mci::CheckWave(headerOnly.data(), headerOnly.size(), 44100, 4));
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

}  // namespace
