// File > Open after the dialog: the reader chosen by the name, the decoders, the
// 512x512 check and what is loaded afterwards.
#include <gtest/gtest.h>

#include <QImage>

#include "app/commands.h"
#include "image/picture/picture_decoder.h"
#include "image/targa.h"
#include "samplegame/sample_game.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace quorlin {
namespace {

using test::RecordingShell;
using test::TempDir;

ImageBuffer Picture(int w, int h) {
  ImageBuffer image = sample::SamplePicture(std::max(w, h));
  if (w != h) ResizeImage(image, w, h);
  return image;
}

// A Targa of the picture with rows stored bottom-up (the default), top-down, and
// with an image ID and a colour map in front of the pixels.
std::vector<uint8_t> TargaVariant(const ImageBuffer& image, bool topDown, uint8_t idLength, uint16_t mapEntries) {
  std::vector<uint8_t> out(18, 0);
  out[0] = idLength;
  out[1] = mapEntries ? 1 : 0;
  out[2] = 2;
  out[5] = static_cast<uint8_t>(mapEntries);
  out[6] = static_cast<uint8_t>(mapEntries >> 8);
  out[7] = 24;
  out[12] = static_cast<uint8_t>(image.Width);
  out[13] = static_cast<uint8_t>(image.Width >> 8);
  out[14] = static_cast<uint8_t>(image.Height);
  out[15] = static_cast<uint8_t>(image.Height >> 8);
  out[16] = 24;
  out[17] = topDown ? 0x20 : 0;
  out.resize(out.size() + idLength, 'I');
  out.resize(out.size() + mapEntries * 3u, 'M');
  for (int r = 0; r < image.Height; ++r) {
    const int y = topDown ? r : image.Height - 1 - r;
    const uint8_t* p = image.Pixels.data() + image.Offset(0, y);
    out.insert(out.end(), p, p + image.Width * 3);
  }
  return out;
}

class OpenPictureTest : public ::testing::Test {
 protected:
  Outcome Open(const std::string& name) { return OpenPicture(state, shell, tmp / name, DecodePicture); }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) { sample::WriteFile(tmp / name, bytes); }
  void WriteQt(const std::string& name, const ImageBuffer& image, const char* format, int quality = -1) {
    const QImage view(image.Pixels.data(), image.Width, image.Height, image.Width * 3, QImage::Format_BGR888);
    ASSERT_TRUE(view.save(QString::fromStdString(tmp / name), format, quality));
  }
  TempDir tmp;
  ProgramState state;
  RecordingShell shell;
};

TEST_F(OpenPictureTest, EveryLosslessFormOfThePictureLoadsTheSamePixels) {
  const ImageBuffer picture = Picture(512, 512);
  Write("bottom.tga", TargaVariant(picture, false, 0, 0));
  Write("top.tga", TargaVariant(picture, true, 0, 0));
  Write("withid.TGA", TargaVariant(picture, false, 17, 0));
  Write("withmap.tga", TargaVariant(picture, true, 3, 256));
  Write("picture.bmp", sample::EncodeBmp(picture));
  WriteQt("picture.png", picture, "PNG");
  for (const char* name : {"bottom.tga", "top.tga", "withid.TGA", "withmap.tga", "picture.bmp", "picture.png"}) {
    state = ProgramState{};
    ASSERT_EQ(Open(name), Outcome::Done) << name;
    EXPECT_EQ(state.LoadedImage.BitsPerPixel, 24) << name;
    EXPECT_EQ(state.LoadedImage.Pixels, picture.Pixels) << name;
    EXPECT_EQ(state.WorkImage.Pixels, picture.Pixels) << name;
    // The first three bytes are the top-left pixel: white in the sample.
    EXPECT_EQ(state.LoadedImage.Pixels[0], 255) << name;
  }
  EXPECT_EQ(shell.status, "Texture Loaded ready to insert");
  EXPECT_TRUE(shell.messages.empty());
}

TEST_F(OpenPictureTest, JpegDecodesToCloseColoursAndExtensionsAreMatchedWithoutCase) {
  const ImageBuffer picture = Picture(512, 512);
  WriteQt("photo.JPG", picture, "JPG", 100);
  ASSERT_EQ(Open("photo.JPG"), Outcome::Done);
  ASSERT_EQ(state.LoadedImage.Pixels.size(), picture.Pixels.size());
  // Centre of the ring: a flat area where JPEG keeps the colour closely.
  const size_t at = picture.Offset(256, 256 - 150);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(state.LoadedImage.Pixels[at + c], picture.Pixels[at + c], 12);
  Write("b.Bmp", sample::EncodeBmp(picture));
  EXPECT_EQ(Open("b.Bmp"), Outcome::Done);
}

TEST_F(OpenPictureTest, RefusalsLeaveNoImageLoaded) {
  const ImageBuffer picture = Picture(512, 512);
  Write("good.bmp", sample::EncodeBmp(picture));
  ASSERT_EQ(Open("good.bmp"), Outcome::Done);
  const auto work = state.WorkImage.Pixels;

  Write("photo.jpeg", sample::EncodeBmp(picture));
  EXPECT_EQ(Open("photo.jpeg"), Outcome::Refused);
  EXPECT_EQ(shell.messages.back().text, "Unsupported format!");
  EXPECT_EQ(shell.messages.back().title, "Quorlin");
  EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0);
  EXPECT_EQ(state.WorkImage.Pixels, work);  // the earlier working copy stays
  EXPECT_EQ(shell.events.back(), "picture cleared");

  auto rle = TargaVariant(picture, false, 0, 0);
  rle[2] = 10;
  Write("rle.tga", rle);
  auto deep = TargaVariant(picture, false, 0, 0);
  deep[16] = 32;
  Write("deep.tga", deep);
  auto mapped = TargaVariant(picture, false, 0, 0);
  mapped[2] = 1;
  Write("mapped.tga", mapped);
  for (const char* name : {"rle.tga", "deep.tga", "mapped.tga"}) {
    ASSERT_EQ(Open("good.bmp"), Outcome::Done);
    EXPECT_EQ(Open(name), Outcome::Refused) << name;
    EXPECT_EQ(shell.messages.back().text, "Targa file must be 24-bit Uncompressed!") << name;
    EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0) << name;
  }
}

TEST_F(OpenPictureTest, PicturesOfAnotherSizeAreRefusedAfterBeingShown) {
  Write("small.bmp", sample::EncodeBmp(Picture(256, 256)));
  EXPECT_EQ(Open("small.bmp"), Outcome::Refused);
  EXPECT_EQ(shell.MessageTexts(), std::vector<std::string>{"Skin file isn't 512x512!"});
  EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0);
  EXPECT_EQ(state.LoadedImage.Pixels.size(), 1u);
  const std::vector<std::string> tail(shell.events.end() - 3, shell.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"picture", "message Skin file isn't 512x512!", "picture cleared"}));

  Write("wide.tga", TargaVariant(Picture(512, 256), false, 0, 0));
  EXPECT_EQ(Open("wide.tga"), Outcome::Refused);
  EXPECT_EQ(shell.messages.back().text, "Skin file isn't 512x512!");
}

TEST_F(OpenPictureTest, DamagedFilesAreRefusedWithTheFileAndReasonNamed) {
  const ImageBuffer picture = Picture(512, 512);
  auto bmp = sample::EncodeBmp(picture);
  bmp.resize(bmp.size() / 2);
  Write("cut.bmp", bmp);
  WriteQt("whole.jpg", picture, "JPG", 90);
  WriteQt("whole.png", picture, "PNG");
  for (const char* kind : {"jpg", "png"}) {
    auto bytes = sample::ReadFile(tmp / (std::string("whole.") + kind));
    bytes.resize(bytes.size() / 2);
    Write(std::string("cut.") + kind, bytes);
  }
  Write("junk.jpg", std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
  Write("junk.png", std::vector<uint8_t>{0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
  auto tga = TargaVariant(picture, false, 0, 0);
  tga.resize(tga.size() - 1);
  Write("cut.tga", tga);
  auto zero = TargaVariant(Picture(16, 16), false, 0, 0);
  zero[12] = zero[13] = 0;
  Write("zero.tga", zero);
  auto negative = TargaVariant(Picture(16, 16), false, 0, 0);
  negative[13] = 0x80;
  Write("negative.tga", negative);
  for (const char* name :
       {"cut.bmp", "cut.jpg", "cut.png", "junk.jpg", "junk.png", "cut.tga", "zero.tga", "negative.tga"}) {
    state.LoadedImage = picture;
    state.LoadedImage.BitsPerPixel = 24;
    EXPECT_EQ(Open(name), Outcome::Refused) << name;
    EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0) << name;
    EXPECT_NE(shell.messages.back().text.find(name), std::string::npos) << shell.messages.back().text;
  }
}

TEST_F(OpenPictureTest, AHugePictureIsRefusedFromItsHeader) {
  // A PNG header claiming 40000x40000 pixels, with no data behind it.
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G',  13,   10, 26, 10,   0,    0, 0, 13, 'I', 'H', 'D',
                              'R',  0,   0,   0x9C, 0x40, 0,  0,  0x9C, 0x40, 8, 2, 0,  0,   0};
  png.insert(png.end(), {0, 0, 0, 0});  // a CRC (wrong, but the size is read first)
  Write("huge.png", png);
  ImageBuffer image;
  std::string reason;
  EXPECT_FALSE(DecodePicture(tmp / "huge.png", image, reason));
  EXPECT_NE(reason.find("huge.png"), std::string::npos);
  EXPECT_EQ(image.Pixels.size(), 0u);
}

TEST_F(OpenPictureTest, ABitmapHeaderWithAbsurdSizesIsRefused) {
  auto bmp = sample::EncodeBmp(Picture(16, 16));
  for (const uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0x01000001u}) {
    for (int at : {18, 22}) {
      auto bytes = bmp;
      for (int k = 0; k < 4; ++k) bytes[static_cast<size_t>(at + k)] = static_cast<uint8_t>(size >> (8 * k));
      Write("absurd.bmp", bytes);
      ImageBuffer image;
      std::string reason;
      EXPECT_FALSE(DecodePicture(tmp / "absurd.bmp", image, reason)) << size << " at " << at;
      EXPECT_TRUE(image.Pixels.empty());
    }
  }
}

TEST(PngWriter, WritesThePixelsItIsGiven) {
  TempDir tmp;
  const ImageBuffer picture = Picture(64, 64);
  std::string reason;
  ASSERT_TRUE(SavePng(tmp / "out.png", picture, reason)) << reason;
  ImageBuffer back;
  ASSERT_TRUE(DecodePicture(tmp / "out.png", back, reason)) << reason;
  EXPECT_EQ(back.Pixels, picture.Pixels);
}

}  // namespace
}  // namespace quorlin
