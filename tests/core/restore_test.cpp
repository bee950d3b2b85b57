// Restore to Original, the per-slot restore, and the whole-file copy behind backups and restores.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/slot_tools.h"
#include "base/error.h"
#include "platform/file_copy.h"
#include "support/game_fixture.h"

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
    originalTextures = ReadBytes(Textures()), originalProps = ReadBytes(Props());
    LoadPicture(test::PositionPicture());
    EXPECT_EQ(Insert(12), Outcome::Done);
    EXPECT_EQ(Insert(9), Outcome::Done);
  }
  Outcome Restore(MessageAnswer answer, int slot = 0) {
    return Run([&] {
      ui.answers.push_back(answer);
      return slot ? RestoreSlot(state, ui, slot) : RestoreOriginals(state, ui);
    });
  }
  std::vector<uint8_t> originalTextures, originalProps;
#ifdef __linux__
  std::unique_ptr<test::Immutable> readOnly;
#endif
};

TEST(RestoreToOriginal, AsksThenCopiesBothBackupsBackAndKeepsThem) {
  RestoreGame g;
  const auto inserted = ReadBytes(g.Textures());
  EXPECT_EQ(g.Restore(MessageAnswer::No), Outcome::Refused);
  ASSERT_EQ(g.ui.messages.size(), 1u);
  const auto& m = g.ui.messages[0];
  EXPECT_TRUE(m.text == kQuestion && m.title == "Continue?" && m.icon == MessageIcon::Information &&
              m.buttons == MessageButtons::YesNo);
  EXPECT_TRUE(g.ui.statuses.empty() && SameBytes(ReadBytes(g.Textures()), inserted));
  for (const auto& backup : {g.Textures() + "b", g.Props() + "b"}) fs::permissions(backup, fs::perms::owner_read);
  for (int round = 0; round < 2; ++round) {  // read-only backups leave writable archives; again: the backups remain
    EXPECT_EQ(g.Restore(MessageAnswer::Yes), Outcome::Done);
    EXPECT_EQ(g.ui.statuses, kBoth);
    EXPECT_EQ(g.ui.messages.size(), 1u);
    for (const auto& [archive, original] :
         {std::pair{g.Textures(), g.originalTextures}, {g.Props(), g.originalProps}}) {
      EXPECT_TRUE(SameBytes(ReadBytes(archive), original) && SameBytes(ReadBytes(archive + "b"), original));
      EXPECT_NE(fs::status(archive).permissions() & fs::perms::owner_write, fs::perms::none);
    }
  }
}

// A missing backup is reported and the other still restored; a folder that cannot
// be written is explained before any copy.
TEST(RestoreToOriginal, RefusalsReportedArchivesRestoredOnlyWhereTheyCanBe) {
  const std::string noTextures = "Backup texture file doesn't exist!", noProps = "Backup props file doesn't exists!";
  const struct {
    bool texturesRestored, propsRestored, readOnly;
    std::vector<std::string> messages, statuses;
  } cases[] = {
      {true, false, false, {kQuestion, noProps}, {kBoth[0], "Done."}},
      {false, true, false, {kQuestion, noTextures}, {kBoth[1], "Done."}},
      {false, false, false, {kQuestion, noTextures, noProps}, {"Done."}},
#ifdef __linux__
      {false, false, true, {kQuestion, "Quorlin cannot change the game's files in\n"}, {}},
#endif
  };
  for (const auto& c : cases) {
    RestoreGame g;
    if (!c.texturesRestored && !c.readOnly) fs::remove(g.Textures() + "b");
    if (!c.propsRestored && !c.readOnly) fs::remove(g.Props() + "b");
    const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    auto messages = c.messages;
#ifdef __linux__
    if (c.readOnly) {
      g.readOnly = std::make_unique<test::Immutable>(g.dir / "resource");
      if (!g.readOnly->ok()) continue;  // the file system cannot make a folder read-only for root
      messages.back() +=
          g.dir / "resource" + "\nbecause this user may not create files in it (no permission to write in the folder).";
    }
#endif
    EXPECT_EQ(g.Restore(MessageAnswer::Yes), c.readOnly ? Outcome::EndProgram : Outcome::Refused);
    EXPECT_EQ(g.ui.MessageTexts(), messages);
    EXPECT_EQ(g.ui.messages.back().icon, MessageIcon::Critical);
    EXPECT_EQ(g.ui.statuses, c.statuses);
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), c.texturesRestored ? g.originalTextures : textures));
    EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), c.propsRestored ? g.originalProps : props));
  }
}

// Backups from another version of the game: every entry at other positions and
// offsets, slot 12's entries holding another picture, or of other lengths.
sample::SampleGame ForeignBackups(const test::TestGame& g, bool otherLengths) {
  auto options = test::SmallGame({9, 12});
  options.Seed = 77;
  if (otherLengths) options.UnpreparedTextures = {12};
  const test::TestGame other(options);
  auto textures = ReadBytes(other.Textures()), props = ReadBytes(other.Props());
  if (!otherLengths) other.Inserted(textures, props, 12, sample::SamplePicture());
  sample::WriteFile(g.Textures() + "b", textures);
  sample::WriteFile(g.Props() + "b", props);
  return other.layout;
}

TEST(RestoreSlot, PutsBackTheSlotsEntriesFoundInTheBackupsOwnDirectoryOrWritesNothing) {
  const struct {
    const char* name;
    MessageAnswer answer;
    int backups;  // 0: of the same layout; 1: laid out otherwise; 2: and slot 12's levels of other lengths
    std::function<void(RestoreGame&)> arrange;
    Outcome outcome;
    std::string message;  // the start of the last message
  } cases[] = {
      {"backups of the same layout", MessageAnswer::Yes, 0, nullptr, Outcome::Done, kQuestion},
      {"answered No", MessageAnswer::No, 0, nullptr, Outcome::Refused, kQuestion},
      {"backups laid out otherwise", MessageAnswer::Yes, 1, nullptr, Outcome::Done, kQuestion},
      {"a backup entry of another length", MessageAnswer::Yes, 2, nullptr, Outcome::Refused,
       "Error 63\nThe backup resource\\textures.mw4b has no entry like textures\\skinb0.tga"},
      {"no lobby backup", MessageAnswer::Yes, 0, [](RestoreGame& g) { fs::remove(g.Props() + "b"); }, Outcome::Refused,
       "Backup props file doesn't exists!"},
      {"no lobby archive", MessageAnswer::Yes, 0, [](RestoreGame& g) { fs::remove(g.Props()); }, Outcome::Refused,
       "Mechwarrior path is invalid!"},
      {"an entry past the end of the archive", MessageAnswer::Yes, 0,
       [](RestoreGame& g) { g.SetRecord(3, 16, 0, 100); }, Outcome::Refused,
       "Error 62\nInput past end of file: entry textures\\skinb3.tga of resource\\textures.mw4"},
#ifdef __linux__
      {"a lobby archive that cannot be written", MessageAnswer::Yes, 0,
       [](RestoreGame& g) { g.readOnly = std::make_unique<test::Immutable>(g.Props()); }, Outcome::EndProgram,
       "Quorlin cannot change the game's files in\n"},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RestoreGame g;
    const sample::SampleGame backups = c.backups ? ForeignBackups(g, c.backups == 2) : g.layout;
    if (c.arrange) c.arrange(g);
#ifdef __linux__
    if (g.readOnly && !g.readOnly->ok()) continue;  // the file system cannot make a file read-only for root
#endif
    auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    if (c.outcome == Outcome::Done) {
      const auto texturesBackup = ReadBytes(g.Textures() + "b"), propsBackup = ReadBytes(g.Props() + "b");
      for (int level = 0; level < 6; ++level) {
        const std::string name = ExpectedTextureName(12, level);
        test::Put(textures, g.layout.Textures.at(name), test::At(texturesBackup, backups.Textures.at(name)));
      }
      const std::string lobby = ExpectedLobbyName(12);
      test::Put(props, g.layout.Props.at(lobby), test::At(propsBackup, backups.Props.at(lobby)));
    }
    EXPECT_EQ(g.Restore(c.answer, 12), c.outcome);
    EXPECT_EQ(g.ui.messages.back().text.substr(0, c.message.size()), c.message);
    EXPECT_EQ(g.ui.statuses, c.outcome == Outcome::Done ? kBoth : std::vector<std::string>{});
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
    EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), props));
  }
}

TEST(WholeFileCopy, ACancelledCopyOrOneWhoseSourceShrinksLeavesTheOldFileAndNoTemporary) {
  test::TempDir tmp;
  for (const int way : {0, 1, 2}) {  // cancelled before the first chunk or after it, or the source shrinks
    sample::WriteFile(tmp / "src", std::vector<uint8_t>(20 * 1024 * 1024, 7));
    sample::WriteFile(tmp / "dst", {1, 2, 3});
    EXPECT_THROW(CopyWholeFile(tmp / "src", tmp / "dst",
                               [&](uint64_t copied, uint64_t) {
                                 if (copied > 0 && way == 2) fs::resize_file(tmp / "src", 100);
                                 return way == 2 || (way == 1 && copied == 0);
                               }),
                 QuorlinError);
    EXPECT_EQ(ReadBytes(tmp / "dst"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(test::Listing(tmp.str()), (std::set<std::string>{"dst", "src"}));
  }
}

}  // namespace
}  // namespace quorlin
