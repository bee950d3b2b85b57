// File > Open through the platform's picture decoder: every format gives the
// picture's pixels; unusable files (one pixel off 512x512 among them) leave no image
// loaded. The files are written byte by byte here and by the generator, the JPEG is
// tests/data/skin.jpg (the smooth picture below, quality 90): every platform's
// decoder is held to the same files.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/commands.h"
#include "image/picture/picture_decoder.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

// The picture inside tests/data/skin.jpg: blue x / 2, green y / 2, red (x + y) / 4.
ImageBuffer Smooth() {
  ImageBuffer image = test::PositionPicture();
  for (size_t i = 0; i < image.Pixels.size(); ++i) {
    const size_t x = i / 3 % 512, y = i / 1536, channel = i % 3;
    image.Pixels[i] = static_cast<uint8_t>(channel == 0 ? x / 2 : channel == 1 ? y / 2 : (x + y) / 4);
  }
  return image;
}

std::vector<uint8_t> Jpeg() { return sample::ReadFile(QUORLIN_TEST_DATA "/skin.jpg"); }

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes) {
  bytes.resize(bytes.size() / 2);
  return bytes;
}

class OpenPictureTest : public ::testing::Test {
 protected:
  Outcome Open(const std::string& name, const std::vector<uint8_t>& bytes) {
    sample::WriteFile(tmp / name, bytes);
    shell = test::RecordingShell{};
    return OpenPicture(state, shell, tmp / name, DecodePicture);
  }
  test::TempDir tmp;
  ProgramState state;
  test::RecordingShell shell;
  const ImageBuffer picture = test::PositionPicture();
};

// A top-down bitmap: the rows stored first to last, the height negative, and the
// pixels 16 bytes past the header, where the offset at byte 10 says.
std::vector<uint8_t> TopDownBmp(const ImageBuffer& picture) {
  ImageBuffer flipped = picture;
  FlipImage(flipped);
  auto bytes = sample::EncodeBmp(flipped);
  const uint32_t height = static_cast<uint32_t>(-picture.Height), offset = bytes[10] + 16u;
  for (int k = 0; k < 4; ++k) {
    bytes[22 + k] = static_cast<uint8_t>(height >> (8 * k));
    bytes[10 + k] = static_cast<uint8_t>(offset >> (8 * k));
  }
  bytes.insert(bytes.begin() + offset - 16, 16, 0xEE);
  return bytes;
}

// Bitmaps are read by our own reader when they are of the plain kind and by the
// platform's decoder otherwise: both must give the picture's pixels.
TEST_F(OpenPictureTest, EveryFormatGivesThePicturesPixels) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    ImageBuffer expected;
    int tolerance;  // JPEG is lossy: libjpeg-turbo stays within 3 of the source on this file
  } cases[] = {{"skin.bmp", sample::EncodeBmp(picture), picture, 0},
               {"skin.Bmp", TopDownBmp(picture), picture, 0},
               {"skin.png", sample::EncodePng(picture), picture, 0},
               {"skin.TGA", test::Targa(picture), picture, 0},
               {"skin.JPG", Jpeg(), Smooth(), 3}};
  for (const auto& c : cases) {
    ASSERT_EQ(Open(c.name, c.bytes), Outcome::Done) << c.name;
    EXPECT_TRUE(shell.messages.empty()) << c.name;
    EXPECT_EQ(shell.events, (std::vector<std::string>{"picture", "status Texture Loaded ready to insert"}));
    EXPECT_EQ(state.LoadedImage.BitsPerPixel, 24);
    ASSERT_EQ(state.LoadedImage.Pixels.size(), c.expected.Pixels.size()) << c.name;
    int worst = 0;
    for (size_t i = 0; i < c.expected.Pixels.size(); ++i) {
      worst = std::max(worst, std::abs(state.LoadedImage.Pixels[i] - c.expected.Pixels[i]));
    }
    EXPECT_LE(worst, c.tolerance) << c.name;
    EXPECT_EQ(state.WorkImage.Pixels, state.LoadedImage.Pixels) << c.name;
    ImageBuffer decoded;
    if (std::string(c.name).find("TGA") == std::string::npos) {
      DecodePicture(tmp / c.name, decoded);
      EXPECT_EQ(decoded.Pixels, state.LoadedImage.Pixels) << c.name << ": the platform decoder differs";
    }
  }
}

TEST_F(OpenPictureTest, UnusableFilesAreRefusedAndLeaveNoImageLoaded) {
  const auto bmp = sample::EncodeBmp(picture);
  const auto tga = test::Targa(picture);
  auto jpeg = Jpeg();
  size_t sof = 0;
  while (sof + 9 < jpeg.size() && !(jpeg[sof] == 0xFF && jpeg[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 9, jpeg.size());
  const std::string unsupported = "Unsupported format!";
  const std::string targa = "Targa file must be 24-bit Uncompressed!", not512 = "Skin file isn't 512x512!";
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string message;  // empty: one that names the file; ": ...": what follows "Cannot read <file>"
  } cases[] = {
      {"skin.jpeg", Jpeg(), unsupported},
      {"skin.gif", bmp, unsupported},
      {"rle.tga", test::With(tga, {{2, 10}}), targa},
      {"deep.tga", test::With(tga, {{16, 32}}), targa},
      {"mapped.tga", test::With(tga, {{2, 1}}), targa},
      {"cut.png", Cut(sample::EncodePng(picture)), ""},
      {"cut.tga", {tga.begin(), tga.end() - 1}, ": the Targa file is shorter than its pixels."},
      {"zero.tga", test::With(tga, {{12, 0}, {13, 0}}), ": the Targa image's width or height is not usable."},
      {"cut.bmp", Cut(bmp), ": the bitmap file is shorter than its pixels"},
      {"deep.bmp", test::With(bmp, {{28, 32}}), ": the bitmap file is shorter than its pixels"},  // 32-bit header
      {"junk.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}, ""},
      {"junk.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}, ""},
      {"notes.bmp", {'h', 'e', 'l', 'l', 'o', '\n'}, ""},  // renamed, not a picture
      // One pixel off in each direction.
      {"511x512.bmp", sample::EncodeBmp(test::PositionPicture(511, 512)), not512},
      {"513x512.bmp", sample::EncodeBmp(test::PositionPicture(513, 512)), not512},
      {"512x511.bmp", sample::EncodeBmp(test::PositionPicture(512, 511)), not512},
      {"512x513.png", sample::EncodePng(test::PositionPicture(512, 513)), not512},
      // A size far beyond any picture, refused by the platform's decoder from the header.
      {"huge.jpg", test::With(jpeg, {{sof + 5, 0x1F}, {sof + 6, 0x40}, {sof + 7, 0x1F}, {sof + 8, 0x40}}), not512},
      {"huge.tga", test::With(tga, {{12, 0x40}, {13, 0x1F}, {14, 0x40}, {15, 0x1F}}), not512},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Open("good.bmp", bmp), Outcome::Done);
    EXPECT_EQ(Open(c.name, c.bytes), Outcome::Refused) << c.name;
    ASSERT_EQ(shell.messages.size(), 1u) << c.name;
    if (c.message.empty()) {  // a reason naming the file
      EXPECT_NE(shell.messages[0].text.find(c.name), std::string::npos) << shell.messages[0].text;
    } else {
      EXPECT_EQ(shell.messages[0].text, c.message[0] == ':' ? "Cannot read " + tmp / c.name + c.message : c.message);
    }
    EXPECT_EQ(shell.messages[0].title, "Quorlin");
    EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0) << c.name;
    EXPECT_EQ(state.WorkImage.Pixels, picture.Pixels) << c.name;  // the earlier working copy stays
    EXPECT_EQ(shell.events.back(), "picture cleared") << c.name;
  }
}

}  // namespace
}  // namespace quorlin
