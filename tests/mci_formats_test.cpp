// The multimedia command grammar and the readers of MIDI and WAVE headers: plain C++, tested
// without SDL or a sound device.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "media_files.h"
#include "platform/mMain.h"
#include "platform/mci_midi.h"
#include "platform/mci_parse.h"
#include "platform/mci_wave.h"
#include "wave_files.h"

namespace {

using platform::mci::Command;
using platform::mci::Parse;
using platform::mci::Verb;
using namespace media_files;

std::optional<double> Length(const std::vector<uint8_t>& f) {
  return platform::mci::MidiLengthSeconds(f.data(), f.size());
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
std::optional<platform::mci::WaveFormat> Check(const Wave& w) {
  const std::vector<uint8_t> f = w.File();
  return platform::mci::CheckWave(f.data(), f.size(), 44100, 4);
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

}  // namespace
