// The multimedia command interpreter over SDL_mixer.
//
// Two kinds of device, chosen by the file's extension:
// - waveaudio (.wav): the file is decoded once into a chunk, and every device plays it on a
//   mixer channel of its own, so several aliases of one file sound at the same time.
// - sequencer (.mid): the one music stream (music.h: SDL_mixer's through FluidSynth on the
//   desktops, the page's FluidSynth in the browser). Any number of pieces may be open, but only
//   one sounds: playing one stops whichever other piece was sounding (its pending notification
//   is answered ABORTED).
//
// Nothing here may stall a frame, so what is slow is done once and kept: the audio device is
// opened on first use, decoded chunks and MIDI files (bytes, length and a loaded music object)
// are cached by path for the life of the process. The synthesiser and its sound font take from
// a tenth of a second to two seconds to load, so they are loaded away from the frames
// (music::Schedule) as soon as the device opens (at start-up, with the first effect), and so is
// every piece; a play that comes before its piece is ready starts it, from its beginning, the
// moment it is.
//
// Threads: SDL_mixer calls us back on the audio thread. There we only read or count a few facts
// under AudioShared's mutex and post a task to the UI thread. Every device and every Mix_ call
// that plays, stops or frees lives on the UI thread; scheduled work only creates pieces, which
// touches no mixer state (see MidiData).
#include <SDL.h>
#include <SDL_mixer.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/mMain.h"
#include "platform/mci_midi.h"
#include "platform/mci_parse.h"
#include "platform/mci_wave.h"
#include "platform/sdl/music.h"

namespace platform::mci {

namespace {

constexpr int kRate = 44100;
// A loop restarts on a buffer boundary, so a buffer is what it may be off: 512 frames keep that
// within 6 ms either way.
constexpr int kBufferFrames = 512;
constexpr int kFirstChannels = 64;
constexpr int kMaxChannels = 1 << 16;
// The mix is made in floating point, where sums never wrap or clip, and a limiter with 1.5 ms of
// look-ahead holds its peaks under -1.5 dBFS before the device gets it: a swat landing on a snare
// hit is turned down for a moment instead of clipping.
constexpr float kCeiling = 0.8414f;  // -1.5 dBFS
constexpr int kLookAhead = 64;       // frames
constexpr off_t kMaxWaveBytes = off_t{64} << 20;  // the most a sound may decode to (mci_wave.h)
constexpr off_t kMaxMidiBytes = off_t{16} << 20;
constexpr MCIERROR kErrOutOfMemory = MCIERR_BASE + 8;
constexpr MCIERROR kErrUnsupported = MCIERR_BASE + 18;

// Identifies a file's contents cheaply, so that a cached decode is reused only for the same file.
struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  time_t sec = 0;
  long nsec = 0;
  bool operator==(const Stamp&) const = default;
};

struct WaveData {
  Stamp stamp;
  Mix_Chunk* chunk = nullptr;
  WaveData() = default;
  WaveData(const WaveData&) = delete;
  WaveData& operator=(const WaveData&) = delete;
  ~WaveData() {
    if (chunk) Mix_FreeChunk(chunk);
  }
};

using music::Bytes;
using music::Piece;

// One MIDI file. A piece that was stopped in the middle of a piece still holds the
// synthesiser's sounding voices, and they would ring on at its next start; so a stopped object
// is "dirty", a fresh one is prepared in the background, and the next play takes the fresh one.
// After a natural end the object is reused as it is: what rings on then is the last note's
// release flowing into the repeat, as on a real sequencer.
struct MidiData {
  Stamp stamp;
  Bytes bytes;
  double seconds = 0;
  Piece* current = nullptr;  // null until it has been loaded
  bool failed = false;           // the synthesiser refused the file
  bool dirty = false;
  Piece* fresh = nullptr;
  bool preparing = false;
  MidiData() = default;
  MidiData(const MidiData&) = delete;
  MidiData& operator=(const MidiData&) = delete;
  ~MidiData() {
    music::Free(current);
    music::Free(fresh);
  }
};

struct Device {
  uint32_t id = 0;
  std::string alias;
  bool wave = true;
  bool sounding = false;
  bool waiting = false;  // sequencer: played before its piece was loaded; starts when it is
  bool pending = false;  // a play with notify waits for its end
  HWND notifyWnd = nullptr;
  // waveaudio
  std::shared_ptr<WaveData> wav;
  int channel = -1;
  Mix_Chunk view{};  // the chunk from a later start position
  uint64_t token = 0;
  // sequencer
  std::shared_ptr<MidiData> midi;
};

struct Job {
  std::weak_ptr<MidiData> target;
  Bytes bytes;
  Piece* music = nullptr;
};

struct Engine {
  bool audioTried = false;
  bool audioOk = false;
  bool closed = false;
  int freq = kRate;
  int frameBytes = 4;
  int allocated = 0;
  int nextChannel = 0;
  std::vector<int> freeChannels;
  std::vector<uint32_t> channelOwner;                      // device id per mixer channel
  std::map<std::string, std::unique_ptr<Device>> devices;  // by lower-cased alias
  std::unordered_map<uint32_t, Device*> byId;
  uint32_t nextId = 0;
  uint64_t nextToken = 0;
  std::unordered_map<std::string, std::shared_ptr<WaveData>> waves;
  std::unordered_map<std::string, std::shared_ptr<MidiData>> midis;
  uint32_t musicOwner = 0;  // device whose piece is in the music stream
  uint64_t musicSerial = 0;
  // The piece in the music stream, also after its natural end: its last notes ring on until the
  // next play, so a loop's repeat starts over them without a gap or a cut.
  std::shared_ptr<MidiData> inStream;
  Piece* keeper = nullptr;  // loaded at start-up and kept: holds the sound font in memory
  std::vector<MciLogEntry>* log = nullptr;
  // pieces loaded by scheduled work, for the UI thread to collect
  std::mutex readyMutex;
  std::vector<Job> ready;
  bool stopLoading = false;
};

// Never destroyed: the audio thread and exit handlers may still look at it.
Engine& E() {
  static Engine* e = new Engine();
  return *e;
}

// A peak limiter over the finished mix, run by the audio thread alone. Every frame is delayed by
// the look-ahead; the gain glides down to what the loudest frame in that window needs before it
// arrives, and recovers over a tenth of a second.
class Limiter {
 public:
  void Run(float* s, int frames, int channels, int rate) {
    if (channels < 1 || channels > 8) return;
    if (channels != channels_) Reset(channels);
    const auto n = static_cast<size_t>(frames) * static_cast<size_t>(channels);
    // Silence in, silence held and the gain at rest: the output is this very silence. Most
    // buffers of a still screen are, and skipping them keeps an idle game nearly free.
    if (silentFrames_ >= kLookAhead && gain_ == 1.0f &&
        std::all_of(s, s + n, [](float v) { return v == 0.0f; }))
      return;
    const float attack = 1.0f - std::exp(-1.0f / 12.0f);
    const float release = 1.0f - std::exp(-1.0f / (0.1f * static_cast<float>(rate)));
    for (int f = 0; f < frames; ++f) {
      float* x = s + static_cast<size_t>(f) * static_cast<size_t>(channels);
      float peak = 0;
      for (int c = 0; c < channels; ++c) peak = std::max(peak, std::fabs(x[c]));
      silentFrames_ = peak == 0.0f ? std::min(silentFrames_ + 1, kLookAhead) : 0;
      // The window is searched only while some frame in it needs less than full gain.
      limiting_ -= need_[at_] < 1.0f;
      need_[at_] = peak > kCeiling ? kCeiling / peak : 1.0f;
      limiting_ += need_[at_] < 1.0f;
      const float target = limiting_ ? *std::min_element(need_.begin(), need_.end()) : 1.0f;
      gain_ += (target - gain_) * (target < gain_ ? attack : release);
      if (target == 1.0f && gain_ > 0.99999f) gain_ = 1.0f;  // recovered: at rest again
      for (int c = 0; c < channels; ++c) {
        float& slot = delay_[at_ * static_cast<size_t>(channels) + static_cast<size_t>(c)];
        float out = std::clamp(slot * gain_, -kCeiling, kCeiling);
        slot = x[c];
        x[c] = out;
      }
      at_ = (at_ + 1) % kLookAhead;
    }
  }

 private:
  void Reset(int channels) {
    channels_ = channels;
    delay_.assign(static_cast<size_t>(kLookAhead * channels), 0.0f);
    need_.fill(1.0f);
    at_ = 0;
    gain_ = 1.0f;
    limiting_ = 0;
    silentFrames_ = kLookAhead;
  }
  int channels_ = 0;
  std::vector<float> delay_;
  std::array<float, kLookAhead> need_{};
  size_t at_ = 0;
  float gain_ = 1.0f;
  int limiting_ = 0;      // entries of need_ below 1
  int silentFrames_ = 0;  // frames of silence in a row, up to the look-ahead
};

// What the audio thread may read or write, all under m.
struct AudioShared {
  std::mutex m;
  std::vector<uint64_t> channelToken;  // token of the play last started on each channel
  int frameBytes = 4;
  uint64_t serial = 0;  // of the piece in the music stream
  bool armed = false;   // counting mixed frames towards its end
  bool posted = false;
  uint64_t frames = 0;
  uint64_t endFrames = 0;
  bool floatMix = false;
  int channels = 2;
  int rate = kRate;
  Limiter limiter;  // the audio thread's alone
};

AudioShared& A() {
  static AudioShared* a = new AudioShared();
  return *a;
}

// ---- Notifications ---------------------------------------------------------------------------

void Resolve(Device& d, WPARAM code) {
  if (!d.pending) return;
  d.pending = false;
  if (d.notifyWnd) PostMessageA(d.notifyWnd, MM_MCINOTIFY, code, static_cast<LPARAM>(d.id));
}

Device* ById(uint32_t id) {
  auto it = E().byId.find(id);
  return it == E().byId.end() ? nullptr : it->second;
}

// ---- Sequencer -------------------------------------------------------------------------------

void Disarm() {
  std::lock_guard<std::mutex> lock(A().m);
  A().armed = false;
}

// A piece that shares nothing of the game's: loading it loads the synthesiser and the sound font,
// and keeping it keeps the font's samples cached for every later piece.
const Bytes& WarmUpPiece() {
  static const Bytes* piece = new Bytes(std::make_shared<const std::vector<uint8_t>>(
      std::vector<uint8_t>{'M', 'T', 'h', 'd', 0,   0, 0, 6, 0, 0, 0,    1,    0,
                           96,  'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0}));
  return *piece;
}

void StartWaiting(const std::shared_ptr<MidiData>& m);

void CollectReady() {
  Engine& e = E();
  std::vector<Job> done;
  {
    std::lock_guard<std::mutex> lock(e.readyMutex);
    done.swap(e.ready);
  }
  for (Job& j : done) {
    if (j.bytes == WarmUpPiece()) {
      e.keeper = j.music;
      continue;
    }
    std::shared_ptr<MidiData> m = j.target.lock();
    if (m && !m->current) {
      m->current = j.music;
      m->failed = !j.music;
      StartWaiting(m);
      continue;
    }
    if (m) m->preparing = false;
    if (m && !m->fresh && j.music) {
      m->fresh = j.music;
    } else {
      music::Free(j.music);
    }
  }
}

// Hands a load to music::Schedule; false when it has nowhere to go.
bool Enqueue(Job job) {
  if (E().closed) return false;
  return music::Schedule([job = std::move(job)]() mutable {
    job.music = music::Load(job.bytes);
    Engine& e = E();
    {
      std::lock_guard<std::mutex> lock(e.readyMutex);
      // At exit the process is not kept waiting for this; what was loaded goes with it.
      if (e.stopLoading) return;
      e.ready.push_back(std::move(job));
    }
    platform::PostToMainThread(CollectReady);
  });
}

void RequestFresh(const std::shared_ptr<MidiData>& m) {
  if (m->fresh || m->preparing || !m->current) return;
  // With nowhere to load it the stopped piece is simply reused.
  m->preparing = Enqueue({m, m->bytes, nullptr});
}

// Takes the device's piece out of the music stream (or out of the wait for its load).
void HaltSequencer(Device& d) {
  Engine& e = E();
  bool inStream = e.musicOwner == d.id && d.sounding;
  d.sounding = false;
  if (!inStream) return;
  e.musicOwner = 0;
  if (d.waiting) {
    d.waiting = false;
    return;
  }
  Disarm();
  d.midi->dirty = true;
  RequestFresh(d.midi);
  e.inStream = nullptr;
  music::Halt();  // may call our finished hook at once; its task finds nothing sounding
}

// A piece has reached its end: by our own count of mixed audio, or (should the synthesiser ever
// get there first) by the stream finishing. The stream goes on with the last notes' release
// until the next play takes it over.
void OnMusicEnd(uint64_t serial) {
  Engine& e = E();
  if (serial != e.musicSerial) return;
  Device* d = ById(e.musicOwner);
  if (!d || !d->sounding || d->waiting) return;
  d->sounding = false;
  e.musicOwner = 0;
  Disarm();
  d->midi->dirty = false;
  Resolve(*d, MCI_NOTIFY_SUCCESSFUL);
}

MCIERROR StartSequencer(Device& d, uint32_t fromMs) {
  Engine& e = E();
  std::shared_ptr<MidiData> m = d.midi;
  if (m->failed) return MCIERR_HARDWARE;
  if (!m->current) {
    // Still loading: the piece starts from its beginning as soon as it is ready.
    if (fromMs > 0) return kErrUnsupported;
    e.musicOwner = d.id;
    d.sounding = true;
    d.waiting = true;
    return 0;
  }
  if (m->dirty && m->fresh) {
    if (e.inStream == m) e.inStream = nullptr;
    music::Free(m->current);
    m->current = m->fresh;
    m->fresh = nullptr;
    m->dirty = false;
  }
  // Another piece still ringing on in the stream is cut by this play.
  if (e.inStream && e.inStream != m) {
    e.inStream->dirty = true;
    RequestFresh(e.inStream);
  }
  uint64_t start = static_cast<uint64_t>(fromMs) * static_cast<uint64_t>(e.freq) / 1000u;
  auto end = static_cast<uint64_t>(std::llround(m->seconds * e.freq));
  if (music::Play(m->current) != 0) {
    Disarm();
    return MCIERR_HARDWARE;
  }
  e.inStream = m;
  if (fromMs > 0 && music::Seek(fromMs / 1000.0) != 0) {
    Disarm();
    music::Halt();
    e.inStream = nullptr;
    return kErrUnsupported;
  }
  {
    // Armed once the stream has started: a buffer mixed in between (rare) makes the end at
    // most one buffer late, never early.
    std::lock_guard<std::mutex> lock(A().m);
    A().serial = ++e.musicSerial;
    A().armed = true;
    A().posted = false;
    A().frames = start;
    A().endFrames = end;
  }
  e.musicOwner = d.id;
  d.sounding = true;
  d.waiting = false;
  m->dirty = true;  // until it ends by itself, a stop would leave voices behind
  return 0;
}

// A piece has been loaded: the device that was played in the meantime starts now, or is
// told that the synthesiser refused its file.
void StartWaiting(const std::shared_ptr<MidiData>& m) {
  Engine& e = E();
  Device* d = ById(e.musicOwner);
  if (!d || !d->waiting || d->midi != m) return;
  d->waiting = false;
  d->sounding = false;
  e.musicOwner = 0;
  if (m->failed || StartSequencer(*d, 0) != 0) Resolve(*d, MCI_NOTIFY_FAILURE);
}

// ---- Waveaudio -------------------------------------------------------------------------------

void StopWave(Device& d) {
  if (!d.sounding) return;
  d.sounding = false;
  Mix_HaltChannel(d.channel);  // calls our finished hook at once; its task finds nothing sounding
}

void OnChannelEnd(int channel, uint64_t token) {
  Engine& e = E();
  if (channel < 0 || channel >= static_cast<int>(e.channelOwner.size())) return;
  Device* d = ById(e.channelOwner[static_cast<size_t>(channel)]);
  if (!d || !d->sounding || d->token != token) return;
  d->sounding = false;
  Resolve(*d, MCI_NOTIFY_SUCCESSFUL);
}

int AcquireChannel() {
  Engine& e = E();
  if (!e.freeChannels.empty()) {
    int ch = e.freeChannels.back();
    e.freeChannels.pop_back();
    return ch;
  }
  if (e.nextChannel >= e.allocated) {
    if (e.allocated >= kMaxChannels) return -1;
    int want = std::min(std::max(e.allocated * 2, kFirstChannels), kMaxChannels);
    if (Mix_AllocateChannels(want) != want) return -1;
    e.allocated = want;
    e.channelOwner.resize(static_cast<size_t>(want), 0);
    std::lock_guard<std::mutex> lock(A().m);
    A().channelToken.resize(static_cast<size_t>(want), 0);
  }
  return e.nextChannel++;
}

// ---- Audio thread callbacks: record and post, nothing else -----------------------------------

void OnChannelFinished(int channel) {
  uint64_t token = 0;
  {
    std::lock_guard<std::mutex> lock(A().m);
    if (channel < 0 || static_cast<size_t>(channel) >= A().channelToken.size()) return;
    token = A().channelToken[static_cast<size_t>(channel)];
  }
  platform::PostToMainThread([channel, token] { OnChannelEnd(channel, token); });
}

void OnMusicFinished() {
  uint64_t serial;
  {
    std::lock_guard<std::mutex> lock(A().m);
    serial = A().serial;
  }
  platform::PostToMainThread([serial] { OnMusicEnd(serial); });
}

void OnPostMix(void*, Uint8* stream, int len) {
  uint64_t fire = 0;
  {
    std::lock_guard<std::mutex> lock(A().m);
    AudioShared& a = A();
    if (a.floatMix && len > 0)
      a.limiter.Run(reinterpret_cast<float*>(stream), len / a.frameBytes, a.channels, a.rate);
    if (!a.armed || a.posted || len <= 0) return;
    const auto buffer = static_cast<uint64_t>(len / a.frameBytes);
    a.frames += buffer;
    // The next play starts on a buffer boundary: on the one nearest the end of the piece.
    if (a.frames + buffer / 2 >= a.endFrames) {
      a.posted = true;
      fire = a.serial;
    }
  }
  if (fire) platform::PostToMainThread([fire] { OnMusicEnd(fire); });
}

// ---- The audio device --------------------------------------------------------------------------

// At exit only the sound stops: the device is closed so that no callback runs into a process
// being taken down. Freeing synthesisers and a sound font of up to 150 MB, or waiting for a
// load under way, would only keep the player waiting for the window to go; the system takes the
// memory back at once. Everything stays reachable from the engine, which is never destroyed,
// and the synthesiser's library stays loaded for a load still inside it.
void Shutdown() {
  Engine& e = E();
  if (!e.audioOk || e.closed) return;
  e.closed = true;
  Mix_SetPostMix(nullptr, nullptr);
  Mix_HookMusicFinished(nullptr);
  Mix_ChannelFinished(nullptr);
  {
    std::lock_guard<std::mutex> lock(e.readyMutex);
    e.stopLoading = true;
  }
  music::StopScheduling();
  Mix_CloseAudio();
}

bool EnsureAudio() {
  Engine& e = E();
  if (e.closed) return false;
  if (e.audioTried) return e.audioOk;
  // Tried once: without a sound device the game runs silent rather than retrying every open.
  e.audioTried = true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  music::BeforeOpen();
  if (Mix_OpenAudio(kRate, AUDIO_F32SYS, 2, kBufferFrames) != 0) {
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  int freq = kRate, channels = 2;
  Uint16 format = AUDIO_F32SYS;
  Mix_QuerySpec(&freq, &format, &channels);
  e.freq = freq > 0 ? freq : kRate;
  e.frameBytes = std::max(1, channels * static_cast<int>(SDL_AUDIO_BITSIZE(format) / 8));
  {
    std::lock_guard<std::mutex> lock(A().m);
    A().frameBytes = e.frameBytes;
    A().floatMix = format == AUDIO_F32SYS;
    A().channels = channels;
    A().rate = e.freq;
  }
  if (Mix_AllocateChannels(kFirstChannels) == kFirstChannels) e.allocated = kFirstChannels;
  e.channelOwner.assign(static_cast<size_t>(e.allocated), 0);
  {
    std::lock_guard<std::mutex> lock(A().m);
    A().channelToken.assign(static_cast<size_t>(e.allocated), 0);
  }
  Mix_ChannelFinished(OnChannelFinished);
  Mix_HookMusicFinished(OnMusicFinished);
  Mix_SetPostMix(OnPostMix, nullptr);
  music::AfterOpen(e.freq);
  e.audioOk = true;
  std::atexit(Shutdown);
  // The synthesiser and the font, loaded now rather than at the first stage.
  Enqueue({std::weak_ptr<MidiData>(), WarmUpPiece(), nullptr});
  return true;
}

// ---- Files -------------------------------------------------------------------------------------

std::string Extension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return Lower(path.substr(dot));
}

// Only plain files: a fifo or a device of the right name would block or never end.
MCIERROR StatFile(const std::string& path, off_t limit, Stamp& out) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return MCIERR_FILE_NOT_FOUND;
  if (st.st_size > limit) return MCIERR_INVALID_FILE;
  out = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  return 0;
}

// Decodes a wave file only after its header has been read and found to be a sound the mixer
// can hold: a decoder never sees what CheckWave refuses. The bytes are read once and decoded
// from memory, so what was checked is what is decoded.
Mix_Chunk* LoadCheckedWave(const std::string& path, const Stamp& stamp) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stamp.size));
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (got != bytes.size() || !CheckWave(bytes.data(), bytes.size(), E().freq, E().frameBytes))
    return nullptr;
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  Mix_Chunk* chunk = rw ? Mix_LoadWAV_RW(rw, SDL_TRUE) : nullptr;
  if (chunk && chunk->alen == 0) {
    // No sound came out (CheckWave should have seen to that). SDL_mixer 2.8 has then already
    // freed the buffer the chunk still points to, so only the chunk itself goes.
    SDL_free(chunk);
    return nullptr;
  }
  return chunk;
}

std::shared_ptr<WaveData> WaveFor(const std::string& path, const Stamp& stamp) {
  Engine& e = E();
  auto it = e.waves.find(path);
  if (it != e.waves.end() && it->second->stamp == stamp) return it->second;
  Mix_Chunk* chunk = LoadCheckedWave(path, stamp);
  if (!chunk) return nullptr;
  auto w = std::make_shared<WaveData>();
  w->stamp = stamp;
  w->chunk = chunk;
  e.waves[path] = w;  // a device still playing an older version keeps its own
  return w;
}

std::shared_ptr<MidiData> MidiFor(const std::string& path, const Stamp& stamp) {
  Engine& e = E();
  auto it = e.midis.find(path);
  if (it != e.midis.end() && it->second->stamp == stamp) return it->second;
  auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(stamp.size));
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  size_t got = bytes->empty() ? 0 : std::fread(bytes->data(), 1, bytes->size(), f);
  std::fclose(f);
  if (got != bytes->size()) return nullptr;
  std::optional<double> seconds = MidiLengthSeconds(bytes->data(), bytes->size());
  if (!seconds) return nullptr;
  auto m = std::make_shared<MidiData>();
  m->stamp = stamp;
  m->bytes = std::move(bytes);
  m->seconds = *seconds;
  // The synthesiser's part is slow: it is scheduled away from the frames, or done here when it
  // cannot be.
  if (!Enqueue({m, m->bytes, nullptr})) {
    m->current = music::Load(m->bytes);
    if (!m->current) return nullptr;
  }
  e.midis[path] = m;
  return m;
}

// ---- Commands ----------------------------------------------------------------------------------

MCIERROR Open(const Command& c) {
  Engine& e = E();
  if (e.devices.count(c.alias)) return MCIERR_DUPLICATE_ALIAS;
  std::string ext = Extension(c.path);
  bool wave = ext == ".wav";
  if (!wave && ext != ".mid" && ext != ".midi") return MCIERR_EXTENSION_NOT_FOUND;
  Stamp stamp;
  if (MCIERROR err = StatFile(c.path, wave ? kMaxWaveBytes : kMaxMidiBytes, stamp)) return err;
  if (!EnsureAudio()) return MCIERR_HARDWARE;

  auto d = std::make_unique<Device>();
  d->wave = wave;
  d->alias = c.alias;
  if (wave) {
    d->wav = WaveFor(c.path, stamp);
    if (!d->wav) return MCIERR_INVALID_FILE;
    d->channel = AcquireChannel();
    if (d->channel < 0) return MCIERR_HARDWARE;
  } else {
    d->midi = MidiFor(c.path, stamp);
    if (!d->midi) return MCIERR_INVALID_FILE;
  }
  if (++e.nextId == 0) ++e.nextId;
  d->id = e.nextId;
  if (wave) e.channelOwner[static_cast<size_t>(d->channel)] = d->id;
  e.byId[d->id] = d.get();
  e.devices[c.alias] = std::move(d);
  return 0;
}

MCIERROR PlayWave(Device& d, const Command& c) {
  Engine& e = E();
  Mix_Chunk* base = d.wav->chunk;
  uint64_t offset = 0;
  if (c.hasFrom) {
    offset = static_cast<uint64_t>(c.from) * static_cast<uint64_t>(e.freq) / 1000u *
             static_cast<uint64_t>(e.frameBytes);
    if (offset > base->alen) return MCIERR_OUTOFRANGE;
  }
  StopWave(d);
  Mix_Chunk* chunk = base;
  if (offset > 0) {
    d.view =
        Mix_Chunk{0, base->abuf + offset, static_cast<Uint32>(base->alen - offset), base->volume};
    chunk = &d.view;
  }
  d.token = ++e.nextToken;
  {
    std::lock_guard<std::mutex> lock(A().m);
    A().channelToken[static_cast<size_t>(d.channel)] = d.token;
  }
  if (chunk->alen == 0) {
    // Started at its very end: over at once.
    platform::PostToMainThread([ch = d.channel, t = d.token] { OnChannelEnd(ch, t); });
    d.sounding = true;
    return 0;
  }
  if (Mix_PlayChannel(d.channel, chunk, 0) < 0) return MCIERR_HARDWARE;
  d.sounding = true;
  return 0;
}

MCIERROR PlaySequencer(Device& d, const Command& c) {
  Engine& e = E();
  if (e.musicOwner && e.musicOwner != d.id) {
    if (Device* other = ById(e.musicOwner)) {
      Resolve(*other, MCI_NOTIFY_ABORTED);
      HaltSequencer(*other);
    }
  }
  HaltSequencer(d);
  return StartSequencer(d, c.hasFrom ? c.from : 0);
}

MCIERROR Play(Device& d, const Command& c, HWND callback) {
  // Without a start position a sounding device simply goes on.
  if (!c.hasFrom && d.sounding) {
    if (c.notify) {
      Resolve(d, MCI_NOTIFY_SUPERSEDED);
      d.pending = true;
      d.notifyWnd = callback;
    }
    return 0;
  }
  if (c.hasFrom) {
    // Checked before anything changes: a refused play leaves the device as it was.
    if (d.wave) {
      uint64_t offset = static_cast<uint64_t>(c.from) * static_cast<uint64_t>(E().freq) / 1000u *
                        static_cast<uint64_t>(E().frameBytes);
      if (offset > d.wav->chunk->alen) return MCIERR_OUTOFRANGE;
    } else if (c.from > d.midi->seconds * 1000.0) {
      return MCIERR_OUTOFRANGE;
    }
  }
  Resolve(d, c.notify ? MCI_NOTIFY_SUPERSEDED : MCI_NOTIFY_ABORTED);
  MCIERROR err = d.wave ? PlayWave(d, c) : PlaySequencer(d, c);
  if (err) return err;
  if (c.notify) {
    d.pending = true;
    d.notifyWnd = callback;
  }
  return 0;
}

void Stop(Device& d) {
  Resolve(d, MCI_NOTIFY_ABORTED);
  if (d.wave)
    StopWave(d);
  else
    HaltSequencer(d);
}

void Close(const std::string& alias) {
  Engine& e = E();
  auto it = e.devices.find(alias);
  Device& d = *it->second;
  Stop(d);
  if (d.wave) {
    e.channelOwner[static_cast<size_t>(d.channel)] = 0;
    e.freeChannels.push_back(d.channel);
  }
  e.byId.erase(d.id);
  e.devices.erase(it);
}

MCIERROR Execute(const Command& c, HWND callback) {
  Engine& e = E();
  if (c.verb == Verb::Open) return e.closed ? MCIERR_HARDWARE : Open(c);
  auto it = e.devices.find(c.alias);
  if (it == e.devices.end()) return MCIERR_INVALID_DEVICE_NAME;
  Device& d = *it->second;
  switch (c.verb) {
    case Verb::Play:
      return Play(d, c, callback);
    case Verb::Stop:
      Stop(d);
      return 0;
    case Verb::Close:
      Close(c.alias);
      return 0;
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

}  // namespace

}  // namespace platform::mci

MCIERROR mciSendStringA(LPCSTR lpstrCommand, LPSTR lpstrReturnString, UINT uReturnLength,
                        HWND hwndCallback) {
  using namespace platform::mci;
  try {
    if (E().log) E().log->push_back({lpstrCommand ? lpstrCommand : "", hwndCallback});
    // None of our commands answers with text.
    if (lpstrReturnString && uReturnLength > 0) lpstrReturnString[0] = '\0';
    if (!lpstrCommand) return MCIERR_MISSING_COMMAND_STRING;
    Command c;
    if (MCIERROR err = Parse(lpstrCommand, c)) return err;
    return Execute(c, hwndCallback);
  } catch (...) {
    return kErrOutOfMemory;
  }
}

void mciSetLog(std::vector<MciLogEntry>* log) {
  platform::mci::E().log = log;
}
