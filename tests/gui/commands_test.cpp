#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "gui_fixture.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;
using ::testing::HasSubstr;

// Where an entry's data lies in an archive.
struct Span {
  uint64_t at;
  uint32_t length;
};

Span EntryOf(const std::string& archive, const std::string& name) {
  const ArchiveDirectory dir = ReadArchiveDirectoryNative(archive);
  const long position = dir.Find(name);
  if (position < 0) throw std::runtime_error("no entry " + name + " in " + archive);
  const DirEntry& entry = dir.At(position);
  return {ArchiveDirectory::DataPosition(dir.Header, entry), entry.DataLength};
}

std::vector<Span> TextureEntries(const std::string& archive, int slot) {
  std::vector<Span> spans;
  for (int level = 0; level < kLevelCount; ++level) spans.push_back(EntryOf(archive, ExpectedTextureName(slot, level)));
  return spans;
}

std::vector<uint8_t> Bytes(const std::vector<uint8_t>& file, const Span& span) {
  return {file.begin() + static_cast<std::ptrdiff_t>(span.at),
          file.begin() + static_cast<std::ptrdiff_t>(span.at + span.length)};
}

// True when the two files differ in every given entry and nowhere else.
void ExpectChangedOnlyIn(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                         const std::vector<Span>& spans) {
  ASSERT_EQ(before.size(), after.size());
  std::vector<bool> inside(before.size(), false);
  for (const Span& s : spans) {
    EXPECT_NE(Bytes(before, s), Bytes(after, s)) << "entry at " << s.at << " was not written";
    for (uint64_t i = s.at; i < s.at + s.length; ++i) inside[i] = true;
  }
  size_t outsideChanges = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (!inside[i] && before[i] != after[i]) ++outsideChanges;
  }
  EXPECT_EQ(outsideChanges, 0u) << "bytes changed outside the slot's entries";
}

// The Targa header the entries are written with: type 2, side x side, 24 bits,
// rows top first.
std::vector<uint8_t> TargaHeader(int side) {
  return {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(side & 255), static_cast<uint8_t>(side >> 8),
          static_cast<uint8_t>(side & 255), static_cast<uint8_t>(side >> 8), 24, 0x20};
}

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

class CommandsTest : public WindowFixture {
 protected:
  // A started window with slot 12 chosen and the test picture loaded.
  void LoadPictureIntoSlot12() {
    StartWindow();
    Trigger("skinl_12");
    ASSERT_EQ(window->State().SelectedSlot, 12);
    sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
    chosenPicture = QString::fromStdString(temp / "skin.bmp");
    Trigger("mnufileopen");
    ASSERT_TRUE(messages.empty());
    ASSERT_EQ(Status(), "Texture Loaded ready to insert");
  }

  const ImageBuffer picture = TestPicture(512);
};

TEST_F(CommandsTest, InsertSkinWritesTheSelectedSlotAndNothingElse) {
  LoadPictureIntoSlot12();
  const auto texturesBefore = sample::ReadFile(TexturesPath());
  const auto propsBefore = sample::ReadFile(PropsPath());

  Trigger("mnueditInsert");
  EXPECT_TRUE(messages.empty()) << messages.front().text;
  EXPECT_EQ(Status(), "Done.");
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);

  // One-time backups of the untouched archives.
  EXPECT_EQ(sample::ReadFile(TexturesPath() + "b"), texturesBefore);
  EXPECT_EQ(sample::ReadFile(PropsPath() + "b"), propsBefore);

  const auto texturesAfter = sample::ReadFile(TexturesPath());
  const auto propsAfter = sample::ReadFile(PropsPath());
  const std::vector<Span> levels = TextureEntries(TexturesPath(), 12);
  const Span lobby = EntryOf(PropsPath(), ExpectedLobbyName(12));
  ExpectChangedOnlyIn(texturesBefore, texturesAfter, levels);
  ExpectChangedOnlyIn(propsBefore, propsAfter, {lobby});

  // Level 0 is the picture itself; every level is a square of its own side whose
  // top-left pixel is the picture's.
  std::vector<uint8_t> level0 = TargaHeader(512);
  level0.insert(level0.end(), picture.Pixels.begin(), picture.Pixels.end());
  EXPECT_TRUE(Bytes(texturesAfter, levels[0]) == level0) << "level 0 is not the picture";
  for (int level = 0; level < kLevelCount; ++level) {
    const auto bytes = Bytes(texturesAfter, levels[static_cast<size_t>(level)]);
    ASSERT_EQ(bytes.size(), 18u + static_cast<size_t>(512 >> level) * static_cast<size_t>(512 >> level) * 3);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 18), TargaHeader(512 >> level)) << level;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 18, bytes.begin() + 21),
              std::vector<uint8_t>(picture.Pixels.begin(), picture.Pixels.begin() + 3))
        << level;
  }
  const auto lobbyBytes = Bytes(propsAfter, lobby);
  EXPECT_EQ(std::vector<uint8_t>(lobbyBytes.begin(), lobbyBytes.begin() + 18), TargaHeader(32));
}

TEST_F(CommandsTest, InsertSkinIntoAnUnpreparedSlotIsRefusedWithTheArchiveUntouched) {
  LoadPictureIntoSlot12();
  Trigger("skinl_13");
  const auto texturesBefore = sample::ReadFile(TexturesPath());
  const auto propsBefore = sample::ReadFile(PropsPath());

  Trigger("mnueditInsert");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "The Zandel is required to use the Quorlin tool!");
  EXPECT_EQ(messages[0].title, "textures.mw4 not patched!");
  EXPECT_EQ(sample::ReadFile(TexturesPath()), texturesBefore);
  EXPECT_EQ(sample::ReadFile(PropsPath()), propsBefore);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
}

TEST_F(CommandsTest, RestoreAnsweredYesPutsTheBackupsBack) {
  const auto texturesOriginal = sample::ReadFile(TexturesPath());
  const auto propsOriginal = sample::ReadFile(PropsPath());
  LoadPictureIntoSlot12();
  Trigger("mnueditInsert");
  ASSERT_NE(sample::ReadFile(TexturesPath()), texturesOriginal);
  messages.clear();

  answers = {MessageAnswer::Yes};
  Trigger("mnueditRestore");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Restoring may require you to rerun the Zandel!\nDo you wish to continue?");
  EXPECT_EQ(messages[0].title, "Continue?");
  EXPECT_EQ(messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(messages[0].buttons, MessageButtons::YesNo);
  EXPECT_TRUE(answers.empty());

  EXPECT_EQ(sample::ReadFile(TexturesPath()), sample::ReadFile(TexturesPath() + "b"));
  EXPECT_EQ(sample::ReadFile(PropsPath()), sample::ReadFile(PropsPath() + "b"));
  EXPECT_EQ(sample::ReadFile(TexturesPath()), texturesOriginal);
  EXPECT_EQ(sample::ReadFile(PropsPath()), propsOriginal);
  EXPECT_EQ(Status(), "Done.");
  // No copy left half-made beside the archives.
  EXPECT_EQ(FilesIn(GameDir() + "/resource"),
            (std::set<std::string>{"props.inx", "props.mw4", "props.mw4b", "textures.inx", "textures.mw4",
                                   "textures.mw4b"}));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(CommandsTest, RestoreAnsweredNoChangesNothing) {
  LoadPictureIntoSlot12();
  Trigger("mnueditInsert");
  messages.clear();
  window->SetStatus("before restore", false);
  const auto textures = sample::ReadFile(TexturesPath());
  const auto props = sample::ReadFile(PropsPath());
  const auto texturesBackup = sample::ReadFile(TexturesPath() + "b");
  const auto propsBackup = sample::ReadFile(PropsPath() + "b");
  const auto files = FilesIn(GameDir() + "/resource");

  answers = {MessageAnswer::No};
  Trigger("mnueditRestore");
  EXPECT_THAT(MessageTexts(), ElementsAre("Restoring may require you to rerun the Zandel!\nDo you wish to continue?"));
  EXPECT_EQ(sample::ReadFile(TexturesPath()), textures);
  EXPECT_EQ(sample::ReadFile(PropsPath()), props);
  EXPECT_EQ(sample::ReadFile(TexturesPath() + "b"), texturesBackup);
  EXPECT_EQ(sample::ReadFile(PropsPath() + "b"), propsBackup);
  EXPECT_EQ(FilesIn(GameDir() + "/resource"), files);
  EXPECT_EQ(Status(), "before restore");
  EXPECT_TRUE(window->isVisible());
}

TEST_F(CommandsTest, InsertWithTheArchiveGoneEndsTheProgramWithStatusOne) {
  LoadPictureIntoSlot12();
  std::filesystem::remove(TexturesPath());
  Trigger("mnueditInsert");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Mechwarrior path is invalid!");
  EXPECT_EQ(messages[0].icon, MessageIcon::Critical);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
}

TEST_F(CommandsTest, InsertFailureReportEndsTheProgramWithStatusOne) {
  LoadPictureIntoSlot12();
  // Cut the lobby archive inside slot 12's preview: its directory still reads,
  // but the entry runs past the end of the file.
  const Span lobby = EntryOf(PropsPath(), ExpectedLobbyName(12));
  std::filesystem::resize_file(PropsPath(), lobby.at + 10);
  Trigger("mnueditInsert");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_THAT(messages[0].text, StartsWith("Error "));
  EXPECT_THAT(messages[0].text, HasSubstr("past the end"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
}

}  // namespace
}  // namespace quorlin::test
