// A small, strict reader of Standard MIDI Files, only as far as timing goes.
#include "platform/mci_midi.h"

#include <algorithm>
#include <vector>

namespace platform::mci {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 bpm
// Far beyond any real piece (a day at 480 ticks per beat and 120 bpm is 83 million ticks), yet
// small enough that no sum of deltas overflows.
constexpr uint64_t kMaxTick = uint64_t{1} << 40;

struct Reader {
  const uint8_t* p;
  size_t n;
  size_t at = 0;
  bool ok = true;

  bool Has(size_t k) const { return ok && at <= n && n - at >= k; }
  uint8_t U8() {
    if (!Has(1)) return ok = false, 0;
    return p[at++];
  }
  uint32_t U16() {
    uint32_t a = U8();
    return (a << 8) | U8();
  }
  uint32_t U32() {
    uint32_t a = U16();
    return (a << 16) | U16();
  }
  // A variable-length quantity: at most four bytes.
  uint32_t VarLen() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = U8();
      if (!ok) return 0;
      v = (v << 7) | (b & 0x7F);
      if (!(b & 0x80)) return v;
    }
    ok = false;
    return 0;
  }
  void Skip(size_t k) {
    if (!Has(k)) {
      ok = false;
      return;
    }
    at += k;
  }
};

struct TempoChange {
  uint64_t tick;
  uint32_t tempo;
};

// Walks one track; returns the tick of its last event, or nothing when the track is malformed.
std::optional<uint64_t> ReadTrack(const uint8_t* p, size_t n, std::vector<TempoChange>& tempi) {
  Reader r{p, n};
  uint64_t tick = 0;
  uint64_t last = 0;
  uint8_t running = 0;
  while (r.ok && r.at < n) {
    tick += r.VarLen();
    if (!r.ok || tick > kMaxTick) return std::nullopt;
    uint8_t status = r.U8();
    if (!r.ok) return std::nullopt;
    if (status < 0x80) {
      // Running status: this byte is the first data byte of a repeated channel message.
      if (!running) return std::nullopt;
      --r.at;
      status = running;
    }
    if (status < 0xF0) {
      running = status;
      uint8_t kind = status & 0xF0;
      r.Skip(kind == 0xC0 || kind == 0xD0 ? 1 : 2);
    } else if (status == 0xF0 || status == 0xF7) {
      running = 0;
      r.Skip(r.VarLen());
    } else if (status == 0xFF) {
      running = 0;
      uint8_t type = r.U8();
      uint32_t len = r.VarLen();
      if (!r.Has(len)) return std::nullopt;
      if (type == 0x51 && len >= 3) {
        uint32_t tempo = (uint32_t{p[r.at]} << 16) | (uint32_t{p[r.at + 1]} << 8) | p[r.at + 2];
        if (tempo > 0) tempi.push_back({tick, tempo});
      }
      r.Skip(len);
      if (type == 0x2F) {
        last = tick;
        break;
      }
    } else {
      return std::nullopt;  // system real-time and common messages have no place in a file
    }
    if (!r.ok) return std::nullopt;
    last = tick;
  }
  if (!r.ok) return std::nullopt;
  return last;
}

}  // namespace

std::optional<double> MidiLengthSeconds(const uint8_t* data, size_t size) {
  if (!data) return std::nullopt;
  Reader r{data, size};
  if (size < 14 || data[0] != 'M' || data[1] != 'T' || data[2] != 'h' || data[3] != 'd')
    return std::nullopt;
  r.at = 4;
  uint32_t headerLen = r.U32();
  if (headerLen < 6 || headerLen > size - 8) return std::nullopt;
  uint32_t format = r.U16();
  uint32_t declaredTracks = r.U16();
  uint32_t division = r.U16();
  if (format > 2 || declaredTracks == 0 || division == 0) return std::nullopt;
  r.at = 8 + static_cast<size_t>(headerLen);

  std::vector<TempoChange> tempi;
  uint64_t end = 0;
  int tracks = 0;
  while (size - r.at >= 8) {
    const uint8_t* id = data + r.at;
    r.at += 4;
    uint32_t len = r.U32();
    if (len > size - r.at) return std::nullopt;  // truncated
    if (id[0] == 'M' && id[1] == 'T' && id[2] == 'r' && id[3] == 'k') {
      std::optional<uint64_t> last = ReadTrack(data + r.at, len, tempi);
      if (!last) return std::nullopt;
      end = std::max(end, *last);
      ++tracks;
    }
    r.at += len;  // chunks of unknown kinds are skipped, as the format asks
  }
  if (tracks == 0) return std::nullopt;

  if (division & 0x8000) {
    // SMPTE time: frames per second in the high byte (negated), ticks per frame in the low one.
    int fps = -static_cast<int8_t>(division >> 8);
    int perFrame = static_cast<int>(division & 0xFF);
    if (fps <= 0 || perFrame == 0) return std::nullopt;
    double rate = fps == 29 ? 29.97 : fps;
    return static_cast<double>(end) / (rate * perFrame);
  }

  std::stable_sort(tempi.begin(), tempi.end(),
                   [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
  double seconds = 0;
  uint64_t at = 0;
  uint32_t tempo = kDefaultTempo;
  for (const TempoChange& t : tempi) {
    if (t.tick >= end) break;
    seconds += static_cast<double>(t.tick - at) * tempo / 1e6 / division;
    at = t.tick;
    tempo = t.tempo;
  }
  seconds += static_cast<double>(end - at) * tempo / 1e6 / division;
  return seconds;
}

}  // namespace platform::mci
