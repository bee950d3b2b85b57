#pragma once

// Scaling in linear light written from the formulas (the sRGB curve, the filter's
// kernel in double precision), slowly: what the scaling's results are held against.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "image/resample.h"

namespace quorlin::test {

// The sRGB curve, both ways, straight from its definition (decoding looked up
// from a table of it, as the large pictures need it often).
inline double Decode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
inline double ToLinear(int stored) {
  static const auto table = [] {
    std::vector<double> t;
    for (int i = 0; i < 256; ++i) t.push_back(Decode(i / 255.0));
    return t;
  }();
  return table[stored];
}
inline int ToStored(double linear) {
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// The Catmull-Rom cubic (the Mitchell-Netravali family's B = 0, C = 1/2) in its textbook form.
inline double CatmullRom(double x) {
  x = std::fabs(x);
  return x < 1 ? (1.5 * x - 2.5) * x * x + 1 : x < 2 ? ((-0.5 * x + 2.5) * x - 4) * x + 2 : 0;
}

// What each output pixel takes from the input along one axis: (input pixel clamped into the picture,
// weight), the weights summing to 1. Pixel i covers [i, i + 1); output pixel o stands for the input
// span [o / scale, (o + 1) / scale). The cubic is stretched by 1 / scale around its centre.
inline std::vector<std::vector<std::pair<int, double>>> Taps(int in, int out) {
  const double scale = static_cast<double>(out) / in;
  std::vector<std::vector<std::pair<int, double>>> taps(out);
  for (int o = 0; o < out; ++o) {
    const double centre = (o + 0.5) / scale;
    double total = 0;
    for (int i = static_cast<int>(std::floor(centre - 3 / scale)); i <= static_cast<int>(centre + 3 / scale); ++i) {
      const double w = CatmullRom((i + 0.5 - centre) * scale);
      if (w == 0) continue;
      taps[o].push_back({std::clamp(i, 0, in - 1), w});
      total += w;
    }
    for (auto& [i, w] : taps[o]) w /= total;
  }
  return taps;
}

// The square picture scaled to side x side: each axis filtered in turn, in linear
// light, in double precision.
inline ImageBuffer Reference(const ImageBuffer& in, int side) {
  const auto taps = Taps(in.Width, side);
  ImageBuffer out{side, side, 24, {}};
  std::vector<double> across(out.Offset(0, in.Height));  // side x in.Height, laid out as out is
  for (int y = 0; y < in.Height; ++y) {
    for (int x = 0; x < side; ++x) {
      for (int c = 0; c < 3; ++c) {
        for (const auto& [i, w] : taps[x]) {
          across[out.Offset(x, y) + c] += w * ToLinear(in.Pixels[in.Offset(i, y) + c]);
        }
      }
    }
  }
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (const auto& [i, w] : taps[y]) sum += w * across[out.Offset(x, i) + c];
        out.Pixels.push_back(static_cast<uint8_t>(ToStored(sum)));
      }
    }
  }
  return out;
}

}  // namespace quorlin::test
