#pragma once

// Scaling in linear light written from the formulas (the sRGB curve, the filters'
// kernels in double precision), slowly: what the scaling's results are held against.
#include <algorithm>
#include <cmath>
#include <vector>

#include "image/resample.h"

namespace quorlin::test {

// The sRGB curve, both ways, straight from its definition (decoding looked up
// from a table of it, as the large pictures need it often).
inline double ToLinear(int stored) {
  static const auto table = [] {
    std::vector<double> t(256);
    for (int i = 0; i < 256; ++i) {
      const double v = i / 255.0;
      t[static_cast<size_t>(i)] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    }
    return t;
  }();
  return table[static_cast<size_t>(stored)];
}
inline int ToStored(double linear) {
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// The Mitchell-Netravali family of cubics in its textbook form.
inline double Cubic(double b, double c, double x) {
  x = std::fabs(x);
  if (x < 1) return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
  if (x < 2)
    return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
  return 0;
}

struct Tap {
  int index;  // input pixel, clamped into the picture
  double weight;
};

// What each output pixel takes from the input along one axis, weights summing to 1.
// Pixel i covers [i, i + 1); output pixel o stands for the input span
// [o / scale, (o + 1) / scale). The Catmull-Rom cubic is stretched by 1 / scale
// around its centre.
inline std::vector<std::vector<Tap>> Taps(int in, int out) {
  const double scale = static_cast<double>(out) / in;
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(out));
  for (int o = 0; o < out; ++o) {
    const double centre = (o + 0.5) / scale;
    double total = 0;
    for (int i = static_cast<int>(std::floor(centre - 3 / scale)); i <= static_cast<int>(centre + 3 / scale); ++i) {
      const double w = Cubic(0, 0.5, (i + 0.5 - centre) * scale);
      if (w == 0) continue;
      taps[static_cast<size_t>(o)].push_back({std::clamp(i, 0, in - 1), w});
      total += w;
    }
    for (Tap& t : taps[static_cast<size_t>(o)]) t.weight /= total;
  }
  return taps;
}

// The square picture scaled to side x side: each axis filtered in turn, in linear
// light, in double precision.
inline ImageBuffer Reference(const ImageBuffer& in, int side) {
  const auto taps = Taps(in.Width, side);
  std::vector<double> rows(static_cast<size_t>(in.Height) * static_cast<size_t>(side) * 3);  // across first
  for (int y = 0; y < in.Height; ++y) {
    for (int x = 0; x < side; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (const Tap& t : taps[static_cast<size_t>(x)]) sum += t.weight * ToLinear(in.Pixels[in.Offset(t.index, y) + c]);
        rows[(static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c)] = sum;
      }
    }
  }
  ImageBuffer out;
  out.Width = out.Height = side;
  out.BitsPerPixel = 24;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (const Tap& t : taps[static_cast<size_t>(y)]) {
          sum += t.weight * rows[(static_cast<size_t>(t.index) * static_cast<size_t>(side) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c)];
        }
        out.Pixels.push_back(static_cast<uint8_t>(ToStored(sum)));
      }
    }
  }
  return out;
}

}  // namespace quorlin::test
