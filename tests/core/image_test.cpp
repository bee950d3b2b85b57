// ImageBuffer operations, resampling and the Targa writer and reader.
#include <gtest/gtest.h>

#include "image/image_buffer.h"
#include "image/targa.h"
#include "platform/error.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin {
namespace {

// Every pixel distinct: blue = x, green = y, red = x ^ y (low bytes).
ImageBuffer Pattern(int w, int h) {
  ImageBuffer image;
  image.Width = w;
  image.Height = h;
  image.BitsPerPixel = 24;
  image.Pixels.resize(static_cast<size_t>(w * h * 3));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>((x * 7) ^ (y * 13));
    }
  }
  return image;
}

std::array<uint8_t, 3> At(const ImageBuffer& image, int x, int y) {
  const uint8_t* p = image.Pixels.data() + image.Offset(x, y);
  return {p[0], p[1], p[2]};
}

TEST(ImageBufferOps, FlipReversesRowsAndCopyIsIndependent) {
  ImageBuffer image = Pattern(2, 2);
  const auto a = At(image, 0, 0), b = At(image, 1, 0), c = At(image, 0, 1), d = At(image, 1, 1);
  FlipImage(image);
  EXPECT_EQ(At(image, 0, 0), c);
  EXPECT_EQ(At(image, 1, 0), d);
  EXPECT_EQ(At(image, 0, 1), a);
  EXPECT_EQ(At(image, 1, 1), b);
  ImageBuffer row = Pattern(5, 1);
  const auto before = row.Pixels;
  FlipImage(row);
  EXPECT_EQ(row.Pixels, before);

  ImageBuffer copy;
  CopyImage(image, copy);
  EXPECT_EQ(copy.Pixels, image.Pixels);
  EXPECT_EQ(copy.Width, 2);
  EXPECT_EQ(copy.BitsPerPixel, 24);
  copy.Pixels[0] ^= 0xFF;
  EXPECT_NE(copy.Pixels[0], image.Pixels[0]);
}

TEST(ResizeImage, PowerOfTwoLevelsSampleTheTopLeftOfEachBlock) {
  const ImageBuffer source = Pattern(512, 512);
  for (int n = 1; n <= 5; ++n) {
    ImageBuffer level = source;
    const int side = 512 >> n;
    ResizeImage(level, side, side);
    ASSERT_EQ(level.Width, side);
    ASSERT_EQ(level.Pixels.size(), static_cast<size_t>(side * side * 3));
    for (int y = 0; y < side; y += 7) {
      for (int x = 0; x < side; x += 5) ASSERT_EQ(At(level, x, y), At(source, x << n, y << n)) << n;
    }
    EXPECT_EQ(At(level, side - 1, side - 1), At(source, (side - 1) << n, (side - 1) << n));
  }
}

TEST(ResizeImage, NoAveragingAndHalvesRoundToEven) {
  ImageBuffer stripes = Pattern(512, 512);
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512; ++x) {
      const uint8_t v = x % 2 ? 0 : 255;
      std::fill_n(stripes.Pixels.data() + stripes.Offset(x, y), 3, v);
    }
  }
  ResizeImage(stripes, 256, 256);
  EXPECT_TRUE(std::all_of(stripes.Pixels.begin(), stripes.Pixels.end(), [](uint8_t v) { return v == 255; }));

  ImageBuffer five = Pattern(5, 1);
  ResizeImage(five, 2, 1);  // ratio 2.5: column 1 takes 2.5 -> 2
  EXPECT_EQ(At(five, 1, 0)[0], 2);
  ImageBuffer three = Pattern(3, 1);
  ResizeImage(three, 2, 1);  // ratio 1.5: column 1 takes 1.5 -> 2
  EXPECT_EQ(At(three, 1, 0)[0], 2);
  EXPECT_EQ(three.BitsPerPixel, 24);
}

TEST(ResizeImage, EnlargingClampsAndBadSizesRaise) {
  ImageBuffer image = Pattern(2, 2);
  ResizeImage(image, 5, 5);  // ratio 0.4: 4 * 0.4 = 1.6 -> 2, clamped to 1
  EXPECT_EQ(At(image, 4, 4), (std::array<uint8_t, 3>{1, 1, static_cast<uint8_t>(7 ^ 13)}));
  ImageBuffer again = Pattern(4, 4);
  EXPECT_THROW(ResizeImage(again, 0, 4), QuorlinError);
  EXPECT_THROW(ResizeImage(again, 4, -1), QuorlinError);
  EXPECT_EQ(again.Width, 4);
}

TEST(BoxResizeImage, AveragesEachBlock) {
  ImageBuffer image = Pattern(4, 2);
  BoxResizeImage(image, 2, 1);
  // Block x 0..1, y 0..1: blues 0,1,0,1 -> 0.5 rounds to 1; greens 0,0,1,1 -> 1.
  EXPECT_EQ(At(image, 0, 0)[0], 1);
  EXPECT_EQ(At(image, 0, 0)[1], 1);
  EXPECT_EQ(At(image, 1, 0)[0], 3);  // 2,3,2,3 -> 2.5 -> 3
}

TEST(TargaWriter, HeaderAndPixelsAreExact) {
  const ImageBuffer image = Pattern(16, 16);
  const auto bytes = EncodeTGA(image);
  ASSERT_EQ(bytes.size(), 786u);
  const std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 18);
  EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x10, 0, 0x18, 0x20}));
  EXPECT_TRUE(std::equal(image.Pixels.begin(), image.Pixels.end(), bytes.begin() + 18));
  const auto big = EncodeTGA(Pattern(512, 512));
  EXPECT_EQ(big.size(), 786450u);
  EXPECT_EQ(std::vector<uint8_t>(big.begin() + 12, big.begin() + 16), (std::vector<uint8_t>{0, 2, 0, 2}));
  for (int side : {512, 256, 128, 64, 32, 16}) {
    EXPECT_EQ(EncodeTGA(Pattern(side, side)).size(), TgaImageBytes(static_cast<uint32_t>(side)));
  }
  ImageBuffer tooWide = Pattern(1, 1);
  tooWide.Width = 40000;
  EXPECT_THROW(EncodeTGA(tooWide), QuorlinError);
}

TEST(TargaWriter, SaveTGAWritesAtTheCurrentPositionAndTheFileFormReplacesAll) {
  test::TempDir tmp;
  const ImageBuffer a = Pattern(16, 16);
  const ImageBuffer b = Pattern(32, 32);
  std::FILE* file = std::fopen((tmp / "two.bin").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("lead", file);
  SaveTGA(file, a);
  SaveTGA(file, b);
  std::fclose(file);
  const auto bytes = sample::ReadFile(tmp / "two.bin");
  ASSERT_EQ(bytes.size(), 4u + 786u + 3090u);
  const auto ea = EncodeTGA(a);
  const auto eb = EncodeTGA(b);
  EXPECT_TRUE(std::equal(ea.begin(), ea.end(), bytes.begin() + 4));
  EXPECT_TRUE(std::equal(eb.begin(), eb.end(), bytes.begin() + 4 + 786));

  sample::WriteFile(tmp / "x.tga", std::vector<uint8_t>(5000, 9));
  SaveTGAFile(tmp / "x.tga", a);
  EXPECT_EQ(sample::ReadFile(tmp / "x.tga"), ea);
  EXPECT_THROW(SaveTGAFile(tmp / "no/such/dir/x.tga", a), QuorlinError);
}

TEST(TargaReader, OriginBitsDecideRowAndColumnOrder) {
  const ImageBuffer image = Pattern(7, 5);
  auto bytes = EncodeTGA(image);  // top-left origin
  ImageBuffer back;
  TgaHeader header;
  ASSERT_EQ(DecodeTGA(bytes, back, header), TgaStatus::Ok);
  EXPECT_EQ(back.Pixels, image.Pixels);
  EXPECT_EQ(header.Width, 7);

  bytes[17] = 0;  // bottom-left origin: the same bytes read upside down
  ASSERT_EQ(DecodeTGA(bytes, back, header), TgaStatus::Ok);
  ImageBuffer flipped = image;
  FlipImage(flipped);
  EXPECT_EQ(back.Pixels, flipped.Pixels);

  bytes[17] = 0x30;  // top-right origin: rows mirrored
  ASSERT_EQ(DecodeTGA(bytes, back, header), TgaStatus::Ok);
  EXPECT_EQ(At(back, 0, 0), At(image, 6, 0));
  EXPECT_EQ(At(back, 6, 4), At(image, 0, 4));
}

TEST(TargaReader, RefusesWhatItCannotLoadAndLeavesTheBufferAlone) {
  const ImageBuffer image = Pattern(8, 8);
  const auto good = EncodeTGA(image);
  ImageBuffer target = Pattern(3, 3);
  const auto untouched = target.Pixels;
  TgaHeader header;
  auto expect = [&](std::vector<uint8_t> bytes, TgaStatus status) {
    EXPECT_EQ(DecodeTGA(bytes, target, header), status);
    EXPECT_EQ(target.Pixels, untouched);
    EXPECT_EQ(target.Width, 3);
  };
  for (const int type : {1, 3, 9, 10, 11}) {
    auto bytes = good;
    bytes[2] = static_cast<uint8_t>(type);
    expect(bytes, TgaStatus::NotTrueColor24);
  }
  for (const int depth : {16, 32, 8}) {
    auto bytes = good;
    bytes[16] = static_cast<uint8_t>(depth);
    expect(bytes, TgaStatus::NotTrueColor24);
  }
  expect(std::vector<uint8_t>(good.begin(), good.end() - 1), TgaStatus::Truncated);
  expect(std::vector<uint8_t>(good.begin(), good.begin() + 17), TgaStatus::Truncated);
  auto withId = good;
  withId[0] = 200;  // an image ID that eats into the pixels
  expect(withId, TgaStatus::Truncated);
  auto withMap = good;
  withMap[1] = 1;
  withMap[5] = 0xFF;
  withMap[6] = 0xFF;
  withMap[7] = 32;
  expect(withMap, TgaStatus::Truncated);
  auto zero = good;
  zero[14] = zero[15] = 0;
  expect(zero, TgaStatus::BadSize);
  auto negative = good;
  negative[13] = 0xFF;
  expect(negative, TgaStatus::BadSize);
  // 32767 x 32767 x 3 does not fit a 32-bit signed count.
  auto huge = good;
  huge[12] = huge[14] = 0xFF;
  huge[13] = huge[15] = 0x7F;
  expect(huge, TgaStatus::BadSize);

  TgaHeader checked;
  checked.Width = 77;
  EXPECT_TRUE(CheckTGA(good, checked));
  EXPECT_EQ(checked.Width, 77);  // the check leaves width and height alone
  EXPECT_FALSE(CheckTGA(std::vector<uint8_t>(good.begin(), good.begin() + 10), checked));
}

}  // namespace
}  // namespace quorlin
