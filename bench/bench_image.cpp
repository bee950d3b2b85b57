// Image work of the insert command on a 512x512 picture: resampling to the
// smaller texture levels and the lobby preview, and Targa encoding and decoding.
//
// ResizeImage and BoxResizeImage write each level straight after its Targa header,
// as the insert command does; BM_CopyImage512 times the copy File > Open makes of
// the picture.

#include <benchmark/benchmark.h>

#include "image/bitmap.h"
#include "image/image_buffer.h"
#include "image/picture/picture_decoder.h"
#include "image/targa.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

using namespace quorlin;

namespace {

const ImageBuffer& Picture512() {
  static const ImageBuffer picture = sample::SamplePicture(512);
  return picture;
}

void BM_CopyImage512(benchmark::State& state) {
  ImageBuffer work;
  for (auto _ : state) {
    CopyImage(Picture512(), work);
    benchmark::DoNotOptimize(work.Pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 512 * 512 * 3);
}
BENCHMARK(BM_CopyImage512)->Unit(benchmark::kMicrosecond);

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
    if (!LoadPlainBitmap(file, image, 1024 * 1024)) {
      state.SkipWithError("the bitmap was not read");
      break;
    }
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BM_LoadPlainBitmap512)->Unit(benchmark::kMicrosecond);

}  // namespace
