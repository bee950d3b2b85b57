// File > Open through our readers and the platform's decoder: every format gives the
// picture's pixels; unusable files leave no image loaded. The JPEG is tests/data/skin.jpg.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/commands.h"
#include "image/picture/picture_decoder.h"
#include "support/game_fixture.h"
#include "support/linear_light.h"

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

// A top-down bitmap (height -512) whose pixels lie 16 bytes further on, as byte 10 says.
std::vector<uint8_t> TopDownBmp(const ImageBuffer& picture) {
  ImageBuffer flipped = picture;
  FlipImage(flipped);
  auto bytes = test::With(sample::EncodeBmp(flipped), {{22, 0x00}, {23, 0xFE}, {24, 0xFF}, {25, 0xFF}});
  bytes.insert(bytes.begin() + bytes[10], 16, 0xEE);
  bytes[10] += 16;
  return bytes;
}

TEST(OpenPicture, EveryFormatGivesThePicturesPixelsAndUnusableFilesLeaveNoImageLoaded) {
  test::TempDir tmp;
  ProgramState state;
  test::RecordingFrontEnd ui;
  const auto show = [&ui](const ImageBuffer* p) { ui.events.push_back(p ? "picture" : "picture cleared"); };
  const auto open = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    sample::WriteFile(tmp / name, bytes);
    ui = test::RecordingFrontEnd{};
    return OpenPicture(state, ui, tmp / name, DecodePicture, ScaleDown::Never, show);
  };
  const ImageBuffer picture = test::PositionPicture(), smooth = Smooth();
  const auto bmp = sample::EncodeBmp(picture), tga = test::Targa(picture), png = sample::EncodePng(picture);
  const auto jpeg = sample::ReadFile(QUORLIN_TEST_DATA "/skin.jpg");
  const uint8_t sofMarker[] = {0xFF, 0xC0};  // the frame header, with the picture's size 5 bytes on
  const size_t sof = std::search(jpeg.begin(), jpeg.end(), sofMarker, sofMarker + 2) - jpeg.begin();
  const std::string targa = "Targa file must be 24-bit Uncompressed!", not512 = "Skin file isn't 512x512!";
  const std::string shortBmp = ": the bitmap file is shorter than its pixels";
  const std::string huge = "The picture is 8000x8000. Quorlin scales square pictures of up to 4096x4096 down to 512x512.";
  const std::string huge4097 =
      "The picture is 4097x4097. Quorlin scales square pictures of up to 4096x4096 down to 512x512.";
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    // none: loaded; "": refused for a reason naming the file; ": ...": what follows "Cannot read <file>"
    std::optional<std::string> message;
  } cases[] = {
      {"skin.bmp", bmp, {}},
      {"skin.Bmp", TopDownBmp(picture), {}},
      {"skin.png", png, {}},
      {"skin.TGA", tga, {}},
      {"skin.JPG", jpeg, {}},
      {"skin.jpeg", jpeg, "Unsupported format!"},
      {"rle.tga", test::With(tga, {{2, 10}}), targa},
      {"deep.tga", test::With(tga, {{16, 32}}), targa},
      {"cut.png", {png.begin(), png.begin() + png.size() / 2}, ""},
      {"cut.tga", {tga.begin(), tga.end() - 1}, ": the Targa file is shorter than its pixels."},
      {"zero.tga", test::With(tga, {{12, 0}, {13, 0}}), ": the Targa image's width or height is not usable."},
      {"cut.bmp", {bmp.begin(), bmp.begin() + bmp.size() / 2}, shortBmp},
      {"deep.bmp", test::With(bmp, {{28, 32}}), shortBmp},  // a 32-bit header over 24-bit pixels
      {"junk.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}, ""},
      {"notes.bmp", {'h', 'e', 'l', 'l', 'o', '\n'}, ""},  // renamed, not a picture
      {"511x512.bmp", sample::EncodeBmp(test::PositionPicture(511, 512)), not512},
      {"513x512.bmp", sample::EncodeBmp(test::PositionPicture(513, 512)), not512},
      {"512x511.bmp", sample::EncodeBmp(test::PositionPicture(512, 511)), not512},
      {"512x513.png", sample::EncodePng(test::PositionPicture(512, 513)), not512},
      // Sizes from the header: a square too large to scale down, or too large and not square.
      {"huge.jpg", test::With(jpeg, {{sof + 5, 0x1F}, {sof + 6, 0x40}, {sof + 7, 0x1F}, {sof + 8, 0x40}}), huge},
      {"huge.tga", test::With(tga, {{12, 0x01}, {13, 0x10}, {14, 0x01}, {15, 0x10}}), huge4097},
      {"wide.tga", test::With(tga, {{12, 0x40}, {13, 0x1F}, {14, 0x00}, {15, 0x01}}), not512}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(open("good.bmp", bmp), Outcome::Done);
    const Outcome outcome = open(c.name, c.bytes);
    if (!c.message) {  // JPEG is lossy: libjpeg-turbo stays within 3 of the source on this file
      ASSERT_EQ(outcome, Outcome::Done);
      EXPECT_EQ(ui.events, (std::vector<std::string>{"picture", "status Texture Loaded ready to insert"}));
      const bool lossy = c.bytes == jpeg;
      const ImageBuffer& expected = lossy ? smooth : picture;
      ASSERT_EQ(state.LoadedImage.Pixels.size(), expected.Pixels.size());
      for (size_t i = 0; i < expected.Pixels.size(); ++i) {
        ASSERT_LE(std::abs(state.LoadedImage.Pixels[i] - expected.Pixels[i]), lossy ? 3 : 0) << "byte " << i;
      }
      EXPECT_EQ(state.LoadedImage.BitsPerPixel, 24);
      ImageBuffer decoded;  // the platform's decoder agrees with our bitmap reader (Targa is ours alone)
      if (c.bytes != tga) {
        DecodePicture(tmp / c.name, decoded);
        EXPECT_EQ(decoded.Pixels, state.LoadedImage.Pixels);
      }
      continue;
    }
    EXPECT_EQ(outcome, Outcome::Refused);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    if (c.message->empty()) {
      EXPECT_NE(text.find(c.name), std::string::npos) << text;
    } else {
      EXPECT_EQ(text, (*c.message)[0] == ':' ? "Cannot read " + tmp / c.name + *c.message : *c.message);
    }
    EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0);
    EXPECT_EQ(ui.events.back(), "picture cleared");
  }
}

// A square picture larger than 512x512 is offered the scale-down: Yes loads it as a 512x512 one is
// (the picture scaled in linear light, shown only then); No refuses it as any other size is.
TEST(OpenPicture, ALargerSquarePictureIsScaledDownWhenTheUserSaysSo) {
  test::TempDir tmp;
  ImageBuffer large = test::PositionPicture(1024);
  sample::WriteFile(tmp / "large.png", sample::EncodePng(large));
  const ImageBuffer reference = test::Reference(large, 512);
  for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
    ProgramState state;
    test::RecordingFrontEnd ui;
    ui.answers = {answer};
    const auto show = [&ui](const ImageBuffer* p) { ui.events.push_back(p ? "picture" : "picture cleared"); };
    const Outcome outcome = OpenPicture(state, ui, tmp / "large.png", DecodePicture, ScaleDown::Ask, show);
    ASSERT_EQ(ui.messages.at(0).text, "The picture is 1024x1024. Scale it down to 512x512?");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
    if (answer == MessageAnswer::No) {
      EXPECT_EQ(outcome, Outcome::Refused);
      EXPECT_EQ(ui.events, (std::vector<std::string>{"message The picture is 1024x1024. Scale it down to 512x512?",
                                                        "message Skin file isn't 512x512!", "picture cleared"}));
      EXPECT_EQ(state.LoadedImage.BitsPerPixel, 0);
      continue;
    }
    ASSERT_EQ(outcome, Outcome::Done);
    EXPECT_EQ(ui.events.back(), "status Texture Loaded ready to insert");
    ASSERT_EQ(state.LoadedImage.Pixels.size(), reference.Pixels.size());
    for (size_t i = 0; i < reference.Pixels.size(); ++i) {
      ASSERT_LE(std::abs(state.LoadedImage.Pixels[i] - reference.Pixels[i]), 1) << "byte " << i;
    }
    EXPECT_TRUE(state.LoadedImage.Width == 512 && state.LoadedPictureName == "large.png");
  }
}

}  // namespace
}  // namespace quorlin
