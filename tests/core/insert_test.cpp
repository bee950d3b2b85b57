// Insert Skin on generated games: the bytes written, what is left alone, the
// backups, the messages and step texts, and failures that must not touch anything.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "archive/patch.h"
#include "image/targa.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::EntryBytes;
using test::ReadBytes;

// A 512x512 picture whose pixels tell their position apart.
ImageBuffer PositionPicture() {
  ImageBuffer image;
  image.Width = image.Height = 512;
  image.BitsPerPixel = 24;
  image.Pixels.resize(512 * 512 * 3);
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512; ++x) {
      uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>(((x >> 8) | ((y >> 8) << 1)) | (((x * 7) ^ (y * 13)) & 0xF8));
    }
  }
  return image;
}

// Byte ranges [start, end) of a slot's seven entries in each archive.
using Ranges = std::vector<std::pair<size_t, size_t>>;
Ranges EntryRanges(const std::string& archive, const std::vector<std::string>& names) {
  const auto dir = ParseArchiveDirectory(ReadBytes(archive));
  Ranges ranges;
  for (const auto& name : names) {
    const DirEntry& e = dir.Directory[static_cast<size_t>(dir.Find(name))];
    const auto start = static_cast<size_t>(ArchiveDirectory::DataPosition(dir.Header, e));
    ranges.emplace_back(start, start + e.DataLength);
  }
  return ranges;
}

std::vector<std::string> TextureNames(int slot) {
  std::vector<std::string> names;
  for (int l = 0; l < 6; ++l) names.push_back(ExpectedTextureName(slot, l));
  return names;
}

// Every byte outside the ranges equal in both files, and the lengths equal.
void ExpectSameOutside(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, const Ranges& ranges) {
  ASSERT_EQ(before.size(), after.size());
  std::vector<bool> inside(before.size(), false);
  for (const auto& [a, b] : ranges)
    std::fill(inside.begin() + static_cast<std::ptrdiff_t>(a), inside.begin() + static_cast<std::ptrdiff_t>(b), true);
  size_t differences = 0;
  for (size_t i = 0; i < before.size(); ++i) differences += !inside[i] && before[i] != after[i];
  EXPECT_EQ(differences, 0u);
}

// The stored image equals the picture sampled at (x * step, y * step).
void ExpectLevel(const std::vector<uint8_t>& stored, const ImageBuffer& picture, int side, int step) {
  ASSERT_EQ(stored.size(), 18u + static_cast<size_t>(side * side * 3));
  const std::vector<uint8_t> header(stored.begin(), stored.begin() + 18);
  EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(side & 0xFF),
                                          static_cast<uint8_t>(side >> 8), static_cast<uint8_t>(side & 0xFF),
                                          static_cast<uint8_t>(side >> 8), 24, 0x20}));
  size_t wrong = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const uint8_t* want = picture.Pixels.data() + picture.Offset(x * step, y * step);
      const uint8_t* got = stored.data() + 18 + (static_cast<size_t>(y) * side + x) * 3;
      wrong += !std::equal(want, want + 3, got);
    }
  }
  EXPECT_EQ(wrong, 0u) << "side " << side;
}

class InsertTest : public test::GameTest {
 protected:
  void SetUp() override {
    MakeGame(Options());
    ASSERT_EQ(Start(), Outcome::Done);
    shell = test::RecordingShell{};
    texturesBefore = ReadBytes(Textures());
    propsBefore = ReadBytes(Props());
    picture = PositionPicture();
    LoadPicture(picture);
    state.StepObserver = [this](const std::string& step) { steps.push_back(step); };
  }
  virtual sample::GameOptions Options() {
    auto options = test::SmallGame({9, 10, 12, 37});
    options.unpreparedTextures = {10};
    options.unpreparedProps = {37};
    return options;
  }
  Outcome Insert(int slot, LevelFilter filter = LevelFilter::Nearest) {
    skinl_Click(state, shell, static_cast<int16_t>(slot));
    shell.events.clear();
    return mnueditInsert_Click(state, shell, filter);
  }
  void ExpectArchivesUnchanged() {
    EXPECT_EQ(ReadBytes(Textures()), texturesBefore);
    EXPECT_EQ(ReadBytes(Props()), propsBefore);
  }
  std::vector<std::string> LeftoverFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "resource")) {
      const std::string name = e.path().filename().string();
      if (name.find("XXXX") != std::string::npos || name.find(".mw4.") != std::string::npos ||
          name.find("partial") != std::string::npos) {
        names.push_back(name);
      }
    }
    return names;
  }

  std::vector<uint8_t> texturesBefore;
  std::vector<uint8_t> propsBefore;
  ImageBuffer picture;
  std::vector<std::string> steps;
};

TEST_F(InsertTest, WritesEveryLevelAndThePreviewExactlyAndNothingElse) {
  ASSERT_EQ(Insert(12), Outcome::Done);
  const auto textures = ReadBytes(Textures());
  const auto props = ReadBytes(Props());
  for (int n = 0; n < 6; ++n)
    ExpectLevel(EntryBytes(Textures(), ExpectedTextureName(12, n)), picture, 512 >> n, 1 << n);
  ExpectLevel(EntryBytes(Props(), ExpectedLobbyName(12)), picture, 32, 16);
  ExpectSameOutside(texturesBefore, textures, EntryRanges(Textures(), TextureNames(12)));
  ExpectSameOutside(propsBefore, props, EntryRanges(Props(), {ExpectedLobbyName(12)}));
  // The backups hold the archives as they were before the first insertion.
  EXPECT_EQ(ReadBytes(Textures() + "b"), texturesBefore);
  EXPECT_EQ(ReadBytes(Props() + "b"), propsBefore);
  EXPECT_TRUE(LeftoverFiles().empty());
  EXPECT_FALSE(fs::exists("c:\\test.tga"));
}

TEST_F(InsertTest, StatusTextsMessagesAndStepsOfAFirstInsertion) {
  ASSERT_EQ(Insert(12), Outcome::Done);
  EXPECT_EQ(shell.events, (std::vector<std::string>{
                              "status! Backing up resource\\textures.mw4", "busy",
                              "status Quick Patching resource\\textures.mw4", "status! Backing up resource\\props.mw4",
                              "busy", "status! Quick Patching resource\\props.mw4", "idle", "status! Done."}));
  EXPECT_TRUE(shell.messages.empty());

  const std::string t = state.Game.GamePath("resource\\textures.mw4");
  const std::string p = state.Game.GamePath("resource\\props.mw4");
  std::vector<std::string> expected = {"Before Check Patch",    "After Check Patch", "Alloc directory",
                                       "after Alloc directory", "Before Open " + t,  "After Open " + t};
  const auto texturesDir = ParseArchiveDirectory(texturesBefore);
  for (int i = 1; i <= texturesDir.Header.EntryCount - 1; ++i) {
    expected.push_back("Dynamic Alloc Directory " + std::to_string(i));
    expected.push_back("After Dynamic Alloc Directory " + std::to_string(i));
  }
  for (int n = 0; n < 6; ++n) {
    const std::string l = std::to_string(n);
    expected.push_back("Getting Skin 12 Length of File " + l);
    expected.push_back("Allocating Buffer for Skin 12 /" + l);
    expected.push_back("Copy Memory " + l);
    if (n > 0) expected.push_back("Resizing " + l);
    expected.push_back("SaveTGA " + l);
  }
  for (int n = 0; n < 6; ++n) expected.push_back("SaveTGA " + std::to_string(n));  // the writes themselves
  expected.insert(expected.end(), {"Out of TGA 5", "Checking Patched Props", "Clearing Directory", "Open File " + p});
  const auto propsDir = ParseArchiveDirectory(propsBefore);
  for (int i = 1; i <= propsDir.Header.EntryCount - 1; ++i) expected.push_back("Alloc Directory" + std::to_string(i));
  expected.insert(expected.end(), {"props Get length of buffer 12", "props Alloc buffer 12", "props Copymemory 12",
                                   "props Resize Memory 12", "props SaveTGA 12", "props SaveTGA 12"});
  EXPECT_EQ(steps, expected);
}

TEST_F(InsertTest, LaterInsertionsNeitherRefreshBackupsNorChangeTheResult) {
  ASSERT_EQ(Insert(12), Outcome::Done);
  const auto once = ReadBytes(Textures());
  const auto propsOnce = ReadBytes(Props());
  ASSERT_EQ(Insert(12), Outcome::Done);
  EXPECT_EQ(ReadBytes(Textures()), once);
  EXPECT_EQ(ReadBytes(Props()), propsOnce);
  EXPECT_EQ(shell.events,
            (std::vector<std::string>{"busy", "status Quick Patching resource\\textures.mw4", "busy",
                                      "status! Quick Patching resource\\props.mw4", "idle", "status! Done."}));
  ASSERT_EQ(Insert(9), Outcome::Done);
  EXPECT_EQ(ReadBytes(Textures() + "b"), texturesBefore);
  EXPECT_EQ(ReadBytes(Props() + "b"), propsBefore);
  // Slot 12's entries survive an insertion into slot 9.
  ExpectLevel(EntryBytes(Textures(), ExpectedTextureName(12, 3)), picture, 64, 8);
}

TEST_F(InsertTest, UnpreparedTexturesWriteNothingAndSkipTheLobbyHalf) {
  EXPECT_EQ(Insert(10), Outcome::Refused);
  ExpectArchivesUnchanged();
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0].text, "The Zandel is required to use the Quorlin tool!");
  EXPECT_EQ(shell.messages[0].title, "textures.mw4 not patched!");
  EXPECT_EQ(shell.messages[0].icon, MessageIcon::None);
  EXPECT_FALSE(shell.busy);
  // The texture backup is made before the check; the lobby half never runs.
  EXPECT_EQ(ReadBytes(Textures() + "b"), texturesBefore);
  EXPECT_FALSE(fs::exists(Props() + "b"));
}

TEST_F(InsertTest, UnpreparedPreviewKeepsTheTexturesAndSaysNoDone) {
  EXPECT_EQ(Insert(37), Outcome::Refused);
  for (int n = 0; n < 6; ++n)
    ExpectLevel(EntryBytes(Textures(), ExpectedTextureName(37, n)), picture, 512 >> n, 1 << n);
  EXPECT_EQ(ReadBytes(Props()), propsBefore);
  EXPECT_EQ(ReadBytes(Props() + "b"), propsBefore);
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0].title, "props.mw4 not patched!");
  EXPECT_EQ(shell.StatusTexts().back(), "Backing up resource\\props.mw4");
}

TEST_F(InsertTest, NoPictureMeansOneMessageAndNoFileTouched) {
  state.LoadedImage.BitsPerPixel = 0;
  EXPECT_EQ(Insert(12), Outcome::Refused);
  EXPECT_EQ(shell.events, std::vector<std::string>{"message Load a 512x512 image to use for a skin"});
  ExpectArchivesUnchanged();
  EXPECT_FALSE(fs::exists(Textures() + "b"));
}

TEST_F(InsertTest, MissingArchivesEndTheProgram) {
  fs::remove(Props());
  EXPECT_EQ(Insert(12), Outcome::EndProgram);
  EXPECT_EQ(shell.MessageTexts(), std::vector<std::string>{"Mechwarrior path is invalid!"});
  ExpectLevel(EntryBytes(Textures(), ExpectedTextureName(12, 0)), picture, 512, 1);  // already written

  fs::remove(Textures());
  shell = test::RecordingShell{};
  EXPECT_EQ(Insert(12), Outcome::EndProgram);
  EXPECT_EQ(shell.messages[0].icon, MessageIcon::Critical);
}

TEST_F(InsertTest, APositionOutsideTheDirectoryGivesTheFailureReport) {
  state.Index.TexturesSkinIndex[12][2] = 30000;
  EXPECT_EQ(Insert(12), Outcome::EndProgram);
  ASSERT_EQ(shell.messages.size(), 1u);
  const std::string& text = shell.messages[0].text;
  EXPECT_EQ(text.rfind("Error 9\n", 0), 0u) << text;
  EXPECT_NE(text.find("Subscript out of range"), std::string::npos);
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "Before Check Patch");
  EXPECT_EQ(shell.messages[0].title, "Quorlin");
  EXPECT_FALSE(shell.busy);
  ExpectArchivesUnchanged();
}

// Points one of slot 12's texture entries past the end of the file, keeping its
// stored length, so the archive still counts as prepared.
void PointPastTheEnd(const std::string& archive, const std::string& name) {
  auto bytes = ReadBytes(archive);
  const auto dir = ParseArchiveDirectory(bytes);
  size_t at = kArchiveHeaderSize;
  for (int i = 0; i < dir.Header.EntryCount - 1; ++i) {
    const size_t skip = GetU16(&bytes[at + 23]);
    const size_t nameLength = bytes[at + 22];
    const std::string stored(bytes.begin() + static_cast<std::ptrdiff_t>(at + 25 + skip),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + 25 + skip + nameLength));
    if (NormalizeEntryName(stored) == name) {
      const uint32_t offset = static_cast<uint32_t>(bytes.size()) - dir.Header.DataBase - 100;
      for (int k = 0; k < 4; ++k) bytes[at + 16 + k] = static_cast<uint8_t>(offset >> (8 * k));
      sample::WriteFile(archive, bytes);
      return;
    }
    at += 25 + skip + nameLength;
  }
  FAIL() << name;
}

TEST_F(InsertTest, AnEntryPastTheEndOfTheFileStopsBeforeAnyByteIsWritten) {
  PointPastTheEnd(Textures(), ExpectedTextureName(12, 3));
  texturesBefore = ReadBytes(Textures());
  EXPECT_EQ(Insert(12), Outcome::EndProgram);
  ASSERT_EQ(shell.messages.size(), 1u);
  const std::string& text = shell.messages[0].text;
  EXPECT_EQ(text.rfind("Error 62\n", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "Getting Skin 12 Length of File 3");
  ExpectArchivesUnchanged();  // levels 0 to 2 were not written either
}

TEST_F(InsertTest, AReadOnlyArchivePassesTheCheckButIsNotWritten) {
  ASSERT_EQ(Insert(9), Outcome::Done);  // backups exist from here on
  texturesBefore = ReadBytes(Textures());
  test::Immutable lock(Textures());
  if (!lock.ok()) GTEST_SKIP() << "the file system cannot make a file read-only for root";
  EXPECT_EQ(Insert(12), Outcome::EndProgram);
  const std::string& text = shell.messages.at(0).text;
  EXPECT_EQ(text.rfind("Error 70\n", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "Before Open " + state.Game.GamePath("resource\\textures.mw4"));
  lock.Release();
  EXPECT_EQ(ReadBytes(Textures()), texturesBefore);
}

TEST_F(InsertTest, ABackupThatCannotBeMadeStopsThatArchiveAndALaterInsertWorks) {
  {
    test::Immutable lock(dir / "resource");  // no new file can be created beside the archives
    if (!lock.ok()) GTEST_SKIP() << "the file system cannot make a folder read-only for root";
    EXPECT_EQ(Insert(12), Outcome::Refused);
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].text.rfind("Could not back up resource\\textures.mw4:\n", 0), 0u)
        << shell.messages[0].text;
    EXPECT_EQ(shell.messages[0].icon, MessageIcon::Critical);
  }
  ExpectArchivesUnchanged();
  EXPECT_FALSE(fs::exists(Textures() + "b"));
  EXPECT_TRUE(LeftoverFiles().empty());

  // A size limit cuts the copy short: still no backup, nothing written.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  shell = test::RecordingShell{};
  const Outcome limited = Insert(12);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(limited, Outcome::Refused);
  EXPECT_NE(shell.messages.at(0).text.find("Could not back up"), std::string::npos);
  ExpectArchivesUnchanged();
  EXPECT_FALSE(fs::exists(Textures() + "b"));
  EXPECT_TRUE(LeftoverFiles().empty());

  // With the cause gone, the next insert backs up the untouched archives.
  shell = test::RecordingShell{};
  ASSERT_EQ(Insert(12), Outcome::Done);
  EXPECT_EQ(ReadBytes(Textures() + "b"), texturesBefore);
  EXPECT_EQ(ReadBytes(Props() + "b"), propsBefore);
}

TEST_F(InsertTest, BoxFilterAveragesEachLevelFromTheFullPicture) {
  ASSERT_EQ(Insert(12, LevelFilter::Box), Outcome::Done);
  ExpectLevel(EntryBytes(Textures(), ExpectedTextureName(12, 0)), picture, 512, 1);
  const auto level1 = EntryBytes(Textures(), ExpectedTextureName(12, 1));
  ImageBuffer expected = picture;
  BoxResizeImage(expected, 256, 256);
  EXPECT_TRUE(std::equal(expected.Pixels.begin(), expected.Pixels.end(), level1.begin() + 18));
  // Pixel (0,0) of level 1 averages x 0..1: blue (0 + 1 + 0 + 1) / 4 = 0.5 -> 1.
  EXPECT_EQ(level1[18], 1);
}

}  // namespace
}  // namespace quorlin
