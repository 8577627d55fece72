// Loudness as a listener hears it: K-weighted mean square over 400 ms windows (ITU-R BS.1770),
// for checking the game's sounds by what they sound like rather than by their peaks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace loudness {

struct Biquad {
  double b0, b1, b2, a1, a2;
  double z1 = 0, z2 = 0;
  double Run(double x) {
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

// The two stages of the K filter at any rate: a +4 dB shelf above about 1.7 kHz (the head), then
// a high pass at about 38 Hz.
inline Biquad Shelf(double rate) {
  const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
  const double k = std::tan(M_PI * f0 / rate);
  const double vh = std::pow(10.0, gainDb / 20.0);
  const double vb = std::pow(vh, 0.4996667741545416);
  const double a0 = 1.0 + k / q + k * k;
  return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
          2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}
inline Biquad HighPass(double rate) {
  const double f0 = 38.13547087602444, q = 0.5003270373238773;
  const double k = std::tan(M_PI * f0 / rate);
  const double a0 = 1.0 + k / q + k * k;
  return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

// K-weighted squares of one channel.
inline std::vector<double> WeightedSquares(const std::vector<double>& x, double rate) {
  Biquad s = Shelf(rate), h = HighPass(rate);
  std::vector<double> out(x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    const double y = h.Run(s.Run(x[i]));
    out[i] = y * y;
  }
  return out;
}

inline double Lufs(double meanSquare) {
  return meanSquare > 0 ? -0.691 + 10.0 * std::log10(meanSquare) : -200.0;
}

// Channels as full-scale doubles (-1..1), all of one length. The mean squares of the 400 ms
// windows, one every `hop` samples, summed over the channels (weight 1 each: left and right).
inline std::vector<double> WindowPowers(const std::vector<std::vector<double>>& channels,
                                        double rate, size_t hop) {
  if (channels.empty()) return {};
  const size_t n = channels[0].size();
  const size_t w = static_cast<size_t>(0.4 * rate);
  std::vector<double> sum(n, 0.0);
  for (const auto& c : channels) {
    std::vector<double> sq = WeightedSquares(c, rate);
    for (size_t i = 0; i < n; ++i) sum[i] += sq[i];
  }
  // A sound shorter than a window is heard whole in one window.
  std::vector<double> prefix(n + 1, 0.0);
  for (size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + sum[i];
  std::vector<double> powers;
  if (n <= w) {
    powers.push_back(prefix[n] / static_cast<double>(w));
    return powers;
  }
  for (size_t s = 0; s + w <= n; s += hop) powers.push_back((prefix[s + w] - prefix[s]) / w);
  return powers;
}

// The loudest moment: the maximum momentary loudness, in LUFS.
inline double MomentaryMax(const std::vector<std::vector<double>>& channels, double rate) {
  std::vector<double> p = WindowPowers(channels, rate, static_cast<size_t>(rate / 100));
  return p.empty() ? -200.0 : Lufs(*std::max_element(p.begin(), p.end()));
}

// Integrated loudness over the whole signal: 400 ms blocks overlapping by three quarters, gated
// at -70 LUFS and then 10 LU under the mean of what passed.
inline double Integrated(const std::vector<std::vector<double>>& channels, double rate) {
  std::vector<double> p = WindowPowers(channels, rate, static_cast<size_t>(0.1 * rate));
  auto gatedMean = [&](double floorLufs) {
    double s = 0;
    size_t k = 0;
    for (double v : p)
      if (Lufs(v) > floorLufs) s += v, ++k;
    return k ? s / static_cast<double>(k) : 0.0;
  };
  const double first = gatedMean(-70.0);
  return Lufs(gatedMean(std::max(-70.0, Lufs(first) - 10.0)));
}

}  // namespace loudness
