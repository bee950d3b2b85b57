// Image work of the insert command on a 512x512 picture: resampling to the
// smaller texture levels and the lobby preview, and Targa encoding and decoding;
// and scaling a large picture (1024 to 4096 pixels) down to 512x512, with the
// filters it could use compared.
//
// ResizeImage and BoxResizeImage write each level straight after its Targa header,
// as the insert command does.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <string>

#include "image/bitmap.h"
#include "image/image_buffer.h"
#include "image/picture/picture_decoder.h"
#include "image/resample.h"
#include "image/targa.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

using namespace quorlin;

namespace {

const ImageBuffer& Picture512() {
  static const ImageBuffer picture = sample::SamplePicture(512);
  return picture;
}

// 512 -> side (the texture levels 1..5 are 256..16; the lobby preview is 32).
void BM_ResizeImage(benchmark::State& state) {
  const auto side = static_cast<int32_t>(state.range(0));
  std::vector<uint8_t> out(static_cast<size_t>(side) * side * 3);
  for (auto _ : state) {
    ResizeImage(Picture512(), side, side, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ResizeImage)->Arg(256)->Arg(128)->Arg(64)->Arg(32)->Arg(16)->Unit(benchmark::kMicrosecond);

void BM_BoxResizeImage(benchmark::State& state) {
  const auto side = static_cast<int32_t>(state.range(0));
  std::vector<uint8_t> out(static_cast<size_t>(side) * side * 3);
  for (auto _ : state) {
    BoxResizeImage(Picture512(), side, side, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_BoxResizeImage)->Arg(256)->Arg(128)->Arg(64)->Arg(32)->Arg(16)->Unit(benchmark::kMicrosecond);

// Every image one insert makes from the picture: levels 1..5 and the preview.
void BM_AllInsertLevels(benchmark::State& state) {
  const bool box = state.range(0) != 0;
  std::vector<uint8_t> out(256 * 256 * 3);
  for (auto _ : state) {
    for (const int32_t side : {256, 128, 64, 32, 16, 32}) {
      (box ? BoxResizeImage : ResizeImage)(Picture512(), side, side, out.data());
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetLabel(box ? "box" : "nearest");
}
BENCHMARK(BM_AllInsertLevels)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SaveTGA512(benchmark::State& state) {
  const ImageBuffer& picture = Picture512();
  for (auto _ : state) {
    std::vector<uint8_t> bytes = SaveTGA(picture);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (18 + 512 * 512 * 3));
}
BENCHMARK(BM_SaveTGA512)->Unit(benchmark::kMicrosecond);

// arg 0x20: rows stored top first (as written here); arg 0: bottom first;
// arg 0x30: top first, right to left (the per-pixel path).
void BM_DecodeTGA512(benchmark::State& state) {
  std::vector<uint8_t> bytes = SaveTGA(Picture512());
  bytes[17] = static_cast<uint8_t>(state.range(0));
  ImageBuffer image;
  TgaHeader header;
  for (auto _ : state) {
    DecodeTGA(bytes, image, header, "picture.tga");
    benchmark::DoNotOptimize(image.Pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeTGA512)->Arg(0x20)->Arg(0x00)->Arg(0x30)->Unit(benchmark::kMicrosecond);

// The platform's picture decoder (Qt here) for bitmap (0), PNG (1) and JPEG (2)
// files: 512x512, from a file in the page cache.
void BM_DecodePicture512(benchmark::State& state) {
  test::TempDir dir;
  const std::string jpeg = std::string(QUORLIN_BENCH_DATA) + "/skin.jpg";
  const std::string files[] = {dir / "skin.bmp", dir / "skin.png", jpeg};
  sample::WriteFile(files[0], sample::EncodeBmp(Picture512()));
  sample::WriteFile(files[1], sample::EncodePng(Picture512()));
  const std::string& file = files[state.range(0)];
  for (auto _ : state) {
    ImageBuffer image;
    DecodePicture(file, image);
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BM_DecodePicture512)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Our own reader of plain 24-bit bitmaps, which File > Open uses before the
// platform's decoder: the same 512x512 bitmap file.
void BM_LoadPlainBitmap512(benchmark::State& state) {
  test::TempDir dir;
  const std::string file = dir / "skin.bmp";
  sample::WriteFile(file, sample::EncodeBmp(Picture512()));
  for (auto _ : state) {
    ImageBuffer image;
    if (!LoadPlainBitmap(file, image)) {
      state.SkipWithError("the bitmap was not read");
      break;
    }
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BM_LoadPlainBitmap512)->Unit(benchmark::kMicrosecond);

// ---- Scaling a large picture down to 512x512 ----

// The sRGB curve from its definition, for measuring in linear light.
double ToLinear(int stored) {
  const double v = stored / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
uint8_t ToStored(double linear) {
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}
const std::array<double, 256>& LinearTable() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int v = 0; v < 256; ++v) t[static_cast<size_t>(v)] = ToLinear(v);
    return t;
  }();
  return table;
}

// The mean of the linear-light luminance (Rec. 709 weights).
double MeanLuminance(const ImageBuffer& image) {
  const auto& lin = LinearTable();
  double sum = 0;
  for (size_t i = 0; i + 2 < image.Pixels.size(); i += 3) {
    sum += 0.0722 * lin[image.Pixels[i]] + 0.7152 * lin[image.Pixels[i + 1]] + 0.2126 * lin[image.Pixels[i + 2]];
  }
  return sum / static_cast<double>(image.Pixels.size() / 3);
}

template <typename Paint>
ImageBuffer Square(int32_t side, Paint paint) {
  ImageBuffer image;
  image.Width = image.Height = side;
  image.BitsPerPixel = 24;
  image.Pixels.resize(static_cast<size_t>(side) * static_cast<size_t>(side) * 3);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) paint(x, y, image.Pixels.data() + image.Offset(x, y));
  }
  return image;
}

// Smooth noise in [0, 1): hashed lattice values, blended bilinearly, cell pixels apart.
double ValueNoise(int x, int y, int cell, uint32_t seed) {
  const auto lattice = [seed](int i, int j) {
    uint32_t h = static_cast<uint32_t>(i) * 374761393u + static_cast<uint32_t>(j) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65536.0;
  };
  const int i = x / cell, j = y / cell;
  const double fx = static_cast<double>(x % cell) / cell, fy = static_cast<double>(y % cell) / cell;
  const double top = lattice(i, j) + (lattice(i + 1, j) - lattice(i, j)) * fx;
  const double bottom = lattice(i, j + 1) + (lattice(i + 1, j + 1) - lattice(i, j + 1)) * fx;
  return top + (bottom - top) * fy;
}

// A picture like a painted skin, scaled to any side: light falling across it,
// noise at several scales (cloth, worn metal), hard-edged panels and a disc
// (plates, a decal), and thin dark panel lines and rivets, in colour.
ImageBuffer PaintedPicture(int32_t side) {
  const double unit = side / 512.0;  // the same picture at every size
  return Square(side, [side, unit](int x, int y, uint8_t* p) {
    const double light = 0.35 + 0.65 * (1.0 - 0.5 * (x + y) / side);
    double grain = 0;
    for (int octave = 0; octave < 4; ++octave) {
      const int cell = std::max(1, static_cast<int>((64 >> (2 * octave)) * unit));
      grain += (ValueNoise(x, y, cell, static_cast<uint32_t>(octave)) - 0.5) / (1 << octave);
    }
    const bool panel = ((x / static_cast<int>(96 * unit)) + (y / static_cast<int>(128 * unit))) % 2 == 0;
    const double dx = x - 340 * unit, dy = y - 170 * unit;
    const bool disc = dx * dx + dy * dy < (70 * unit) * (70 * unit);
    const bool line = x % static_cast<int>(96 * unit) < std::max(1, static_cast<int>(unit / 2)) ||
                      y % static_cast<int>(128 * unit) < std::max(1, static_cast<int>(unit / 2));
    const bool rivet = (x % static_cast<int>(24 * unit)) < unit && (y % static_cast<int>(24 * unit)) < unit;
    double rgb[3] = {disc ? 0.80 : (panel ? 0.30 : 0.22), disc ? 0.70 : (panel ? 0.34 : 0.26),
                     disc ? 0.10 : (panel ? 0.28 : 0.20)};  // linear red, green, blue
    for (int c = 0; c < 3; ++c) {
      double v = rgb[c] * light * (1 + 0.6 * grain);
      if (line) v *= 0.15;
      if (rivet) v = 0.9;
      p[2 - c] = ToStored(v);
    }
  });
}

const ImageBuffer& Painted(int32_t side) {
  static std::map<int32_t, ImageBuffer> pictures;
  auto it = pictures.find(side);
  if (it == pictures.end()) it = pictures.emplace(side, PaintedPicture(side)).first;
  return it->second;
}

// A resident-memory figure of this process from /proc/self/status, in bytes (0 if unknown).
double StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key))) * 1024;
  }
  return 0;
}

// The most resident memory a first call adds while it runs, in bytes; -1 where
// it cannot be measured. It runs in a child process that has given the memory
// freed earlier back to the system and maps every allocation of 64 KiB or more
// afresh, so that all it takes shows, with the kernel's high-water mark reset
// just before.
double ExtraPeakBytes(const std::function<void()>& run) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    malloc_trim(0);
    double extra = -1;
    std::ofstream reset("/proc/self/clear_refs");
    if (reset << "5" << std::flush) {
      const double before = StatusBytes("VmRSS:");
      run();
      extra = StatusBytes("VmHWM:") - before;
    }
    const bool written = write(fds[1], &extra, sizeof extra) == sizeof extra;
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  double extra = -1;
  if (child < 0 || read(fds[0], &extra, sizeof extra) != sizeof extra) extra = -1;
  close(fds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return extra;
}

// A painted picture of 1024, 2048 or 4096 pixels scaled to 512x512 as Quorlin
// does it. extra_MB: the resident memory the call adds at its peak (the result
// included), the picture itself aside.
void BM_ScaleDownInLinearLight(benchmark::State& state) {
  const auto side = static_cast<int32_t>(state.range(0));
  const ImageBuffer& picture = Painted(side);
  state.counters["extra_MB"] = ExtraPeakBytes([&picture] {
                                 const ImageBuffer scaled = ScaleDownInLinearLight(picture, 512);
                                 benchmark::DoNotOptimize(scaled.Pixels.data());
                               }) /
                               1e6;
  for (auto _ : state) {
    ImageBuffer scaled = ScaleDownInLinearLight(picture, 512);
    benchmark::DoNotOptimize(scaled.Pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * side * side * 3);
}
BENCHMARK(BM_ScaleDownInLinearLight)->Arg(1024)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

// The filters a large picture could be scaled down with, compared.
enum Candidate { kNearest, kBoxStored, kBoxLinear, kMitchellLinear, kCatmullRomLinear };
const char* const kCandidateNames[] = {"nearest sample", "box, stored values", "box, linear light",
                                       "Mitchell, linear light", "Catmull-Rom, linear light"};

ImageBuffer ScaleWith(Candidate candidate, const ImageBuffer& picture, int32_t side) {
  if (candidate == kNearest || candidate == kBoxStored) {
    ImageBuffer out = Square(side, [](int, int, uint8_t*) {});
    (candidate == kNearest ? ResizeImage : BoxResizeImage)(picture, side, side, out.Pixels.data());
    return out;
  }
  if (candidate == kCatmullRomLinear) return ScaleDownInLinearLight(picture, side);
  // The filters Quorlin does not use, through stb as the program calls it.
  ImageBuffer out = Square(side, [](int, int, uint8_t*) {});
  stbir_resize_uint8_generic(picture.Pixels.data(), picture.Width, picture.Height, 0, out.Pixels.data(), side, side, 0,
                             3, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                             candidate == kBoxLinear ? STBIR_FILTER_BOX : STBIR_FILTER_MITCHELL, STBIR_COLORSPACE_SRGB,
                             nullptr);
  return out;
}

// 1-pixel white and black lines across a picture: half of white's light.
ImageBuffer Lines(int32_t side) {
  return Square(side, [](int, int y, uint8_t* p) { std::fill(p, p + 3, y % 2 ? 0 : 255); });
}

// A grey zone plate 4096 wide, centred on the top-left corner: the light goes
// 0.5 + 0.5 cos(pi r^2 / 8192), so its frequency grows with the distance r from
// 0 to half a cycle per pixel at r = 4096. Scaled to 512, that is r / 1024 cycles
// per output pixel: at most 0.5 can be shown, the rest must become flat grey.
double ZonePlateLight(double x, double y) { return 0.5 + 0.5 * std::cos(std::numbers::pi * (x * x + y * y) / 8192); }

struct ZoneFigures {
  double contrast;  // the contrast kept between 0.2 and 0.3 cycles per output pixel (1 = all)
  double aliasing;  // the contrast left beyond 0.75 cycles per output pixel, which should be none
};
ZoneFigures ZonePlate(Candidate candidate) {
  static const ImageBuffer zone =
      Square(4096, [](int x, int y, uint8_t* p) { std::fill(p, p + 3, ToStored(ZonePlateLight(x + 0.5, y + 0.5))); });
  const ImageBuffer out = ScaleWith(candidate, zone, 512);
  const auto& lin = LinearTable();
  double kept = 0, keptIdeal = 0, left = 0;
  long leftCount = 0;
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512; ++x) {
      const double cx = (x + 0.5) * 8, cy = (y + 0.5) * 8, r = std::sqrt(cx * cx + cy * cy);
      const double v = lin[out.Pixels[out.Offset(x, y) + 1]] - 0.5;
      if (r >= 0.2 * 1024 && r < 0.3 * 1024) {
        kept += v * v;
        keptIdeal += std::pow(ZonePlateLight(cx, cy) - 0.5, 2);
      } else if (r >= 0.75 * 1024 && r < 4096) {
        left += v * v;
        ++leftCount;
      }
    }
  }
  // Against a full-contrast sine's mean square, 0.125.
  return {std::sqrt(kept / keptIdeal), std::sqrt(left / static_cast<double>(leftCount) / 0.125)};
}

// The most a hard edge between linear 0.2 and 0.6 (a step three pixels into an
// output pixel) overshoots either side, in stored levels.
double Halo(Candidate candidate) {
  static const ImageBuffer step =
      Square(4096, [](int x, int, uint8_t* p) { std::fill(p, p + 3, ToStored(x < 2051 ? 0.2 : 0.6)); });
  const ImageBuffer out = ScaleWith(candidate, step, 512);
  const int low = ToStored(0.2), high = ToStored(0.6);
  int worst = 0;
  for (int x = 0; x < 512; ++x) {
    const int v = out.Pixels[out.Offset(x, 256) + 1];
    worst = std::max({worst, v - high, low - v});
  }
  return worst;
}

// How well a candidate does, measured once (untimed): lines8_err_% and
// lines5.5_err_% the error of the mean linear luminance of 1-pixel lines scaled
// 4096 -> 512 and 2816 -> 512 (lines8_stored the mean of the stored values the
// first gives: 127.5 before), painted_err_% that of the painted picture,
// zone_contrast and zone_aliasing from the zone plate, halo the overshoot at a
// hard edge.
const std::map<std::string, double>& Figures(Candidate candidate) {
  static std::map<Candidate, std::map<std::string, double>> figures;
  auto it = figures.find(candidate);
  if (it != figures.end()) return it->second;
  const auto error = [candidate](const ImageBuffer& picture) {
    const double before = MeanLuminance(picture);
    return 100 * (MeanLuminance(ScaleWith(candidate, picture, 512)) - before) / before;
  };
  double stored = 0;  // the mean stored value of the lines scaled 4096 -> 512
  for (const uint8_t v : ScaleWith(candidate, Lines(4096), 512).Pixels) stored += v;
  const ZoneFigures zone = ZonePlate(candidate);
  return figures[candidate] = {{"lines8_err_%", error(Lines(4096))},
                               {"lines8_stored", stored / (512 * 512 * 3)},
                               {"lines5.5_err_%", error(Lines(2816))},
                               {"painted_err_%", error(Painted(4096))},
                               {"zone_contrast", zone.contrast},
                               {"zone_aliasing", zone.aliasing},
                               {"halo", Halo(candidate)}};
}

// Each candidate times 4096 -> 512 on the painted picture, with its figures.
void BM_ScaleDownFilter(benchmark::State& state) {
  const auto candidate = static_cast<Candidate>(state.range(0));
  for (const auto& [name, value] : Figures(candidate)) state.counters[name] = value;
  const ImageBuffer& picture = Painted(4096);
  for (auto _ : state) {
    ImageBuffer scaled = ScaleWith(candidate, picture, 512);
    benchmark::DoNotOptimize(scaled.Pixels.data());
  }
  state.SetLabel(kCandidateNames[candidate]);
}
BENCHMARK(BM_ScaleDownFilter)->DenseRange(kNearest, kCatmullRomLinear)->Unit(benchmark::kMillisecond);

}  // namespace
