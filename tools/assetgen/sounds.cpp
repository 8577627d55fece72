// The five sound effects, synthesised: additive tones for the jingles, filtered noise for the
// slap and the whoosh. Mono, 16-bit, 44.1 kHz.
#include <algorithm>
#include <cmath>

#include "assetgen.h"

namespace assetgen {
namespace {

constexpr int kRate = 44100;
constexpr double kTau = 6.283185307179586;

using Buffer = std::vector<float>;

double noteHz(int midi) {
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// Band-limited tone: harmonics up to 16 kHz, each weighted by `harmonic(n, t)`; the pitch
// may bend with time and carries a gentle vibrato once the note has settled.
void tone(Buffer& b, double start, double length, double hz, float gain,
          const std::function<double(int, double)>& harmonic,
          const std::function<double(double)>& envelope, double vibrato = 0.0,
          const std::function<double(double)>& bend = nullptr) {
  const size_t s0 = static_cast<size_t>(start * kRate);
  const size_t n = static_cast<size_t>(length * kRate);
  if (b.size() < s0 + n) b.resize(s0 + n, 0.0f);
  double phase = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double f = hz * (bend ? bend(t) : 1.0);
    if (vibrato > 0 && t > 0.12) f *= 1.0 + vibrato * std::sin(kTau * 5.5 * (t - 0.12));
    phase += f / kRate;
    double v = 0;
    for (int h = 1; h * f < 16000.0 && h <= 40; ++h) {
      const double w = harmonic(h, t);
      if (w != 0) v += w * std::sin(kTau * phase * h);
    }
    b[s0 + i] += gain * static_cast<float>(v * envelope(t));
  }
}

// Attack-decay-sustain-release envelope over a note of the given length.
std::function<double(double)> adsr(double a, double d, double s, double r, double length) {
  return [=](double t) {
    double v;
    if (t < a)
      v = t / a;
    else if (t < a + d)
      v = 1.0 - (1.0 - s) * (t - a) / d;
    else
      v = s;
    if (t > length - r) v *= std::max(0.0, (length - t) / r);
    return v;
  };
}

// Bright square-ish tone (odd harmonics, softened) for the start jingle.
double bright(int h, double) {
  return h % 2 ? 1.0 / h : 0.25 / h;
}

// Brass: sawtooth whose upper harmonics open up with the attack and close again as it decays.
std::function<double(int, double)> brass(double openTime, double brightness) {
  return [=](int h, double t) {
    const double open = std::min(1.0, t / openTime) * std::exp(-t * 0.7);
    const double cutoff = 1.5 + brightness * open;
    return (1.0 / h) / (1.0 + std::pow(h / cutoff, 3.0));
  };
}

// A state-variable filter, for shaped noise.
struct Svf {
  double low = 0, band = 0;
  double run(double in, double hz, double q) {
    const double f = 2.0 * std::sin(3.141592653589793 * std::min(hz, kRate / 6.0) / kRate);
    low += f * band;
    const double high = in - low - q * band;
    band += f * high;
    return band;
  }
};

// The loudest 400 ms of a sound as the ear weighs it (K-weighted mean square, in LUFS): the
// effects are levelled by how loud they sound, not by their peaks.
double loudestMoment(const Buffer& b) {
  struct Stage {
    double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
    double run(double x) {
      const double y = b0 * x + z1;
      z1 = b1 * x - a1 * y + z2;
      z2 = b2 * x - a2 * y;
      return y;
    }
  };
  // A +4 dB shelf over 1.7 kHz (the head), then a high pass at 38 Hz.
  double k = std::tan(3.141592653589793 * 1681.974450955533 / kRate);
  const double q1 = 0.7071752369554196, vh = std::pow(10.0, 3.999843853973347 / 20.0);
  const double vb = std::pow(vh, 0.4996667741545416), n1 = 1 + k / q1 + k * k;
  Stage shelf{(vh + vb * k / q1 + k * k) / n1, 2 * (k * k - vh) / n1,
              (vh - vb * k / q1 + k * k) / n1, 2 * (k * k - 1) / n1, (1 - k / q1 + k * k) / n1};
  k = std::tan(3.141592653589793 * 38.13547087602444 / kRate);
  const double q2 = 0.5003270373238773, n2 = 1 + k / q2 + k * k;
  Stage high{1, -2, 1, 2 * (k * k - 1) / n2, (1 - k / q2 + k * k) / n2};
  const size_t window = static_cast<size_t>(0.4 * kRate);
  std::vector<double> sum(b.size() + 1, 0.0);
  for (size_t i = 0; i < b.size(); ++i) {
    const double y = high.run(shelf.run(b[i]));
    sum[i + 1] = sum[i] + y * y;
  }
  double loudest = 0;
  for (size_t i = 0; i + window <= b.size() || i == 0; i += kRate / 100)
    loudest = std::max(loudest, (sum[std::min(i + window, b.size())] - sum[i]) / window);
  return -0.691 + 10.0 * std::log10(std::max(loudest, 1e-20));
}

// Levels a sound to the loudness of the set (never with a peak over -1 dBFS) and fades the ends
// so nothing clicks. Mono; played on both speakers it sounds 3 dB louder.
Buffer finish(Buffer b, double fadeIn, double fadeOut, double lufs = -16.0) {
  float peak = 0;
  for (float v : b) peak = std::max(peak, std::fabs(v));
  const double ceiling = std::pow(10.0, -1.0 / 20.0);
  const double gain = std::min(std::pow(10.0, (lufs - loudestMoment(b)) / 20.0), ceiling / peak);
  if (peak > 0)
    for (float& v : b) v *= static_cast<float>(gain);
  const size_t in = static_cast<size_t>(fadeIn * kRate), out = static_cast<size_t>(fadeOut * kRate);
  for (size_t i = 0; i < in && i < b.size(); ++i) b[i] *= static_cast<float>(i) / in;
  for (size_t i = 0; i < out && i < b.size(); ++i)
    b[b.size() - 1 - i] *= static_cast<float>(i) / out;
  if (!b.empty()) b.back() = 0.0f;
  return b;
}

Buffer startJingle() {
  Buffer b;
  // A quick rising arpeggio into a held, shimmering top note, in sixteenths of the stage music's
  // tempo (132 a minute), which it sounds over: the top note lands on the second beat.
  const double step = 60.0 / 132 / 4;
  const int notes[] = {67, 72, 76, 79};
  for (int i = 0; i < 4; ++i)
    tone(b, step * i, 0.16, noteHz(notes[i]), 0.35f, bright, adsr(0.004, 0.05, 0.6, 0.05, 0.16));
  const double hold = 4 * step;
  tone(b, hold, 0.95, noteHz(84), 0.34f, bright, adsr(0.005, 0.2, 0.5, 0.5, 0.95), 0.006);
  tone(b, hold, 0.95, noteHz(76), 0.2f, bright, adsr(0.005, 0.2, 0.45, 0.5, 0.95), 0.006);
  tone(b, hold, 0.95, noteHz(79), 0.2f, bright, adsr(0.005, 0.2, 0.45, 0.5, 0.95), 0.006);
  // Bell sparkle on top.
  tone(
      b, hold, 0.9, noteHz(96), 0.12f,
      [](int h, double) { return h == 1   ? 1.0
                                 : h == 3 ? 0.3
                                          : 0.0; },
      [](double t) { return std::exp(-t * 5.0); });
  b.resize(static_cast<size_t>((hold + 0.98) * kRate), 0.0f);
  return finish(b, 0.002, 0.05);
}

Buffer swatSlap() {
  Buffer b(static_cast<size_t>(0.22 * kRate), 0.0f);
  Rng rng(0x51a9);
  Svf crack, smack;
  double phase = 0;
  for (size_t i = 0; i < b.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double white = rng.uniform() * 2.0 - 1.0;
    // Sharp crack of the mesh on the table, the smack of the fly, and a low thump.
    const double c = crack.run(white, 5200.0, 0.7) * std::exp(-t / 0.010);
    const double m = smack.run(white, 1100.0 - 500.0 * t / 0.22, 0.5) * std::exp(-t / 0.035);
    phase += (55.0 + 140.0 * std::exp(-t / 0.03)) / kRate;
    const double thump = std::sin(kTau * phase) * std::exp(-t / 0.04);
    const double v = 3.0 * c + 2.2 * m + 0.75 * thump;
    b[i] = static_cast<float>(std::tanh(1.6 * v));
  }
  return finish(b, 0.0008, 0.03);
}

Buffer missWhoosh() {
  Buffer b(static_cast<size_t>(0.26 * kRate), 0.0f);
  Rng rng(0xa1f0);
  Svf f1, f2;
  for (size_t i = 0; i < b.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double x = t / 0.26;
    // Air rushing past: a noise band that sweeps up and back down, swelling and fading.
    const double hz = 500.0 + 1700.0 * std::sin(3.141592653589793 * std::pow(x, 0.8));
    const double white = rng.uniform() * 2.0 - 1.0;
    const double v = f2.run(f1.run(white, hz, 0.9), hz, 0.9);
    const double env = std::pow(std::sin(3.141592653589793 * std::pow(x, 0.6)), 2.0);
    b[i] = static_cast<float>(v * env);
  }
  return finish(b, 0.005, 0.03);
}

Buffer clearFanfare() {
  Buffer b;
  struct N {
    double at, len;
    int midi;
  };
  // Ta-ta-ta-taaa, ta-taaaa: up the major triad to the octave, then a held chord.
  const N tune[] = {{0.00, 0.12, 72}, {0.13, 0.12, 76}, {0.26, 0.12, 79},
                    {0.39, 0.36, 84}, {0.78, 0.12, 79}, {0.92, 1.35, 84}};
  for (const N& n : tune)
    tone(b, n.at, n.len, noteHz(n.midi), 0.34f, brass(0.05, 9.0),
         adsr(0.012, 0.08, 0.75, std::min(0.06, n.len / 3), n.len), n.len > 1 ? 0.007 : 0.0);
  // Harmony under the last note.
  for (int m : {64, 67, 76})
    tone(b, 0.92, 1.35, noteHz(m), 0.2f, brass(0.08, 6.0), adsr(0.02, 0.1, 0.7, 0.5, 1.35), 0.006);
  tone(b, 0.92, 1.35, noteHz(48), 0.25f, brass(0.1, 4.0), adsr(0.02, 0.2, 0.6, 0.5, 1.35));
  // Pickup chord under the first run.
  tone(b, 0.0, 0.75, noteHz(60), 0.18f, brass(0.05, 5.0), adsr(0.01, 0.1, 0.6, 0.1, 0.75));
  b.resize(static_cast<size_t>(2.35 * kRate), 0.0f);
  return finish(b, 0.002, 0.08);
}

Buffer timeUpPhrase() {
  Buffer b;
  // Four falling steps, the last one sagging and wobbling: the sad trombone of a lost stage.
  const int steps[] = {67, 66, 65};
  for (int i = 0; i < 3; ++i)
    tone(b, 0.36 * i, 0.34, noteHz(steps[i]), 0.4f, brass(0.06, 7.0),
         adsr(0.02, 0.1, 0.8, 0.06, 0.34));
  const double last = 1.08, len = 1.12;
  tone(b, last, len, noteHz(64), 0.45f, brass(0.1, 7.0), adsr(0.02, 0.2, 0.8, 0.4, len), 0.0,
       [](double t) {
         const double sag = 1.0 - 0.03 * std::min(1.0, t / 1.0);
         const double wobble = t > 0.25 ? 1.0 + 0.018 * std::sin(kTau * 6.0 * (t - 0.25)) : 1.0;
         return sag * wobble;
       });
  // A low partner an octave down gives the phrase its weight.
  for (int i = 0; i < 3; ++i)
    tone(b, 0.36 * i, 0.34, noteHz(steps[i] - 12), 0.22f, brass(0.06, 4.0),
         adsr(0.02, 0.1, 0.8, 0.06, 0.34));
  tone(b, last, len, noteHz(52), 0.25f, brass(0.1, 4.0), adsr(0.02, 0.2, 0.8, 0.4, len));
  b.resize(static_cast<size_t>(2.3 * kRate), 0.0f);
  // A lost stage is told, not shouted: a shade under the fanfare of a won one.
  return finish(b, 0.003, 0.08, -16.5);
}

}  // namespace

std::vector<OutFile> makeSounds() {
  return {
      {"game/media/START.wav", encodeWav16(startJingle(), kRate)},
      {"game/media/SWAT.wav", encodeWav16(swatSlap(), kRate)},
      {"game/media/MISS.wav", encodeWav16(missWhoosh(), kRate)},
      {"game/media/CLEAR.wav", encodeWav16(clearFanfare(), kRate)},
      {"game/media/TIMEUP.wav", encodeWav16(timeUpPhrase(), kRate)},
  };
}

}  // namespace assetgen
