// The commands as the window runs them: File > Open and what the picture box
// shows, Insert Skin on the selected slot, Restore's question, and the status the
// program ends with. Decoding and what the commands write are checked in
// tests/picture and tests/core.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "gui_fixture.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;

struct Spot {
  const char* name;
  int x;
  int y;
};
constexpr Spot kSpots[] = {{"top-left corner", 0, 0},      {"top-right corner", 511, 0},
                           {"bottom-left corner", 0, 511}, {"bottom-right corner", 511, 511},
                           {"centre", 256, 256},           {"second row", 300, 1},
                           {"low on the left", 37, 450},   {"right of the middle", 400, 200}};

// A picture in which every pixel differs: blue = x mod 256, green = y mod 256,
// red from the upper bits of x and y. A flip, shift or channel swap shows.
inline ImageBuffer TestPicture(int side) {
  ImageBuffer image;
  image.Width = image.Height = side;
  image.BitsPerPixel = 24;
  image.Pixels.resize(static_cast<size_t>(side) * static_cast<size_t>(side) * 3);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      p[0] = static_cast<uint8_t>(x & 255);
      p[1] = static_cast<uint8_t>(y & 255);
      p[2] = static_cast<uint8_t>(17 + 64 * (x >> 8) + 128 * (y >> 8));
    }
  }
  return image;
}

// An uncompressed 24-bit Targa of the picture, its rows stored top first or (as
// most painting programs write them) bottom first.
std::vector<uint8_t> Targa(const ImageBuffer& image, bool topFirst) {
  std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int side : {image.Width, image.Height}) out.insert(out.end(), {uint8_t(side & 255), uint8_t(side >> 8)});
  out.insert(out.end(), {24, uint8_t(topFirst ? 0x20 : 0)});
  for (int i = 0; i < image.Height; ++i) {
    const uint8_t* row = image.Pixels.data() + image.Offset(0, topFirst ? i : image.Height - 1 - i);
    out.insert(out.end(), row, row + image.Width * 3);
  }
  return out;
}

// The picture saved by Qt in one of its formats (PNG, JPEG).
bool SaveThroughQt(const ImageBuffer& image, const std::string& path, const char* format) {
  const QImage view(image.Pixels.data(), image.Width, image.Height, image.Width * 3, QImage::Format_BGR888);
  return view.save(QString::fromStdString(path), format, 100);
}

// The data of one archive entry, empty when the entry is missing or cut short.
std::vector<uint8_t> EntryData(const std::string& archive, const std::string& name) {
  const ArchiveDirectory dir = ReadArchiveDirectoryNative(archive);
  const long position = dir.Find(name);
  if (position < 0) return {};
  const uint64_t at = ArchiveDirectory::DataPosition(dir.Header, dir.At(position));
  const uint64_t end = at + dir.At(position).DataLength;
  const std::vector<uint8_t> file = sample::ReadFile(archive);
  if (end > file.size()) return {};
  return {file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(end)};
}

class CommandsTest : public WindowFixture {
 protected:
  QImage Grab() { return Child<QLabel>("Picture1")->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QRgb Background() const { return window->palette().color(QPalette::Window).rgb(); }

  // The box shows the picture unscaled at its top left, top row at the top, each
  // channel within `tolerance` of the file's, and nothing past its 512 pixels.
  void ExpectShown(const ImageBuffer& expected, int tolerance) {
    const QImage shot = Grab();
    ASSERT_EQ(shot.size(), QSize(513, 513));
    for (const Spot& s : kSpots) {
      const QRgb c = shot.pixel(s.x, s.y);
      const uint8_t* p = expected.Pixels.data() + expected.Offset(s.x, s.y);
      EXPECT_TRUE(std::abs(qRed(c) - p[2]) <= tolerance && std::abs(qGreen(c) - p[1]) <= tolerance &&
                  std::abs(qBlue(c) - p[0]) <= tolerance)
          << s.name << ": shown " << qRed(c) << "," << qGreen(c) << "," << qBlue(c) << ", file " << int{p[2]} << ","
          << int{p[1]} << "," << int{p[0]};
    }
    EXPECT_EQ(shot.pixel(512, 0), Background()) << "column past the picture";
    EXPECT_EQ(shot.pixel(0, 512), Background()) << "row past the picture";
  }

  const ImageBuffer picture = TestPicture(512);
};

TEST_F(CommandsTest, OpenShowsEachFormatPixelForPixelAndCancelKeepsIt) {
  StartWindow();
  ImageBuffer plain = picture;  // JPEG keeps a plain colour within a few steps
  for (size_t i = 0; i < plain.Pixels.size(); i += 3) {
    std::tie(plain.Pixels[i], plain.Pixels[i + 1], plain.Pixels[i + 2]) = std::tuple(50, 100, 200);  // blue, green, red
  }
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  sample::WriteFile(temp / "bottom-up.tga", Targa(picture, false));
  sample::WriteFile(temp / "top-first.tga", Targa(picture, true));
  ASSERT_TRUE(SaveThroughQt(picture, temp / "skin.png", "PNG"));
  ASSERT_TRUE(SaveThroughQt(plain, temp / "skin.jpg", "JPEG"));
  const struct {
    const char* file;
    const ImageBuffer& shown;
    int tolerance;
  } cases[] = {{"skin.bmp", picture, 0},
               {"bottom-up.tga", picture, 0},
               {"top-first.tga", picture, 0},
               {"skin.png", picture, 0},
               {"skin.jpg", plain, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Open(temp / c.file);
    EXPECT_TRUE(messages.empty()) << messages.front().text;
    EXPECT_EQ(Status(), "Texture Loaded ready to insert");
    ExpectShown(c.shown, c.tolerance);
    // The box holds its own copy: later changes to the loaded buffer never reach it.
    std::fill(window->State().LoadedImage.Pixels.begin(), window->State().LoadedImage.Pixels.end(), uint8_t{0});
    window->repaint();
    ExpectShown(c.shown, c.tolerance);
  }

  // Cancelling the dialog changes nothing.
  window->SetStatus("something else", false);
  Open("");
  EXPECT_EQ(dialogsOpened, 6);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Status(), "something else");
  EXPECT_EQ(window->State().LoadedImage.Width, 512);
  ExpectShown(plain, 4);
}

TEST_F(CommandsTest, APictureOfAnotherSizeClearsTheBoxAndLeavesNothingToInsert) {
  StartWindow();
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  sample::WriteFile(temp / "small.bmp", sample::EncodeBmp(TestPicture(256)));
  Open(temp / "skin.bmp");
  ASSERT_FALSE(Child<QLabel>("Picture1")->pixmap().isNull());
  messages.clear();

  Open(temp / "small.bmp");
  EXPECT_THAT(MessageTexts(), ElementsAre("Skin file isn't 512x512!"));
  EXPECT_TRUE(Child<QLabel>("Picture1")->pixmap().isNull());
  const QImage shot = Grab();
  for (const Spot& s : kSpots) EXPECT_EQ(shot.pixel(s.x, s.y), Background()) << s.name;
  messages.clear();
  Trigger("mnueditInsert");
  EXPECT_THAT(MessageTexts(), ElementsAre("Load a 512x512 image to use for a skin"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
}

TEST_F(CommandsTest, InsertSkinWritesTheSelectedSlotAndRestoreAsksAndRestoresOnlyOnYes) {
  StartWindow();
  Trigger("skinl_12");
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  Open(temp / "skin.bmp");
  // Level 0 as written: an uncompressed 24-bit 512x512 Targa, rows top first.
  const std::vector<uint8_t> level0 = Targa(picture, true);
  ASSERT_NE(EntryData(TexturesPath(), ExpectedTextureName(12, 0)), level0);

  Trigger("mnueditInsert");
  EXPECT_TRUE(messages.empty()) << messages.front().text;
  EXPECT_EQ(Status(), "Done.");
  EXPECT_TRUE(EntryData(TexturesPath(), ExpectedTextureName(12, 0)) == level0)
      << "slot 12's level-0 entry does not hold the picture";
  const auto inserted = sample::ReadFile(TexturesPath());
  window->SetStatus("before restore", false);

  answers = {MessageAnswer::No};
  Trigger("mnueditRestore");
  ASSERT_THAT(MessageTexts(), ElementsAre("Restoring may require you to rerun the Zandel!\nDo you wish to continue?"));
  EXPECT_EQ(messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(sample::ReadFile(TexturesPath()), inserted);
  EXPECT_EQ(Status(), "before restore");

  answers = {MessageAnswer::Yes};
  Trigger("mnueditRestore");
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_TRUE(answers.empty());
  EXPECT_NE(sample::ReadFile(TexturesPath()), inserted);
  EXPECT_EQ(sample::ReadFile(TexturesPath()), sample::ReadFile(TexturesPath() + "b"));
  EXPECT_EQ(Status(), "Done.");
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
}

TEST_F(CommandsTest, ExitAndClosingEndWithStatusZeroAndACommandEndingTheProgramWithOne) {
  for (const bool byMenu : {true, false}) {
    StartWindow();
    if (byMenu) {
      Trigger("mnufileexit");
    } else {
      EXPECT_TRUE(window->close());
    }
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->ExitStatus(), 0);
    EXPECT_TRUE(messages.empty());
  }
  // Insert finding the archive gone ends the program.
  StartWindow();
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  Open(temp / "skin.bmp");
  std::filesystem::remove(TexturesPath());
  Trigger("mnueditInsert");
  EXPECT_THAT(MessageTexts(), ElementsAre("Mechwarrior path is invalid!"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
}

}  // namespace
}  // namespace quorlin::test
