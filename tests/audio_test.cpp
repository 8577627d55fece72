// What the player hears: the game's own effects and music through the sound module and the real
// mixer, recorded by SDL's disk audio driver (exactly what the mixer outputs, 44.1 kHz, 16-bit,
// stereo). Each piece plays a whole pass into its loop, with swats ten a second and the other
// effects over its loudest bars. Checked: no sample reaches full scale and the peak stays under
// -1 dBFS, the second pass starts on time and without a click, the music survives a mono speaker,
// and the first MusicPlay returns at once.
//
// The sound font comes from SDL_SOUNDFONTS (ctest runs this once per font) or the system's
// default General MIDI font. The disk driver is told to run at about twice real time; this program
// answers the mixer's end-of-piece within a millisecond (it turns its message loop as the game
// does), so the loop seam is what it would be in real time.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "game/sound/Sound.h"
#include "loudness.h"
#include "media_files.h"
#include "platform/mMain.h"
#include "platform/mci_midi.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 44100.0;
constexpr int kFull = 32767;
const double kMinus1Db = std::pow(10.0, -1.0 / 20.0) * 32768.0;

// ---- The mixer's own clock, counted where the mix is finished ---------------------------------

// Counted in frames of the recording. The device was opened, and has been recording, since the
// first effect was opened: the count starts from what the file already holds, else every place
// measured in the recording would be off by however many buffers that took.
std::atomic<uint64_t> gFrames{0};
std::atomic<bool> gCounting{false};
std::atomic<int64_t> gBuffer{0};  // frames the mixer makes at a time
std::string gRecordingFile;
std::atomic<bool> gListen{false};
std::atomic<int64_t> gOnset{-1};  // first frame of music after gListen was set

std::atomic<bool> gFloat{false};

// In 16-bit units, whatever the mixer's own format.
double Sample(const void* stream, size_t i) {
  return gFloat ? static_cast<const float*>(stream)[i] * 32768.0
                : static_cast<const int16_t*>(stream)[i];
}

void CountMixed(int, void* stream, int len, void*) {
  const int frameBytes = gFloat ? 8 : 4;
  const int frames = len / frameBytes;
  if (!gCounting.exchange(true)) {
    // The audio thread writes each buffer after mixing it, so the file now holds all before this.
    struct stat st {};
    if (stat(gRecordingFile.c_str(), &st) == 0)
      gFrames = static_cast<uint64_t>(st.st_size) / frameBytes;
  }
  gBuffer = frames;
  const uint64_t base = gFrames.load();
  if (gListen.load() && gOnset.load() < 0) {
    for (int i = 0; i < frames; ++i)
      if (std::fabs(Sample(stream, 2 * i)) > 200 || std::fabs(Sample(stream, 2 * i + 1)) > 200) {
        gOnset = static_cast<int64_t>(base) + i;
        break;
      }
  }
  gFrames = base + static_cast<uint64_t>(frames);
}

double Seconds(int64_t frames) {
  return static_cast<double>(frames) / kRate;
}
int64_t Frames(double seconds) {
  return static_cast<int64_t>(std::llround(seconds * kRate));
}

// ---- One piece as played -----------------------------------------------------------------------

struct Piece {
  std::string file;
  double bar;                 // seconds
  int loudFrom, loudTo;       // the bars under which the effects sound
  double length = 0;          // to the end of its last event
  double playCallMs = 0;      // how long MusicPlay took
  double playCpuMs = 0;       // of which this thread ran
  long playWaits = 0;         // times it gave up the processor to wait for something
  int64_t onset = -1;         // first frame of pass one
  int64_t counted = -1;       // where the mixer's count put it
  int64_t starvedFrames = 0;  // most audio mixed between two turns of the loop at its end
  int64_t effectsFrom = 0, effectsTo = 0;
};

std::string Media(const std::string& name) {
  return std::string(ZORBILO_BIN_DIR) + "/" + name;
}

double PieceLength(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return platform::mci::MidiLengthSeconds(b.data(), b.size()).value_or(0.0);
}

class Recording : public ::testing::Test {
 protected:
  // The font asked for, when it is not on this machine, leaves nothing to hear.
  static bool FontMissing() {
    const char* font = std::getenv("SDL_SOUNDFONTS");
    struct stat st {};
    return font && *font && stat(font, &st) != 0;
  }
  static void SetUpTestSuite() {
    if (FontMissing()) return;
    dir = new media_files::TempDir();
    out = dir->path() + "/mix.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    gRecordingFile = out;
    // About twice real time: 5 ms for each 11.6 ms buffer, which leaves this program time to answer
    // the end of a piece before the next buffer even on a busy machine.
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    Play();
    Read();
    FindStart(bgm);
    FindStart(final);
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }

  // Sleeps between turns, as the game's own loop does: a thread that spins loses the processor to
  // whatever else runs, and would answer the end of a piece a whole time slice late.
  static void Pump() {
    platform::DoEvents();
    SDL_WaitEventTimeout(nullptr, 1);
  }
  static void RunUntil(int64_t frame, const std::function<void()>& each = {}) {
    while (static_cast<int64_t>(gFrames.load()) < frame) {
      // Counted from the end of one turn to the start of the next: time spent in a turn is the
      // layer's own and is never excused.
      const auto now = static_cast<int64_t>(gFrames.load());
      if (watchFrom <= now && lastTurn <= watchTo) watchGap = std::max(watchGap, now - lastTurn);
      platform::DoEvents();
      lastTurn = static_cast<int64_t>(gFrames.load());
      if (each) each();
      SDL_WaitEventTimeout(nullptr, 1);
    }
  }
  static void WaitOnset(Piece& p) {
    auto until = Clock::now() + std::chrono::seconds(20);
    while (gOnset.load() < 0 && Clock::now() < until) Pump();
    p.onset = gOnset.load();
  }

  static double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
  }
  static long ThreadWaits() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
  }

  static void PlayPiece(Piece& p) {
    p.length = PieceLength(p.file);
    gOnset = -1;
    gListen = true;
    auto t0 = Clock::now();
    const double cpu0 = ThreadCpuMs();
    const long waits0 = ThreadWaits();
    MusicPlay(p.file);
    p.playCallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    p.playCpuMs = ThreadCpuMs() - cpu0;
    p.playWaits = ThreadWaits() - waits0;
    WaitOnset(p);
    gListen = false;
    if (p.onset < 0) return;
    // Over the loudest bars: swats ten a second, then each other effect in turn.
    p.effectsFrom = p.onset + Frames(p.loudFrom * p.bar);
    p.effectsTo = p.onset + Frames(p.loudTo * p.bar);
    RunUntil(p.effectsFrom);
    const int others[] = {sfxMiss, sfxStart, sfxClear, sfxTimeUp};
    int64_t next = p.effectsFrom, nextOther = p.effectsFrom + Frames(0.35);
    size_t k = 0;
    RunUntil(p.effectsTo, [&] {
      const auto now = static_cast<int64_t>(gFrames.load());
      if (now >= next) SoundPlay(sfxSwat), next += Frames(0.1);
      if (now >= nextOther && k < 4) SoundPlay(others[k++]), nextOther += Frames(0.9);
    });
    // Into the second pass far enough to see it start, watching how long this program went
    // without a turn of its loop while the end of the piece was due to be answered.
    watchFrom = p.onset + Frames(p.length - 0.03);
    watchTo = p.onset + Frames(p.length + 0.03);
    watchGap = 0;
    lastTurn = static_cast<int64_t>(gFrames.load());
    RunUntil(p.onset + Frames(p.length + 1.5));
    p.starvedFrames = watchGap;
  }

  static void Play() {
    platform::Form form;
    SoundInit(form.hWnd);
    sfxStart = SoundOpen(Media("START.wav"), 0);
    sfxSwat = SoundOpen(Media("SWAT.wav"), 3);
    sfxMiss = SoundOpen(Media("MISS.wav"), 3);
    sfxClear = SoundOpen(Media("CLEAR.wav"), 0);
    sfxTimeUp = SoundOpen(Media("TIMEUP.wav"), 0);
    int freq = 0, channels = 0;
    Uint16 format = 0;
    ASSERT_EQ(Mix_QuerySpec(&freq, &format, &channels), 1) << "no audio device: " << Mix_GetError();
    ASSERT_EQ(freq, 44100);
    ASSERT_EQ(channels, 2);
    ASSERT_TRUE(format == AUDIO_S16SYS || format == AUDIO_F32SYS);
    gFloat = format == AUDIO_F32SYS;
    ASSERT_EQ(Mix_RegisterEffect(MIX_CHANNEL_POST, CountMixed, nullptr, nullptr), 1);
    std::printf("sound fonts: %s\n", Mix_GetSoundFonts() ? Mix_GetSoundFonts() : "(none)");
    // Silence before the first piece, to tell its start from.
    RunUntil(1);
    RunUntil(static_cast<int64_t>(gFrames.load()) + Frames(0.3));
    const bool finalFirst = std::getenv("FINAL_FIRST") != nullptr;
    PlayPiece(finalFirst ? final : bgm);
    MusicStop();
    RunUntil(static_cast<int64_t>(gFrames.load()) + Frames(0.5));
    PlayPiece(finalFirst ? bgm : final);
    MusicStop();
    SoundTerm();
    RunUntil(static_cast<int64_t>(gFrames.load()) + Frames(0.3));
  }

  static void Read() {
    std::ifstream in(out, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t width = gFloat ? 4 : 2;
    mix.resize(raw.size() / width);
    for (size_t i = 0; i < mix.size(); ++i) mix[i] = static_cast<float>(Sample(raw.data(), i));
    // For listening to it: ZORBILO_KEEP_MIX=file.raw keeps a copy.
    if (const char* keep = std::getenv("ZORBILO_KEEP_MIX"))
      std::ofstream(keep, std::ios::binary)
          .write(raw.data(), static_cast<std::streamsize>(raw.size()));
  }

  // The counted start can be early by what the file had not yet received when counting began, and
  // by the limiter's look-ahead: the piece starts at its first sound after the silence before it.
  static void FindStart(Piece& p) {
    if (p.onset < 0) return;
    int64_t at = std::max<int64_t>(0, p.onset - Frames(0.05));
    while (at < Recorded() && std::fabs(L(at)) <= 200 && std::fabs(R(at)) <= 200) ++at;
    p.counted = p.onset;
    p.effectsFrom += at - p.onset;
    p.effectsTo += at - p.onset;
    p.onset = at;
  }

  static double L(int64_t f) { return mix[static_cast<size_t>(2 * f)]; }
  static double R(int64_t f) { return mix[static_cast<size_t>(2 * f + 1)]; }
  static int64_t Recorded() { return static_cast<int64_t>(mix.size() / 2); }

  // Where the second pass starts: the place near the end that best matches the first pass's
  // opening 50 ms.
  static int64_t SecondPass(const Piece& p) {
    const int64_t w = Frames(0.05), expect = p.onset + Frames(p.length);
    int64_t best = -1;
    double bestScore = -2;
    for (int64_t at = expect - Frames(0.03); at <= expect + Frames(0.15); ++at) {
      double xy = 0, xx = 0, yy = 0;
      if (at + w >= Recorded()) break;
      for (int64_t i = 0; i < w; ++i) {
        const double x = L(p.onset + i) + R(p.onset + i), y = L(at + i) + R(at + i);
        xy += x * y, xx += x * x, yy += y * y;
      }
      const double score = xy / std::sqrt(xx * yy + 1e-9);
      if (score > bestScore) bestScore = score, best = at;
    }
    return best;
  }

  struct Figures {
    double peak = 0;
    int64_t clipped = 0;
    double seamMs = 0;
    double correlation = 0;
    double integrated = 0;
    double largestStepAtSeam = 0, largestStepBefore = 0;
  };

  static Figures Measure(const Piece& p) {
    Figures f;
    const int64_t end = std::min(Recorded(), p.onset + Frames(p.length + 1.5));
    for (int64_t i = p.onset; i < end; ++i)
      for (double v : {L(i), R(i)}) {
        f.peak = std::max(f.peak, std::fabs(v));
        if (v >= kFull || v <= -kFull) ++f.clipped;
      }
    const int64_t second = SecondPass(p);
    f.seamMs = 1000.0 * Seconds(second - p.onset - Frames(p.length));
    // The music alone: the pass without the effects and what rings on after them.
    std::vector<std::vector<double>> music(2);
    double sl = 0, sr = 0, sll = 0, srr = 0, slr = 0;
    for (int64_t i = p.onset; i < p.onset + Frames(p.length); ++i) {
      if (i >= p.effectsFrom && i < p.effectsTo + Frames(2.5)) continue;
      const double l = L(i) / 32768.0, r = R(i) / 32768.0;
      music[0].push_back(l), music[1].push_back(r);
      sl += l, sr += r, sll += l * l, srr += r * r, slr += l * r;
    }
    const double n = static_cast<double>(music[0].size());
    f.correlation =
        (slr - sl * sr / n) / std::sqrt((sll - sl * sl / n) * (srr - sr * sr / n) + 1e-12);
    f.integrated = loudness::Integrated(music, kRate);
    // A cut shows as one step far larger than those just before it.
    auto largestStep = [&](int64_t from, int64_t to) {
      double m = 0;
      for (int64_t i = from + 1; i < to; ++i)
        m = std::max(m, std::fabs(L(i) - L(i - 1)) + std::fabs(R(i) - R(i - 1)));
      return m;
    };
    f.largestStepAtSeam = largestStep(second - Frames(0.012), second);
    f.largestStepBefore = largestStep(second - Frames(0.1), second - Frames(0.012));
    return f;
  }

  static void Report(const char* name, const Piece& p, const Figures& f) {
    const char* font = std::getenv("SDL_SOUNDFONTS");
    std::printf(
        "%s [%s]: MusicPlay %.2f ms, peak %.0f (%.2f dBFS), %lld clipped, second pass %+.1f ms, "
        "steps at seam %.0f / before %.0f, L/R correlation %.2f, %.1f LUFS integrated\n",
        name, font ? font : "default font", p.playCallMs, f.peak, 20 * std::log10(f.peak / 32768.0),
        static_cast<long long>(f.clipped), f.seamMs, f.largestStepAtSeam, f.largestStepBefore,
        f.correlation, f.integrated);
  }

  void Check(const char* name, const Piece& p) {
    if (FontMissing())
      GTEST_SKIP() << "sound font not installed: " << std::getenv("SDL_SOUNDFONTS");
    ASSERT_GE(p.onset, 0) << name << " never sounded";
    // Far off, and the count and the recording no longer describe the same audio.
    ASSERT_LT(std::llabs(p.onset - p.counted), Frames(0.04))
        << name << ": count and recording disagree";
    ASSERT_GT(p.length, 10.0);
    ASSERT_LT(p.onset + Frames(p.length + 1.5), Recorded()) << "the recording stops short";
    const Figures f = Measure(p);
    std::printf("%s: onset at %.3f s (counted %+lld frames off), length %.3f s\n", name,
                Seconds(p.onset), static_cast<long long>(p.counted - p.onset), p.length);
    Report(name, p, f);
    EXPECT_EQ(f.clipped, 0) << name;
    EXPECT_LE(f.peak, kMinus1Db) << name;
    EXPECT_GE(f.seamMs, -10.0) << name;
    // A buffer mixed between two turns is ordinary. When the machine kept this program from its
    // loop for longer, nobody could answer the end before then: that much is the machine's.
    const double starvedMs = 1000.0 * Seconds(std::max<int64_t>(0, p.starvedFrames - gBuffer));
    if (starvedMs > 0)
      std::printf("%s: this program was held up %.1f ms at the end\n", name, starvedMs);
    EXPECT_LE(f.seamMs, 10.0 + starvedMs) << name;
    EXPECT_LT(f.largestStepAtSeam, 3.0 * f.largestStepBefore + 2000)
        << name << ": click at the seam";
    EXPECT_GE(f.correlation, 0.5) << name << " cancels on a mono speaker";
    // Quick, or at least neither working nor waiting long: a busy machine may take the processor
    // away in the middle of the call, which no program can prevent.
    EXPECT_TRUE(p.playCallMs <= 5.0 || (p.playCpuMs <= 5.0 && p.playWaits == 0))
        << name << ": MusicPlay took " << p.playCallMs << " ms, " << p.playCpuMs
        << " ms of it working, waiting " << p.playWaits << " times";
  }

  static inline int64_t watchFrom = 0, watchTo = -1, watchGap = 0, lastTurn = 0;
  static inline int32_t sfxStart = 0, sfxSwat = 0, sfxMiss = 0, sfxClear = 0, sfxTimeUp = 0;
  static media_files::TempDir* dir;
  static std::string out;
  static std::vector<float> mix;  // interleaved stereo, in 16-bit units
  static Piece bgm, final;
};

media_files::TempDir* Recording::dir = nullptr;
std::string Recording::out;
std::vector<float> Recording::mix;
// BGM: 132 beats a minute, the marimba doubles the tune in bars 25-32. FINAL: 152, the climb.
Piece Recording::bgm{Media("BGM.mid"), 4 * 60.0 / 132, 24, 28};
Piece Recording::final{Media("FINAL.mid"), 4 * 60.0 / 152, 16, 20};

TEST_F(Recording, BackgroundMusicPlaysCleanAndLoopsOnTime) {
  Check("BGM", bgm);
}

TEST_F(Recording, FinalMusicPlaysCleanAndLoopsOnTime) {
  Check("FINAL", final);
}

}  // namespace
