// Restore to Original, the per-slot restore, and the whole-file copy behind
// backups and restores.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/slot_tools.h"
#include "platform/error.h"
#include "platform/file_copy.h"
#include "support/game_fixture.h"

#ifdef __linux__
#include <sys/stat.h>
#endif

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::SameBytes;

const std::string kQuestion = "Restoring may require you to rerun the Zandel!\nDo you wish to continue?";
const std::vector<std::string> kBoth = {"Restoring resource\\textures.mw4 from backup",
                                        "Restoring resource\\props.mw4 from backup", "Done."};

// A game whose slots 12 and 9 hold a picture, with backups of the original.
struct RestoreGame : test::TestGame {
  RestoreGame() : TestGame(test::SmallGame({9, 12})) {
    EXPECT_EQ(Start(), Outcome::Done);
    originalTextures = ReadBytes(Textures());
    originalProps = ReadBytes(Props());
    LoadPicture(test::PositionPicture());
    EXPECT_EQ(Insert(12), Outcome::Done);
    EXPECT_EQ(Insert(9), Outcome::Done);
  }
  Outcome Restore(MessageAnswer answer, int slot = 0) {
    return Run([&] {
      shell.answers.push_back(answer);
      return slot ? RestoreSlot(state, shell, slot) : mnueditRestore_Click(state, shell);
    });
  }
  std::vector<uint8_t> originalTextures, originalProps;
};

TEST(RestoreToOriginal, AsksThenCopiesBothBackupsBackAndKeepsThem) {
  RestoreGame g;
  const auto inserted = ReadBytes(g.Textures());
  EXPECT_EQ(g.Restore(MessageAnswer::No), Outcome::Refused);
  ASSERT_EQ(g.shell.messages.size(), 1u);
  EXPECT_EQ(g.shell.messages[0].text, kQuestion);
  EXPECT_EQ(g.shell.messages[0].title, "Continue?");
  EXPECT_EQ(g.shell.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(g.shell.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_TRUE(g.shell.statuses.empty());
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), inserted));
  for (int round = 0; round < 2; ++round) {  // and again: the backups remain
    EXPECT_EQ(g.Restore(MessageAnswer::Yes), Outcome::Done);
    EXPECT_EQ(g.shell.statuses, kBoth);
    EXPECT_EQ(g.shell.messages.size(), 1u);
    for (const auto& [archive, original] :
         {std::pair{g.Textures(), g.originalTextures}, {g.Props(), g.originalProps}}) {
      EXPECT_TRUE(SameBytes(ReadBytes(archive), original));
      EXPECT_TRUE(SameBytes(ReadBytes(archive + "b"), original));
    }
  }
}

TEST(RestoreToOriginal, AMissingBackupIsReportedAndTheOtherStillRestored) {
  const std::string noTextures = "Backup texture file doesn't exist!", noProps = "Backup props file doesn't exists!";
  const struct {
    bool texturesBackup, propsBackup;
    std::vector<std::string> messages, statuses;
  } cases[] = {
      {true, false, {kQuestion, noProps}, {kBoth[0], "Done."}},
      {false, true, {kQuestion, noTextures}, {kBoth[1], "Done."}},
      {false, false, {kQuestion, noTextures, noProps}, {"Done."}},
  };
  for (const auto& c : cases) {
    RestoreGame g;
    if (!c.texturesBackup) fs::remove(g.Textures() + "b");
    if (!c.propsBackup) fs::remove(g.Props() + "b");
    const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    EXPECT_EQ(g.Restore(MessageAnswer::Yes), Outcome::Refused);
    EXPECT_EQ(g.shell.MessageTexts(), c.messages);
    EXPECT_EQ(g.shell.messages.back().icon, MessageIcon::Critical);
    EXPECT_EQ(g.shell.statuses, c.statuses);
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), c.texturesBackup ? g.originalTextures : textures));
    EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), c.propsBackup ? g.originalProps : props));
  }
}

#ifdef __linux__
TEST(RestoreToOriginal, TheLobbyArchiveEndsWritableAndAFailedCopyIsReported) {
  RestoreGame g;
  ASSERT_EQ(::chmod((g.Props() + "b").c_str(), 0444), 0);
  EXPECT_EQ(g.Restore(MessageAnswer::Yes), Outcome::Done);
  struct stat st {};
  ASSERT_EQ(::stat(g.Props().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0600, 0600u);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), g.originalProps));

  RestoreGame h;
  const auto inserted = ReadBytes(h.Textures());
  test::Immutable lock(h.dir / "resource");
  if (!lock.ok()) GTEST_SKIP() << "the file system cannot make a folder read-only for root";
  EXPECT_EQ(h.Restore(MessageAnswer::Yes), Outcome::Refused);
  lock.Release();
  ASSERT_EQ(h.shell.messages.size(), 2u);  // not even the journal can be written there
  EXPECT_EQ(h.shell.messages[1].text.rfind("Could not restore:\n", 0), 0u) << h.shell.messages[1].text;
  EXPECT_EQ(h.shell.statuses.back(), "Done.");
  EXPECT_TRUE(SameBytes(ReadBytes(h.Textures()), inserted));
}
#endif

TEST(RestoreSlot, PutsBackEachOfTheSlotsSevenEntriesAndNothingElse) {
  RestoreGame g;
  auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  for (const auto& [name, place] : g.layout.textures) {
    if (name.rfind("textures\\skinb", 0) == 0) test::Put(textures, place, test::At(g.originalTextures, place));
  }
  const auto& lobby = g.layout.props.at(ExpectedLobbyName(12));
  test::Put(props, lobby, test::At(g.originalProps, lobby));
  EXPECT_EQ(g.Restore(MessageAnswer::Yes, 12), Outcome::Done);
  EXPECT_EQ(g.shell.statuses, kBoth);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), props));

  // Nothing is written unless both archives can be restored.
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  textures = ReadBytes(g.Textures());
  fs::rename(g.Props() + "b", g.dir / "elsewhere");
  EXPECT_EQ(g.Restore(MessageAnswer::Yes, 12), Outcome::Refused);
  EXPECT_EQ(g.shell.MessageTexts().back(), "Backup props file doesn't exists!");
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
  fs::rename(g.dir / "elsewhere", g.Props() + "b");
#ifdef __linux__
  test::Immutable lock(g.Props());
  if (!lock.ok()) GTEST_SKIP() << "the file system cannot make a file read-only for root";
  EXPECT_EQ(g.Restore(MessageAnswer::Yes, 12), Outcome::Refused);
  EXPECT_EQ(g.shell.MessageTexts().back().rfind("Error 70\n", 0), 0u) << g.shell.MessageTexts().back();
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
#endif
}

TEST(WholeFileCopy, ACancelledCopyOrOneWhoseSourceShrinksLeavesTheOldFileAndNoTemporary) {
  test::TempDir tmp;
  for (const bool cancel : {true, false}) {
    sample::WriteFile(tmp / "src", std::vector<uint8_t>(20 * 1024 * 1024, 7));
    sample::WriteFile(tmp / "dst", {1, 2, 3});
    EXPECT_THROW(CopyWholeFile(tmp / "src", tmp / "dst",
                               [&](uint64_t copied, uint64_t) {
                                 if (copied > 0 && !cancel) fs::resize_file(tmp / "src", 100);
                                 return copied == 0 || !cancel;
                               }),
                 QuorlinError);
    EXPECT_EQ(ReadBytes(tmp / "dst"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(test::Listing(tmp.str()), (std::set<std::string>{"dst", "src"}));
  }
}

}  // namespace
}  // namespace quorlin
