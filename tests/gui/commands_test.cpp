// Edit > Insert Skin, Edit > Restore to Original, File > Exit and the exit status.
// What the commands write is checked in tests/core; here only that the window
// runs them on the selected slot, relays their questions and ends as they say.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "gui_fixture.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;

// The data of one archive entry, empty when the entry is missing or cut short.
std::vector<uint8_t> EntryData(const std::string& archive, const std::string& name) {
  const ArchiveDirectory dir = ReadArchiveDirectoryNative(archive);
  const long position = dir.Find(name);
  if (position < 0) return {};
  const DirEntry& entry = dir.At(position);
  const uint64_t at = ArchiveDirectory::DataPosition(dir.Header, entry);
  const std::vector<uint8_t> file = sample::ReadFile(archive);
  if (at + entry.DataLength > file.size()) return {};
  return {file.begin() + static_cast<std::ptrdiff_t>(at),
          file.begin() + static_cast<std::ptrdiff_t>(at + entry.DataLength)};
}

class CommandsTest : public WindowFixture {
 protected:
  // A started window with slot 12 chosen through the Skin menu and the test
  // picture loaded.
  void LoadPictureIntoSlot12() {
    StartWindow();
    Trigger("skinl_12");
    sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
    Open(temp / "skin.bmp");
    ASSERT_TRUE(messages.empty());
    ASSERT_EQ(Status(), "Texture Loaded ready to insert");
  }

  const ImageBuffer picture = TestPicture(512);
};

TEST_F(CommandsTest, InsertSkinWritesThePictureIntoTheSelectedSlot) {
  LoadPictureIntoSlot12();
  // Level 0 as written: an uncompressed 24-bit 512x512 Targa, rows top first.
  std::vector<uint8_t> level0 = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 24, 0x20};
  level0.insert(level0.end(), picture.Pixels.begin(), picture.Pixels.end());
  ASSERT_NE(EntryData(TexturesPath(), ExpectedTextureName(12, 0)), level0);

  Trigger("mnueditInsert");
  EXPECT_TRUE(messages.empty()) << messages.front().text;
  EXPECT_EQ(Status(), "Done.");
  EXPECT_TRUE(EntryData(TexturesPath(), ExpectedTextureName(12, 0)) == level0)
      << "slot 12's level-0 entry does not hold the picture";
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
}

TEST_F(CommandsTest, RestoreAsksThroughTheWindowAndRestoresOnlyOnYes) {
  LoadPictureIntoSlot12();
  Trigger("mnueditInsert");
  const auto inserted = sample::ReadFile(TexturesPath());
  window->SetStatus("before restore", false);
  messages.clear();

  answers = {MessageAnswer::No};
  Trigger("mnueditRestore");
  ASSERT_THAT(MessageTexts(), ElementsAre("Restoring may require you to rerun the Zandel!\nDo you wish to continue?"));
  EXPECT_EQ(messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(sample::ReadFile(TexturesPath()), inserted);
  EXPECT_EQ(Status(), "before restore");

  messages.clear();
  answers = {MessageAnswer::Yes};
  Trigger("mnueditRestore");
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(answers.empty());
  EXPECT_NE(sample::ReadFile(TexturesPath()), inserted);
  EXPECT_EQ(sample::ReadFile(TexturesPath()), sample::ReadFile(TexturesPath() + "b"));
  EXPECT_EQ(Status(), "Done.");
  EXPECT_TRUE(window->isVisible());
}

TEST_F(CommandsTest, ExitAndClosingEndWithStatusZeroAndACommandEndingTheProgramWithOne) {
  StartWindow();
  Trigger("mnufileexit");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
  EXPECT_TRUE(messages.empty());

  StartWindow();
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
  EXPECT_TRUE(messages.empty());

  // Insert finding the archive gone ends the program.
  LoadPictureIntoSlot12();
  std::filesystem::remove(TexturesPath());
  Trigger("mnueditInsert");
  EXPECT_THAT(MessageTexts(), ElementsAre("Mechwarrior path is invalid!"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
}

}  // namespace
}  // namespace quorlin::test
