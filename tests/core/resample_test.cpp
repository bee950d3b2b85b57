// Scaling a large picture down in linear light, against the slow reference of support/linear_light.h,
// and the brightness of fine lines, which averaging the stored values loses.
#include "image/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "support/linear_light.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#endif

namespace quorlin {
namespace {

using Painter = std::function<void(int x, int y, uint8_t* bgr)>;

ImageBuffer Paint(int32_t width, int32_t height, const Painter& paint) {
  ImageBuffer image{width, height, 24, std::vector<uint8_t>(width * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) paint(x, y, image.Pixels.data() + image.Offset(x, y));
  }
  return image;
}

// Every channel of every pixel its own value, with no pattern a filter could get right by chance.
ImageBuffer NoisePicture(int32_t side) {
  return Paint(side, side, [](int x, int y, uint8_t* p) {
    for (uint32_t c = 0; c < 3; ++c) {
      uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^ c * 83492791u;
      h = (h ^ h >> 13) * 0x5bd1e995u;
      p[c] = static_cast<uint8_t>(h ^ h >> 15);
    }
  });
}

// Bytes past the pixels do not belong to the picture; at the picture's own side it is copied exactly.
TEST(ResampleInLinearLight, MatchesTheReferenceWithinOneForEveryChannelOfEveryPixel) {
  // 50 -> 1: every tap but the middle ones past an edge
  for (const auto& [in, out] : {std::pair{64, 8}, {40, 16}, {48, 7}, {50, 1}, {40, 40}}) {
    SCOPED_TRACE(std::to_string(in) + " -> " + std::to_string(out));
    ImageBuffer picture = NoisePicture(in);
    const ImageBuffer expected = test::Reference(picture, out);
    picture.Pixels.resize(picture.Pixels.size() + 7, 0xEE);
    const ImageBuffer scaled = ScaleDownInLinearLight(picture, out);
    ASSERT_TRUE(scaled.Width == out && scaled.Height == out && scaled.BitsPerPixel == 24 &&
                scaled.Pixels.size() == expected.Pixels.size());
    int off = 0;
    for (size_t i = 0; i < expected.Pixels.size(); ++i) {
      const int d = std::abs(scaled.Pixels[i] - expected.Pixels[i]);
      EXPECT_LE(d, in == out ? 0 : 1) << "pixel " << i / 3 % out << "," << i / 3 / out << " channel " << i % 3;
      off += d != 0;
    }
    // Only a value that falls close to a rounding step may come out one away.
    EXPECT_LE(off * 20, static_cast<int>(expected.Pixels.size())) << off << " values off";
  }
}

// The mean of the linear-light luminance (Rec. 709 weights) over a picture.
double MeanLuminance(const ImageBuffer& image) {
  double sum = 0;
  for (size_t i = 0; i + 2 < image.Pixels.size(); i += 3) {
    sum += 0.0722 * test::ToLinear(image.Pixels[i]) + 0.7152 * test::ToLinear(image.Pixels[i + 1]) +
           0.2126 * test::ToLinear(image.Pixels[i + 2]);
  }
  return sum / static_cast<double>(image.Pixels.size() / 3);
}
// The mean of the stored (gamma-encoded) values.
double MeanStored(const ImageBuffer& image) {
  double sum = 0;
  for (const uint8_t v : image.Pixels) sum += v;
  return sum / static_cast<double>(image.Pixels.size());
}

// 1-pixel black and white lines: half the light of white everywhere, which the eye sees at a distance
// as the grey stored as 188 (sRGB of 0.5); averaging the stored values gives 128, 57 % too dark.
TEST(ResampleInLinearLight, FineLinesKeepTheirBrightnessWhichAveragingStoredValuesLoses) {
  const struct {
    int in, out;
    bool rows;       // horizontal lines (else vertical)
    bool evenRatio;  // an even number of lines to each output pixel: every pixel the same grey
  } cases[] = {
      {2048, 512, true, true},   {2048, 512, false, true}, {1024, 512, true, true},
      {1536, 512, false, false},  // three lines to a pixel: alternately two white or two black
      {1000, 512, true, false},   // no whole ratio
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out) + (c.rows ? " rows" : " columns"));
    const ImageBuffer lines = Paint(
        c.in, c.in, [&c](int x, int y, uint8_t* p) { std::fill(p, p + 3, ((c.rows ? y : x) % 2 == 0) ? 255 : 0); });
    const ImageBuffer scaled = ScaleDownInLinearLight(lines, c.out);
    // Linear light within 2 %; the stored values' mean rises from 127.5 to that of half the light.
    EXPECT_NEAR(MeanLuminance(scaled), 0.5, 0.5 * 0.02);
    EXPECT_NEAR(MeanStored(scaled), test::ToStored(0.5), 1.0);
    if (!c.evenRatio) continue;
    // Away from the edges (where the edge line, repeated past it, weighs more) every pixel is that grey.
    for (int32_t y = 0; y < c.out; ++y) {
      for (int32_t x = 0; x < c.out; ++x) {
        const int32_t across = c.rows ? y : x;
        if (across < 2 || across >= c.out - 2) continue;
        for (int ch = 0; ch < 3; ++ch) ASSERT_NEAR(scaled.Pixels[scaled.Offset(x, y) + ch], 188, 1) << x << "," << y;
      }
    }
  }
}

TEST(ResampleInLinearLight, A4096PictureOfOneColourStaysThatColourEverywhere) {
  const uint8_t colours[][3] = {{12, 200, 97}, {255, 255, 255}, {0, 0, 0}};
  for (const auto& colour : colours) {
    SCOPED_TRACE(std::to_string(colour[0]) + "," + std::to_string(colour[1]) + "," + std::to_string(colour[2]));
    const ImageBuffer picture = Paint(4096, 4096, [&colour](int, int, uint8_t* p) { std::copy_n(colour, 3, p); });
    const ImageBuffer scaled = ScaleDownInLinearLight(picture, 512);
    ASSERT_EQ(scaled.Pixels.size(), 512u * 512 * 3);
    for (size_t i = 0; i < scaled.Pixels.size(); ++i) ASSERT_EQ(scaled.Pixels[i], colour[i % 3]) << i / 3;
  }
  // Every stored value survives the way through linear light and back.
  for (int v = 0; v < 256; ++v) {
    const ImageBuffer one = Paint(64, 64, [v](int, int, uint8_t* p) { std::fill(p, p + 3, v); });
    const ImageBuffer scaled = ScaleDownInLinearLight(one, 24);
    ASSERT_TRUE(std::all_of(scaled.Pixels.begin(), scaled.Pixels.end(), [v](uint8_t b) { return b == v; })) << v;
  }
}

TEST(ResampleInLinearLight, RefusesWhatItCannotScaleNamingTheSizes) {
  const auto size = [](int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); };
  const struct {
    int32_t width, height, side;
    size_t bytes;
    uint8_t bits;
    int number;
    const char* why;
  } cases[] = {
      {1024, 768, 512, 1024 * 768 * 3, 24, kErrBadFileFormat, "it is not square"},
      {64, 64, 8, 64 * 64 * 3, 0, kErrBadFileFormat, "it is not a 24-bit picture"},
      {0, 0, 512, 0, 24, kErrBadFileFormat, "it is not a 24-bit picture"},
      {4097, 4097, 512, 0, 24, kErrOverflow, "it is larger than 4096x4096"},
      {64, 64, 8, 64 * 64 * 3 - 1, 24, kErrInputPastEnd, "its pixels are cut short (12287 of 12288 bytes)"},
      {64, 64, 65, 64 * 64 * 3, 24, kErrOverflow, "the new side must be between 1 and 64"},
      {64, 64, -8, 64 * 64 * 3, 24, kErrOverflow, "the new side must be between 1 and 64"},
  };
  for (const auto& c : cases) {
    const std::string message =
        "Cannot scale the " + size(c.width, c.height) + " picture down to " + size(c.side, c.side) + ": " + c.why;
    try {
      ScaleDownInLinearLight(ImageBuffer{c.width, c.height, c.bits, std::vector<uint8_t>(c.bytes)}, c.side);
      ADD_FAILURE() << "scaled: " << message;
    } catch (const QuorlinError& e) {
      EXPECT_EQ(e.Number(), c.number) << message;
      EXPECT_EQ(e.what(), message);
    }
  }
}

#if defined(__linux__)
// Runs out of address space in a child process: the result's allocation (no room at all), then stb's working
// memory (room for the result only). Either is reported, not a crash; with room enough the call succeeds.
TEST(ResampleInLinearLightDeathTest, RunningOutOfMemoryIsReportedNotACrash) {
  if (std::getenv("QUORLIN_SANITIZED")) GTEST_SKIP() << "the sanitizers' shadow memory needs the address space";
  const ImageBuffer picture = NoisePicture(2048);
  const auto scaleWithin = [&picture](size_t headroom) {
    std::vector<char> warm(100 * 1024, 1);  // small allocations later come from memory the heap already has
    warm.clear();
    warm.shrink_to_fit();
    std::ifstream status("/proc/self/status");
    std::string line;
    size_t used = 0;
    while (std::getline(status, line)) {
      if (line.rfind("VmSize:", 0) == 0) used = std::stoull(line.substr(7)) * 1024;
    }
    const rlimit limit{used + headroom, used + headroom};
    if (used == 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
    try {
      const ImageBuffer scaled = ScaleDownInLinearLight(picture, 512);
      std::_Exit(scaled.Pixels.size() == 512u * 512 * 3 ? 0 : 4);
    } catch (const QuorlinError& e) {
      const bool told = e.Number() == kErrOutOfMemory &&
                        std::string(e.what()) == "Not enough memory to scale the 2048x2048 picture down to 512x512";
      std::_Exit(told ? 1 : 5);
    }
  };
  EXPECT_EXIT(scaleWithin(0), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(scaleWithin(900 * 1024), testing::ExitedWithCode(1), "");  // the 768 KiB result fits, stb's 234 KiB not
  EXPECT_EXIT(scaleWithin(8 * 1024 * 1024), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace quorlin
