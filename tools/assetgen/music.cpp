// The two pieces of music, written as General MIDI (format 0, one track). Both are 32 bars and
// loop: the last bar turns back into the first, and End-of-Track sits exactly on the bar line,
// because the player takes the piece's length from its last event.
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "assetgen.h"

namespace assetgen {
namespace {

constexpr uint32_t kDivision = 480;        // ticks per quarter note
constexpr uint32_t kStep = kDivision / 4;  // one sixteenth
constexpr uint32_t kBar = kStep * 16;
constexpr uint8_t kDrums = 9;  // channel 10

struct Event {
  uint32_t tick;
  int order;  // at one tick: set-up first, then note-offs, then note-ons
  size_t seq;
  Bytes data;
};

class Song {
 public:
  void setup(uint8_t ch, uint8_t program, uint8_t volume, uint8_t pan, uint8_t reverb) {
    add(0, 1, {static_cast<uint8_t>(0xC0 | ch), program});
    add(0, 1, {static_cast<uint8_t>(0xB0 | ch), 7, volume});
    add(0, 1, {static_cast<uint8_t>(0xB0 | ch), 10, pan});
    add(0, 1, {static_cast<uint8_t>(0xB0 | ch), 91, reverb});
  }
  void drumSetup(uint8_t volume, uint8_t reverb) {
    add(0, 1, {static_cast<uint8_t>(0xB0 | kDrums), 7, volume});
    add(0, 1, {static_cast<uint8_t>(0xB0 | kDrums), 91, reverb});
  }
  void note(uint8_t ch, int pitch, uint32_t start, uint32_t length, int velocity) {
    if (pitch < 0 || pitch > 127 || length == 0) return;
    const uint8_t v = static_cast<uint8_t>(std::clamp(velocity, 1, 127));
    add(start, 3, {static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(pitch), v});
    add(start + length, 2, {static_cast<uint8_t>(0x80 | ch), static_cast<uint8_t>(pitch), 0});
  }
  // A line of notes in sixteenths: "C5:2 E5:2 r:4 A4+C5+E5:8". A note lasts its value times
  // gate; velocity gets a small lift on the beat.
  uint32_t line(uint8_t ch, uint32_t start, const std::string& text, int velocity,
                double gate = 0.9, int transpose = 0) {
    std::istringstream in(text);
    std::string tok;
    uint32_t t = start;
    while (in >> tok) {
      const size_t colon = tok.find(':');
      const uint32_t steps = static_cast<uint32_t>(std::atoi(tok.c_str() + colon + 1));
      const std::string pitches = tok.substr(0, colon);
      const uint32_t len = static_cast<uint32_t>(static_cast<double>(steps * kStep) * gate);
      const int accent = (t % kDivision == 0) ? 8 : 0;
      if (pitches != "r") {
        size_t p = 0;
        while (p < pitches.size()) {
          size_t q = pitches.find('+', p);
          if (q == std::string::npos) q = pitches.size();
          note(ch, pitchOf(pitches.substr(p, q - p)) + transpose, t, len, velocity + accent);
          p = q + 1;
        }
      }
      t += steps * kStep;
    }
    return t;
  }
  static int pitchOf(const std::string& name) {
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    int p = base[name[0] - 'A'];
    size_t i = 1;
    if (name[i] == '#')
      p += 1, ++i;
    else if (name[i] == 'b')
      p -= 1, ++i;
    return p + 12 * (std::atoi(name.c_str() + i) + 1);
  }
  // One bar of drums from strings of 16 steps: each character a velocity level (0-9, '.' = none).
  void drums(uint32_t bar, int key, const std::string& steps) {
    for (size_t i = 0; i < steps.size() && i < 16; ++i)
      if (steps[i] != '.')
        note(kDrums, key, bar * kBar + static_cast<uint32_t>(i) * kStep, kStep / 2,
             40 + (steps[i] - '0') * 9);
  }
  Bytes encode(uint32_t bars, uint32_t microsPerQuarter) {
    add(0, 0,
        {0xFF, 0x51, 3, static_cast<uint8_t>(microsPerQuarter >> 16),
         static_cast<uint8_t>(microsPerQuarter >> 8), static_cast<uint8_t>(microsPerQuarter)});
    add(0, 0, {0xFF, 0x58, 4, 4, 2, 24, 8});  // 4/4
    const uint32_t end = bars * kBar;
    std::vector<Event> ev;
    for (const Event& e : events_)
      if (e.tick <= end) ev.push_back(e);
    std::stable_sort(ev.begin(), ev.end(), [](const Event& a, const Event& b) {
      if (a.tick != b.tick) return a.tick < b.tick;
      if (a.order != b.order) return a.order < b.order;
      return a.seq < b.seq;
    });
    Bytes track;
    uint32_t now = 0;
    auto delta = [&](uint32_t tick) {
      uint32_t d = tick - now;
      now = tick;
      uint8_t buf[5];
      int n = 0;
      buf[n++] = static_cast<uint8_t>(d & 0x7F);
      while (d >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (d & 0x7F));
      while (n) track.push_back(buf[--n]);
    };
    for (const Event& e : ev) {
      // Only notes that start before the loop point are kept, so no note-on sits on it.
      if (e.tick == end && e.order == 3) continue;
      delta(e.tick);
      track.insert(track.end(), e.data.begin(), e.data.end());
    }
    delta(end);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    Bytes out{'M',
              'T',
              'h',
              'd',
              0,
              0,
              0,
              6,
              0,
              0,
              0,
              1,
              static_cast<uint8_t>(kDivision >> 8),
              static_cast<uint8_t>(kDivision & 0xFF)};
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    const uint32_t n = static_cast<uint32_t>(track.size());
    out.insert(out.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    out.insert(out.end(), track.begin(), track.end());
    return out;
  }

 private:
  void add(uint32_t tick, int order, Bytes data) {
    events_.push_back(Event{tick, order, events_.size(), std::move(data)});
  }
  std::vector<Event> events_;
};

struct Chord {
  int root;             // MIDI pitch of the bass root (octave 2)
  std::string voicing;  // triad for the accompaniment
};

// ---------------------------------------------------------------------------------------------
// Stages 1 to 4: a bouncy tune in C major at 132 beats a minute, about 58 seconds.
Bytes bgm() {
  Song s;
  constexpr uint8_t kLead = 0, kBass = 1, kKeys = 2, kPad = 3, kBell = 4;
  s.setup(kLead, 73, 109, 72, 40);  // flute
  s.setup(kBass, 33, 115, 64, 10);  // finger bass
  s.setup(kKeys, 4, 86, 48, 40);    // electric piano
  s.setup(kPad, 49, 67, 80, 60);    // slow strings: their samples stay in phase on one speaker
  s.setup(kBell, 12, 82, 90, 50);   // marimba
  s.drumSetup(100, 30);

  const std::string A1 =
      "G5:3 E5:1 G5:2 C6:2 B5:2 A5:2 G5:4 "
      "A5:3 E5:1 A5:2 C6:2 B5:2 A5:2 E5:4 "
      "F5:2 A5:2 C6:2 A5:2 G5:2 F5:2 E5:2 D5:2 "
      "D5:2 E5:2 F5:2 G5:2 r:2 G5:2 A5:2 B5:2 "
      "C6:3 B5:1 C6:2 G5:2 E5:2 G5:2 C6:4 "
      "A5:3 G5:1 A5:2 E5:2 C5:2 E5:2 A5:4 "
      "F5:2 A5:2 D6:2 C6:2 B5:2 G5:2 A5:2 B5:2 ";
  const std::string endA = "C6:6 r:2 G5:2 E5:2 D5:2 C5:2 ";
  const std::string endB =
      "F5:2 E5:2 D5:2 F5:2 B5:4 A5:2 G5:2 "
      "G5:8 r:2 A5:2 B5:2 C6:2 ";
  const std::string bridge =
      "A5:6 G5:2 F5:4 C6:4 "
      "B5:6 A5:2 G5:4 D6:4 "
      "E6:4 D6:2 B5:2 G5:4 B5:4 "
      "C6:6 B5:2 A5:8 "
      "A5:4 C6:4 F6:4 E6:2 D6:2 "
      "D6:4 B5:4 G5:4 A5:2 B5:2 "
      "C6:4 G5:2 E5:2 C6:4 E6:4 "
      "D6:8 r:2 B5:2 C6:2 D6:2 ";
  // The last bar sits on the dominant and walks up into the G that opens bar 1.
  const std::string turnaround = "B5:4 G5:2 F5:2 D5:2 B4:2 D5:2 F5:2 ";

  uint32_t t = 0;
  t = s.line(kLead, t, A1 + endA, 92, 0.85);
  // Second time round: the same six bars of harmony under a livelier answer to the tune, then a
  // half close on G.
  const std::string A2 =
      "C6:2 G5:2 E5:2 G5:2 C6:3 D6:1 E6:4 "
      "C6:2 A5:2 E5:2 A5:2 C6:3 B5:1 A5:4 "
      "A5:2 C6:2 F6:2 C6:2 A5:2 G5:2 F5:2 A5:2 "
      "G5:3 F5:1 D5:2 B4:2 D5:2 G5:2 B5:4 "
      "E6:3 D6:1 C6:2 G5:2 E6:2 D6:2 C6:4 "
      "A5:2 B5:2 C6:2 E6:2 A5:3 G5:1 A5:4 ";
  t = s.line(kLead, t, A2 + endB, 92, 0.85);
  t = s.line(kLead, t, bridge, 90, 0.92);
  t = s.line(kLead, t, A1 + turnaround, 94, 0.85);

  // The marimba doubles the tune an octave down in the last section.
  s.line(kBell, 24 * kBar, A1 + turnaround, 70, 0.5, -12);

  // Harmony: one chord per half bar.
  const Chord C{36, "E4+G4+C5"}, Am{45, "E4+A4+C5"}, F{41, "F4+A4+C5"}, G{43, "D4+G4+B4"},
      Dm{38, "D4+F4+A4"}, Em{40, "E4+G4+B4"}, G7{43, "D4+F4+B4"};
  const std::vector<std::vector<Chord>> verse = {{C, C}, {Am, Am}, {F, F},  {G, G},
                                                 {C, C}, {Am, Am}, {Dm, G}, {C, C}};
  std::vector<std::vector<Chord>> bars;
  bars.insert(bars.end(), verse.begin(), verse.end());
  bars.insert(bars.end(), verse.begin(), verse.begin() + 6);
  bars.push_back({Dm, G});
  bars.push_back({G, G});
  const std::vector<std::vector<Chord>> middle = {{F, F}, {G, G}, {Em, Em}, {Am, Am},
                                                  {F, F}, {G, G}, {C, C},   {G, G}};
  bars.insert(bars.end(), middle.begin(), middle.end());
  bars.insert(bars.end(), verse.begin(), verse.begin() + 7);
  bars.push_back({G7, G7});

  for (uint32_t b = 0; b < bars.size(); ++b) {
    const uint32_t t0 = b * kBar;
    for (int half = 0; half < 2; ++half) {
      const Chord& c = bars[b][static_cast<size_t>(half)];
      const uint32_t h0 = t0 + static_cast<uint32_t>(half) * 8 * kStep;
      // Bass: root, octave, fifth, root in bouncing eighths.
      const int pat[4] = {0, 12, 7, 12};
      for (int i = 0; i < 4; ++i)
        s.note(kBass, c.root + pat[i], h0 + static_cast<uint32_t>(i) * 2 * kStep,
               kStep * 2 * 8 / 10, i == 0 ? 100 : 84);
      // Keys on the off-beats.
      s.line(kKeys, h0, "r:2 " + c.voicing + ":2 r:2 " + c.voicing + ":2", 62, 0.7);
      if (b >= 16 && b < 24) s.line(kPad, h0, c.voicing + ":8", 52, 1.0, -12);
    }
  }

  for (uint32_t b = 0; b < 32; ++b) {
    const bool fill = b % 8 == 7;
    s.drums(b, 36, fill ? "8.....6.8...8.8." : "8.....6.8.....5.");  // kick
    s.drums(b, 38, fill ? "....8.......8686" : "....8.......8...");  // snare
    s.drums(b, 42, fill ? "5.3.5.3.5.3....." : "5.3.5.3.5.3.5.3.");  // closed hi-hat
    if (b % 2 == 1 && !fill) s.drums(b, 46, "..............4.");     // open hi-hat
    if (b % 8 == 0) s.drums(b, 49, "7...............");              // crash
    if (b >= 16 && b < 24) s.drums(b, 75, "..3..3....3..3..");       // claves
  }
  return s.encode(32, 60'000'000 / 132);
}

// ---------------------------------------------------------------------------------------------
// Stage 5: a driving piece in A minor at 152 beats a minute, about 50 seconds.
Bytes finalTheme() {
  Song s;
  constexpr uint8_t kLead = 0, kBass = 1, kStrings = 2, kBrass = 3, kTimp = 4;
  // Instruments whose samples keep left and right in phase in the common fonts, so the piece
  // survives a phone or laptop speaker; the sawtooth lead, the synth bass and the plain strings
  // of some fonts cancel there.
  s.setup(kLead, 56, 100, 70, 30);     // trumpet
  s.setup(kBass, 33, 112, 64, 10);     // finger bass
  s.setup(kStrings, 44, 116, 50, 60);  // tremolo strings
  s.setup(kBrass, 61, 96, 78, 40);     // brass section
  s.setup(kTimp, 47, 100, 64, 50);     // timpani
  s.drumSetup(100, 30);

  const std::string A =
      "A4:2 r:2 A4:2 C5:2 E5:4 D5:2 C5:2 "
      "D5:2 C5:2 B4:2 C5:2 A4:8 "
      "F5:2 r:2 F5:2 E5:2 D5:4 C5:2 D5:2 "
      "E5:4 G#4:4 B4:4 D5:4 "
      "A5:2 r:2 A5:2 G5:2 E5:4 C5:2 E5:2 "
      "D5:2 E5:2 C5:2 B4:2 A4:8 "
      "C5:2 D5:2 F5:2 A5:2 G5:4 F5:4 ";
  const std::string endA = "E5:6 D5:2 C5:2 B4:2 G#4:4 ";
  const std::string B =
      "D5:4 F5:4 A5:6 G5:2 "
      "E5:4 A5:4 C6:6 B5:2 "
      "Bb5:4 A5:2 G5:2 F5:4 D5:4 "
      "E5:4 G#5:4 B5:8 "
      "D6:4 C6:2 A5:2 F5:4 A5:4 "
      "C6:4 B5:2 A5:2 E5:8 "
      "F5:4 A5:4 C6:4 B5:2 A5:2 "
      "G#5:8 B5:4 E6:4 ";
  const std::string C =
      "A5:3 A5:3 A5:2 C6:4 A5:4 "
      "B5:3 B5:3 B5:2 D6:4 B5:4 "
      "C6:3 C6:3 C6:2 E6:4 C6:4 "
      "E6:4 D6:2 C6:2 B5:2 A5:2 G5:2 E5:2 "
      "F5:3 A5:3 C6:2 F6:4 E6:4 "
      "D6:3 B5:3 G5:2 D6:4 B5:4 "
      "E6:8 D6:4 B5:4 "
      "G#5:4 B5:4 D6:4 E6:4 ";
  // The last bar runs down the E harmonic minor scale onto the A that opens bar 1.
  const std::string run = "B5:2 A5:2 G#5:2 F5:2 E5:2 D5:2 C5:2 B4:2 ";

  uint32_t t = 0;
  t = s.line(kLead, t, A + endA, 96, 0.8);
  t = s.line(kLead, t, B, 98, 0.9);
  t = s.line(kLead, t, C, 100, 0.85);
  t = s.line(kLead, t, A, 100, 0.8, 12);  // the opening tune again, an octave up
  s.line(kLead, t, run, 100, 0.8);

  const Chord Am{45, "A3+C4+E4"}, F{41, "A3+C4+F4"}, E{40, "G#3+B3+E4"}, Dm{38, "A3+D4+F4"},
      Bb{46, "Bb3+D4+F4"}, G{43, "B3+D4+G4"};
  const std::vector<Chord> bars = {Am, Am, F,  E,  Am, Am, F, E, Dm, Am, Bb, E, Dm, Am, F, E,
                                   F,  G,  Am, Am, F,  G,  E, E, Am, Am, F,  E, Am, Am, F, E};
  for (uint32_t b = 0; b < bars.size(); ++b) {
    const Chord& c = bars[b];
    const uint32_t t0 = b * kBar;
    // Bass ostinato: root, root, octave, root, a step below, root, fifth, root.
    const int pat[8] = {0, 0, 12, 0, -2, 0, 7, 0};
    for (int i = 0; i < 8; ++i)
      s.note(kBass, c.root + pat[i], t0 + static_cast<uint32_t>(i) * 2 * kStep, kStep * 3 / 2,
             i % 2 == 0 ? 104 : 88);
    // Strings: restless repeated chords, swelling in the climb.
    const int vel = (b >= 16 && b < 24) ? 84 : 72;
    std::string strings;
    for (int i = 0; i < 4; ++i) strings += c.voicing + ":3 " + c.voicing + ":1 ";
    s.line(kStrings, t0, strings, vel, 0.8);
    // Brass stabs answer the tune from the second section on, an octave over the strings so
    // that they cut through.
    if (b >= 8) s.line(kBrass, t0, c.voicing + ":2 r:4 " + c.voicing + ":2 r:8", 112, 0.7, 12);
    if (b % 8 == 0) s.note(kTimp, c.root, t0, kStep * 4, 110);
    if (b % 8 == 7) s.line(kTimp, t0 + 12 * kStep, "E2:1 E2:1 E2:1 E2:1", 96, 0.9);
  }

  for (uint32_t b = 0; b < 32; ++b) {
    const bool fill = b % 8 == 7;
    s.drums(b, 36, fill ? "8...8...8.8....." : "8...8...8...8.6.");
    s.drums(b, 38, fill ? "....8.......7777" : "....8.......8...");
    s.drums(b, 42, fill ? "6363636363636..." : "6363636363636363");
    if (fill) {
      s.drums(b, 50, "........7.7.....");  // high tom
      s.drums(b, 47, "..........7.7...");  // mid tom
      s.drums(b, 43, "............7.7.");  // low tom
    }
    if (b % 8 == 0) s.drums(b, 49, "8...............");
    if (b % 8 == 4) s.drums(b, 57, "6...............");
  }
  return s.encode(32, 60'000'000 / 152);
}

}  // namespace

std::vector<OutFile> makeMusic() {
  return {
      {"game/media/BGM.mid", bgm()},
      {"game/media/FINAL.mid", finalTheme()},
  };
}

}  // namespace assetgen
