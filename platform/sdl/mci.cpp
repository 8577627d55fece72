// The multimedia command interpreter over SDL_mixer.
//
// Two kinds of device, chosen by the file's extension:
// - waveaudio (.wav): the file is decoded once into a chunk, and every device plays it on a
//   mixer channel of its own, so several aliases of one file sound at the same time.
// - sequencer (.mid): SDL_mixer's one music stream through FluidSynth. Any number of pieces may
//   be open, but only one sounds: playing one stops whichever other piece was sounding (its
//   pending notification is answered ABORTED).
//
// Nothing here may stall a frame, so what is slow is done once and kept: the audio device is
// opened on first use, decoded chunks and MIDI files (bytes, length and a loaded music object)
// are cached by path for the life of the process.
//
// Threads: SDL_mixer calls us back on the audio thread. There we only read or count a few facts
// under AudioShared's mutex and post a task to the UI thread. Every device and every Mix_ call
// that plays, stops or frees lives on the UI thread; a helper thread only loads spare music
// objects, which takes tens of milliseconds and touches no mixer state (see MidiData).
#include <SDL.h>
#include <SDL_mixer.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/mMain.h"
#include "platform/mci_midi.h"
#include "platform/mci_parse.h"
#include "platform/mci_wave.h"

namespace platform::mci {

namespace {

constexpr int kRate = 44100;
constexpr int kBufferFrames = 1024;
constexpr int kFirstChannels = 64;
constexpr int kMaxChannels = 1 << 16;
// The end of a piece is its last event; a tenth of a second more lets its final notes begin to
// fade instead of being cut, yet keeps a loop's rhythm.
constexpr double kReleaseSeconds = 0.1;
constexpr off_t kMaxWaveBytes = off_t{64} << 20;  // the most a sound may decode to (mci_wave.h)
constexpr off_t kMaxMidiBytes = off_t{16} << 20;
constexpr const char* kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
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

using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

// One MIDI file. A music object that was stopped in the middle of a piece still holds the
// synthesiser's sounding voices, and they would ring on at its next start; so a stopped object
// is "dirty", a fresh one is prepared in the background, and the next play takes the fresh one.
// After a natural end the object is reused as it is: what rings on then is the last note's
// release flowing into the repeat, as on a real sequencer.
struct MidiData {
  Stamp stamp;
  Bytes bytes;
  double seconds = 0;
  Mix_Music* current = nullptr;
  bool dirty = false;
  Mix_Music* fresh = nullptr;
  bool preparing = false;
  MidiData() = default;
  MidiData(const MidiData&) = delete;
  MidiData& operator=(const MidiData&) = delete;
  ~MidiData() {
    if (current) Mix_FreeMusic(current);
    if (fresh) Mix_FreeMusic(fresh);
  }
};

struct Device {
  uint32_t id = 0;
  std::string alias;
  bool wave = true;
  bool sounding = false;
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
  Mix_Music* music = nullptr;
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
  std::vector<MciLogEntry>* log = nullptr;
  // the helper that loads fresh music objects
  SDL_Thread* worker = nullptr;
  std::mutex workMutex;
  std::condition_variable workCv;
  std::deque<Job> jobs;
  std::vector<Job> ready;
  bool stopWorker = false;
};

// Never destroyed: the audio thread and exit handlers may still look at it.
Engine& E() {
  static Engine* e = new Engine();
  return *e;
}

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
};

AudioShared& A() {
  static AudioShared* a = new AudioShared();
  return *a;
}

// SDL_mixer retries opening its MIDI decoders inside every load, and one of them keeps global
// state: two loads at once (the helper's and a first open) must never overlap.
std::mutex& LoadMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}

Mix_Music* LoadMusic(const Bytes& bytes) {
  SDL_RWops* rw = SDL_RWFromConstMem(bytes->data(), static_cast<int>(bytes->size()));
  if (!rw) return nullptr;
  std::lock_guard<std::mutex> lock(LoadMutex());
  return Mix_LoadMUSType_RW(rw, MUS_MID, SDL_TRUE);
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

void CollectReady() {
  Engine& e = E();
  std::vector<Job> done;
  {
    std::lock_guard<std::mutex> lock(e.workMutex);
    done.swap(e.ready);
  }
  for (Job& j : done) {
    std::shared_ptr<MidiData> m = j.target.lock();
    if (m) m->preparing = false;
    if (m && !m->fresh && j.music) {
      m->fresh = j.music;
    } else if (j.music) {
      Mix_FreeMusic(j.music);
    }
  }
}

// An SDL thread, not a std::thread: SDL frees its per-thread error buffer only for its own.
int WorkerLoop(void*) {
  Engine& e = E();
  while (true) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(e.workMutex);
      e.workCv.wait(lock, [&] { return e.stopWorker || !e.jobs.empty(); });
      if (e.stopWorker) return 0;
      job = std::move(e.jobs.front());
      e.jobs.pop_front();
    }
    // Creating a music object touches no mixer state: it builds a synthesiser of its own.
    job.music = LoadMusic(job.bytes);
    {
      std::lock_guard<std::mutex> lock(e.workMutex);
      e.ready.push_back(std::move(job));
    }
    platform::PostToMainThread(CollectReady);
  }
}

void RequestFresh(const std::shared_ptr<MidiData>& m) {
  Engine& e = E();
  if (m->fresh || m->preparing || e.closed) return;
  m->preparing = true;
  {
    std::lock_guard<std::mutex> lock(e.workMutex);
    e.jobs.push_back({m, m->bytes, nullptr});
  }
  if (!e.worker) e.worker = SDL_CreateThread(WorkerLoop, "zorbilo-music", nullptr);
  if (!e.worker) {
    // Without a helper the stopped piece is simply reused.
    std::lock_guard<std::mutex> lock(e.workMutex);
    e.jobs.clear();
    m->preparing = false;
    return;
  }
  e.workCv.notify_one();
}

// Takes the device's piece out of the music stream. natural: it has played to its end.
void HaltSequencer(Device& d, bool natural) {
  Engine& e = E();
  bool inStream = e.musicOwner == d.id && d.sounding;
  d.sounding = false;
  if (!inStream) return;
  e.musicOwner = 0;
  Disarm();
  if (natural) {
    d.midi->dirty = false;
  } else {
    d.midi->dirty = true;
    RequestFresh(d.midi);
  }
  Mix_HaltMusic();  // calls our finished hook at once; its task finds nothing sounding
}

// A piece has reached its end: by our own count of mixed audio, or (should the synthesiser ever
// get there first) by the stream finishing.
void OnMusicEnd(uint64_t serial) {
  Engine& e = E();
  if (serial != e.musicSerial) return;
  Device* d = ById(e.musicOwner);
  if (!d || !d->sounding) return;
  HaltSequencer(*d, true);
  Resolve(*d, MCI_NOTIFY_SUCCESSFUL);
}

MCIERROR StartSequencer(Device& d, uint32_t fromMs) {
  Engine& e = E();
  MidiData& m = *d.midi;
  if (m.dirty && m.fresh) {
    Mix_FreeMusic(m.current);
    m.current = m.fresh;
    m.fresh = nullptr;
    m.dirty = false;
  }
  if (!m.current) return MCIERR_HARDWARE;
  uint64_t start = static_cast<uint64_t>(fromMs) * static_cast<uint64_t>(e.freq) / 1000u;
  auto end = static_cast<uint64_t>((m.seconds + kReleaseSeconds) * e.freq);
  {
    // Armed before the stream starts: at worst one buffer mixed just before it is counted,
    // which the release more than covers.
    std::lock_guard<std::mutex> lock(A().m);
    A().serial = ++e.musicSerial;
    A().armed = true;
    A().posted = false;
    A().frames = start;
    A().endFrames = end;
  }
  if (Mix_PlayMusic(m.current, 0) != 0) {
    Disarm();
    return MCIERR_HARDWARE;
  }
  if (fromMs > 0 && Mix_SetMusicPosition(fromMs / 1000.0) != 0) {
    Disarm();
    Mix_HaltMusic();
    return kErrUnsupported;
  }
  e.musicOwner = d.id;
  d.sounding = true;
  m.dirty = true;  // until it ends by itself, a stop would leave voices behind
  return 0;
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

void OnPostMix(void*, Uint8*, int len) {
  uint64_t fire = 0;
  {
    std::lock_guard<std::mutex> lock(A().m);
    AudioShared& a = A();
    if (!a.armed || a.posted || len <= 0) return;
    a.frames += static_cast<uint64_t>(len / a.frameBytes);
    if (a.frames >= a.endFrames) {
      a.posted = true;
      fire = a.serial;
    }
  }
  if (fire) platform::PostToMainThread([fire] { OnMusicEnd(fire); });
}

// ---- The audio device --------------------------------------------------------------------------

void Shutdown() {
  Engine& e = E();
  if (!e.audioOk || e.closed) return;
  e.closed = true;
  Mix_SetPostMix(nullptr, nullptr);
  Mix_HookMusicFinished(nullptr);
  Mix_ChannelFinished(nullptr);
  Mix_HaltMusic();
  Mix_HaltChannel(-1);
  if (e.worker) {
    {
      std::lock_guard<std::mutex> lock(e.workMutex);
      e.stopWorker = true;
    }
    e.workCv.notify_all();
    SDL_WaitThread(e.worker, nullptr);
    e.worker = nullptr;
  }
  for (Job& j : e.ready)
    if (j.music) Mix_FreeMusic(j.music);
  e.ready.clear();
  e.jobs.clear();
  e.byId.clear();
  e.devices.clear();
  e.waves.clear();
  e.midis.clear();
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool EnsureAudio() {
  Engine& e = E();
  if (e.closed) return false;
  if (e.audioTried) return e.audioOk;
  // Tried once: without a sound device the game runs silent rather than retrying every open.
  e.audioTried = true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  // The system's General MIDI font, unless the user chose another one.
  struct stat st {};
  if (!SDL_getenv("SDL_SOUNDFONTS") && stat(kSoundFont, &st) == 0) Mix_SetSoundFonts(kSoundFont);
  Mix_Init(MIX_INIT_MID);
  if (Mix_OpenAudio(kRate, AUDIO_S16SYS, 2, kBufferFrames) != 0) {
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  int freq = kRate, channels = 2;
  Uint16 format = AUDIO_S16SYS;
  Mix_QuerySpec(&freq, &format, &channels);
  e.freq = freq > 0 ? freq : kRate;
  e.frameBytes = std::max(1, channels * static_cast<int>(SDL_AUDIO_BITSIZE(format) / 8));
  {
    std::lock_guard<std::mutex> lock(A().m);
    A().frameBytes = e.frameBytes;
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
  e.audioOk = true;
  std::atexit(Shutdown);
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
  return rw ? Mix_LoadWAV_RW(rw, SDL_TRUE) : nullptr;
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
  Mix_Music* music = LoadMusic(bytes);
  if (!music) return nullptr;
  auto m = std::make_shared<MidiData>();
  m->stamp = stamp;
  m->bytes = std::move(bytes);
  m->seconds = *seconds;
  m->current = music;
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
      HaltSequencer(*other, false);
    }
  }
  HaltSequencer(d, false);
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
    HaltSequencer(d, false);
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
