#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <algorithm>
#include <filesystem>

#include "gui_fixture.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;

struct Spot {
  const char* name;
  int x;
  int y;
};
constexpr Spot kSpots[] = {{"top-left corner", 0, 0},       {"top-right corner", 511, 0},
                           {"bottom-left corner", 0, 511},  {"bottom-right corner", 511, 511},
                           {"centre", 256, 256},            {"second row", 300, 1},
                           {"low on the left", 37, 450},    {"right of the middle", 400, 200}};

std::string Rgb(QRgb c) {
  return std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c));
}
std::string Rgb(const ImageBuffer& image, int x, int y) {
  const uint8_t* p = image.Pixels.data() + image.Offset(x, y);
  return std::to_string(p[2]) + "," + std::to_string(p[1]) + "," + std::to_string(p[0]);
}

// An uncompressed 24-bit Targa with its rows stored bottom first, as most painting
// programs write them.
std::vector<uint8_t> BottomUpTarga(const ImageBuffer& image) {
  std::vector<uint8_t> out(18, 0);
  out[2] = 2;
  out[12] = static_cast<uint8_t>(image.Width & 255);
  out[13] = static_cast<uint8_t>(image.Width >> 8);
  out[14] = static_cast<uint8_t>(image.Height & 255);
  out[15] = static_cast<uint8_t>(image.Height >> 8);
  out[16] = 24;
  for (int y = image.Height - 1; y >= 0; --y) {
    const uint8_t* row = image.Pixels.data() + image.Offset(0, y);
    out.insert(out.end(), row, row + image.Width * 3);
  }
  return out;
}

// The same picture through Qt's own pixel setter, saved in a Qt format.
void SaveThroughQt(const ImageBuffer& image, const std::string& path, const char* format) {
  QImage q(image.Width, image.Height, QImage::Format_RGB32);
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      const uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      q.setPixel(x, y, qRgb(p[2], p[1], p[0]));
    }
  }
  ASSERT_TRUE(q.save(QString::fromStdString(path), format, 100));
}

class PictureTest : public WindowFixture {
 protected:
  QImage Grab() { return Child<QLabel>("Picture1")->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QRgb Background() const { return window->palette().color(QPalette::Window).rgb(); }

  void Open(const std::string& path) {
    chosenPicture = QString::fromStdString(path);
    Trigger("mnufileopen");
  }

  // The picture box shows the image unscaled at its top left, top row at the top,
  // and nothing of it past its 512 pixels.
  void ExpectShown(const ImageBuffer& expected) {
    const QImage shot = Grab();
    ASSERT_EQ(shot.size(), QSize(513, 513));
    for (const Spot& s : kSpots) {
      EXPECT_EQ(Rgb(shot.pixel(s.x, s.y)), Rgb(expected, s.x, s.y)) << s.name << " (" << s.x << "," << s.y << ")";
    }
    EXPECT_EQ(Rgb(shot.pixel(512, 0)), Rgb(Background())) << "column past the picture";
    EXPECT_EQ(Rgb(shot.pixel(0, 512)), Rgb(Background())) << "row past the picture";
  }

  void ExpectCleared() {
    const QImage shot = Grab();
    EXPECT_TRUE(Child<QLabel>("Picture1")->pixmap().isNull());
    for (const Spot& s : kSpots) EXPECT_EQ(Rgb(shot.pixel(s.x, s.y)), Rgb(Background())) << s.name;
  }

  void ExpectLoaded() {
    EXPECT_TRUE(messages.empty()) << messages.front().text;
    EXPECT_EQ(Status(), "Texture Loaded ready to insert");
    EXPECT_EQ(dialogsOpened, 1);
  }
};

TEST_F(PictureTest, BottomUpBitmapIsShownPixelForPixel) {
  StartWindow();
  const ImageBuffer picture = TestPicture(512);
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  Open(temp / "skin.bmp");
  ExpectLoaded();
  ExpectShown(picture);
}

TEST_F(PictureTest, BottomUpTargaIsShownPixelForPixel) {
  StartWindow();
  const ImageBuffer picture = TestPicture(512);
  sample::WriteFile(temp / "skin.tga", BottomUpTarga(picture));
  Open(temp / "skin.tga");
  ExpectLoaded();
  ExpectShown(picture);
}

TEST_F(PictureTest, TopFirstTargaOfTheSampleGameIsShownPixelForPixel) {
  StartWindow();
  Open(GameDir() + "/sample-skin.tga");
  ExpectLoaded();
  ExpectShown(sample::SamplePicture());
  // The sample's white top-left marker is at the top.
  EXPECT_EQ(Rgb(Grab().pixel(5, 5)), "255,255,255");
  EXPECT_NE(Rgb(Grab().pixel(5, 506)), "255,255,255");
}

TEST_F(PictureTest, PngIsShownPixelForPixel) {
  StartWindow();
  const ImageBuffer picture = TestPicture(512);
  SaveThroughQt(picture, temp / "skin.png", "PNG");
  Open(temp / "skin.png");
  ExpectLoaded();
  ExpectShown(picture);
}

TEST_F(PictureTest, JpegIsShownWithinItsCompressionError) {
  StartWindow();
  ImageBuffer plain = TestPicture(512);
  for (size_t i = 0; i < plain.Pixels.size(); i += 3) {
    plain.Pixels[i] = 50;       // blue
    plain.Pixels[i + 1] = 100;  // green
    plain.Pixels[i + 2] = 200;  // red
  }
  SaveThroughQt(plain, temp / "skin.jpg", "JPEG");
  Open(temp / "skin.jpg");
  ExpectLoaded();
  const QImage shot = Grab();
  for (const Spot& s : kSpots) {
    const QRgb c = shot.pixel(s.x, s.y);
    EXPECT_NEAR(qRed(c), 200, 4) << s.name;
    EXPECT_NEAR(qGreen(c), 100, 4) << s.name;
    EXPECT_NEAR(qBlue(c), 50, 4) << s.name;
  }
}

TEST_F(PictureTest, ShownPictureIsACopyThatSurvivesRepaints) {
  StartWindow();
  const ImageBuffer picture = TestPicture(512);
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  Open(temp / "skin.bmp");
  // Later changes to the program's buffers do not reach the screen.
  std::fill(window->State().LoadedImage.Pixels.begin(), window->State().LoadedImage.Pixels.end(), uint8_t{0});
  window->repaint();
  ExpectShown(picture);
}

TEST_F(PictureTest, PictureOfAnotherSizeIsRefusedAndClearsTheBox) {
  StartWindow();
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(TestPicture(512)));
  Open(temp / "skin.bmp");
  ASSERT_TRUE(messages.empty());
  const auto texturesBefore = sample::ReadFile(TexturesPath());
  const auto propsBefore = sample::ReadFile(PropsPath());

  sample::WriteFile(temp / "small.bmp", sample::EncodeBmp(TestPicture(256)));
  Open(temp / "small.bmp");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Skin file isn't 512x512!");
  EXPECT_EQ(messages[0].title, "Quorlin");
  EXPECT_EQ(messages[0].icon, MessageIcon::None);
  EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
  ExpectCleared();

  messages.clear();
  Trigger("mnueditInsert");
  EXPECT_THAT(MessageTexts(), ElementsAre("Load a 512x512 image to use for a skin"));
  EXPECT_EQ(sample::ReadFile(TexturesPath()), texturesBefore);
  EXPECT_EQ(sample::ReadFile(PropsPath()), propsBefore);
  EXPECT_FALSE(std::filesystem::exists(TexturesPath() + "b"));
  EXPECT_EQ(window->ExitStatus(), 0);
  EXPECT_TRUE(window->isVisible());
}

TEST_F(PictureTest, UnsupportedFormatIsRefusedAndClearsTheBox) {
  StartWindow();
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(TestPicture(512)));
  Open(temp / "skin.bmp");
  sample::WriteFile(temp / "skin.gif", {'G', 'I', 'F', '8', '9', 'a'});
  Open(temp / "skin.gif");
  EXPECT_THAT(MessageTexts(), ElementsAre("Unsupported format!"));
  ExpectCleared();
}

TEST_F(PictureTest, CancelledDialogChangesNothing) {
  StartWindow();
  const ImageBuffer picture = TestPicture(512);
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  Open(temp / "skin.bmp");
  window->SetStatus("something else", false);

  Open("");  // Cancel
  EXPECT_EQ(dialogsOpened, 2);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Status(), "something else");
  EXPECT_EQ(window->State().LoadedImage.BitsPerPixel, 24);
  ExpectShown(picture);
}

}  // namespace
}  // namespace quorlin::test
