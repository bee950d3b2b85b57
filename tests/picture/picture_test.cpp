// File > Open through our readers and the platform's decoder: every format gives the
// picture's pixels; unusable files leave no image loaded. The JPEG is tests/data/skin.jpg.
#include <gtest/gtest.h>

#include <algorithm>
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

// OpenPicture of a file written for it, with the platform's decoder: the question to scale down answered as
// told, what the front end is asked recorded afresh, the picture box's showing and clearing among it.
struct Opening {
  Outcome Open(const std::string& name, const std::vector<uint8_t>& bytes, MessageAnswer answer = MessageAnswer::No) {
    sample::WriteFile(tmp / name, bytes);
    ui = test::RecordingFrontEnd{};
    ui.answers = {answer};
    return OpenPicture(state, ui, tmp / name, DecodePicture, ScaleDown::Ask,
                       [this](const ImageBuffer* p) { ui.events.push_back(p ? "picture" : "picture cleared"); });
  }
  void ExpectLoaded(const ImageBuffer& want, int tolerance) const {
    ASSERT_EQ(state.LoadedImage.Pixels.size(), want.Pixels.size());
    for (size_t i = 0; i < want.Pixels.size(); ++i) {
      ASSERT_LE(std::abs(state.LoadedImage.Pixels[i] - want.Pixels[i]), tolerance) << "byte " << i;
    }
    EXPECT_TRUE(state.LoadedImage.BitsPerPixel == 24 && state.LoadedImage.Width == want.Width);
  }
  test::TempDir tmp;
  ProgramState state;
  test::RecordingFrontEnd ui;
};

// A top-down bitmap (height -512) whose pixels lie 16 bytes further on, at 70, as byte 10 says.
std::vector<uint8_t> TopDownBmp(ImageBuffer picture) {
  FlipImage(picture);
  auto bytes = test::With(sample::EncodeBmp(picture), {{10, 70}, {22, 0x00}, {23, 0xFE}, {24, 0xFF}, {25, 0xFF}});
  bytes.insert(bytes.begin() + 54, 16, 0xEE);
  return bytes;
}

TEST(OpenPicture, EveryFormatGivesThePicturesPixelsAndUnusableFilesLeaveNoImageLoaded) {
  Opening o;
  const ImageBuffer picture = test::PositionPicture();
  const auto bmp = sample::EncodeBmp(picture), tga = test::Targa(picture), png = sample::EncodePng(picture);
  const auto jpeg = sample::ReadFile(QUORLIN_TEST_DATA "/skin.jpg");
  const uint8_t sofMarker[] = {0xFF, 0xC0};  // the frame header, with the picture's size 5 bytes on
  const size_t sof = std::search(jpeg.begin(), jpeg.end(), sofMarker, sofMarker + 2) - jpeg.begin();
  const std::string targa = "Targa file must be 24-bit Uncompressed!", not512 = "Skin file isn't 512x512!";
  const std::string shortBmp = ": the bitmap file is shorter than its pixels";
  const std::string canScale = ". Quorlin scales square pictures of up to 4096x4096 down to 512x512.";
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    // none: loaded; ": ...": what follows "Cannot read <file>" (": " alone: the decoder's reason follows)
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
      {"cut.png", {png.begin(), png.begin() + png.size() / 2}, ": "},
      {"cut.tga", {tga.begin(), tga.end() - 1}, ": the Targa file is shorter than its pixels."},
      {"zero.tga", test::With(tga, {{12, 0}, {13, 0}}), ": the Targa image's width or height is not usable."},
      {"cut.bmp", {bmp.begin(), bmp.begin() + bmp.size() / 2}, shortBmp},
      {"deep.bmp", test::With(bmp, {{28, 32}}), shortBmp},  // a 32-bit header over 24-bit pixels
      {"junk.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}, ": "},
      {"notes.bmp", {'h', 'e', 'l', 'l', 'o', '\n'}, ": "},  // renamed, not a picture
      {"511x512.bmp", sample::EncodeBmp(test::PositionPicture(511, 512)), not512},
      {"513x512.bmp", sample::EncodeBmp(test::PositionPicture(513, 512)), not512},
      {"512x511.bmp", sample::EncodeBmp(test::PositionPicture(512, 511)), not512},
      {"512x513.png", sample::EncodePng(test::PositionPicture(512, 513)), not512},
      // Sizes from the header: a square too large to scale down, or too large and not square.
      {"huge.jpg", test::With(jpeg, {{sof + 5, 0x1F}, {sof + 6, 0x40}, {sof + 7, 0x1F}, {sof + 8, 0x40}}),
       "The picture is 8000x8000" + canScale},
      {"huge.tga", test::With(tga, {{12, 0x01}, {13, 0x10}, {14, 0x01}, {15, 0x10}}),
       "The picture is 4097x4097" + canScale},
      {"wide.tga", test::With(tga, {{12, 0x40}, {13, 0x1F}, {14, 0x00}, {15, 0x01}}), not512}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(o.Open("good.bmp", bmp), Outcome::Done);
    const Outcome outcome = o.Open(c.name, c.bytes);
    if (!c.message) {  // JPEG is lossy: libjpeg-turbo stays within 3 of the source on this file
      ASSERT_EQ(outcome, Outcome::Done);
      EXPECT_EQ(o.ui.events, (std::vector<std::string>{"picture", "status Texture Loaded ready to insert"}));
      o.ExpectLoaded(c.bytes == jpeg ? Smooth() : picture, c.bytes == jpeg ? 3 : 0);
      continue;
    }
    EXPECT_TRUE(outcome == Outcome::Refused && o.state.LoadedImage.BitsPerPixel == 0);
    EXPECT_EQ(o.ui.events.back(), "picture cleared");
    ASSERT_EQ(o.ui.messages.size(), 1u);
    const std::string want = (*c.message)[0] == ':' ? "Cannot read " + o.tmp / c.name + *c.message : *c.message;
    EXPECT_EQ(*c.message == ": " ? o.ui.messages[0].text.substr(0, want.size()) : o.ui.messages[0].text, want);
  }
}

// A square picture larger than 512x512 is offered the scale-down: Yes loads it as a 512x512 one is
// (the picture scaled in linear light, shown only then); No refuses it as any other size is.
TEST(OpenPicture, ALargerSquarePictureIsScaledDownWhenTheUserSaysSo) {
  const ImageBuffer large = test::PositionPicture(1024);
  const std::string ask = "message The picture is 1024x1024. Scale it down to 512x512?";
  for (const bool yes : {false, true}) {
    Opening o;
    EXPECT_EQ(o.Open("large.png", sample::EncodePng(large), yes ? MessageAnswer::Yes : MessageAnswer::No),
              yes ? Outcome::Done : Outcome::Refused);
    EXPECT_EQ(o.ui.messages.at(0).buttons, MessageButtons::YesNo);
    const std::vector<std::string> loaded = {ask, "picture", "status Texture Loaded ready to insert"},
                                   refused = {ask, "message Skin file isn't 512x512!", "picture cleared"};
    EXPECT_EQ(o.ui.events, yes ? loaded : refused);
    if (!yes) continue;
    o.ExpectLoaded(test::Reference(large, 512), 1);
  }
}

}  // namespace
}  // namespace quorlin
