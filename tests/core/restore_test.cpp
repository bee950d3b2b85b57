// Restore to Original and the per-slot restore: the question, what each puts back, and
// the refusals that must leave the archives alone.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/slot_tools.h"
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
#ifdef __linux__
  std::unique_ptr<test::Immutable> readOnly;
#endif
};

// Read-only backups are restored to writable archives, and remain for the next restore.
TEST(RestoreToOriginal, CopiesBothBackupsBackAndKeepsThem) {
  RestoreGame g;
  const test::TestGame generated(test::SmallGame({9, 12}));  // the archives as they were before any insert
  for (const auto& backup : {g.Textures() + "b", g.Props() + "b"}) fs::permissions(backup, fs::perms::owner_read);
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(g.Restore(MessageAnswer::Yes), Outcome::Done);
    EXPECT_EQ(g.ui.statuses, kBoth);
    EXPECT_EQ(g.ui.MessageTexts(), std::vector<std::string>{kQuestion});
    for (const auto& [archive, original] :
         {std::pair{g.Textures(), ReadBytes(generated.Textures())}, {g.Props(), ReadBytes(generated.Props())}}) {
      EXPECT_TRUE(SameBytes(ReadBytes(archive), original) && SameBytes(ReadBytes(archive + "b"), original));
      EXPECT_NE(fs::status(archive).permissions() & fs::perms::owner_write, fs::perms::none);
    }
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

// Both restores (slot 0: Restore to Original) over backups of the same layout or another
// one; each refusal is said, and each archive ends as its backup holds it (the whole
// file, or the slot's entries) where it can be restored, untouched where not.
TEST(Restore, PutsBackWhatTheBackupsHoldOrReportsWhyNot) {
  using enum MessageAnswer;
  using enum Outcome;
  const auto gone = [](const char* file) { return [file](RestoreGame& g) { fs::remove(g.Resource(file)); }; };
  const std::string noTextures = "Backup texture file doesn't exist!", noProps = "Backup props file doesn't exists!",
                    cannotWrite = "Quorlin cannot change the game's files in\n@\nbecause this user may not ";
  const struct {
    const char* name;
    int slot;
    MessageAnswer answer;
    int backups;  // 0: of the same layout; 1: laid out otherwise; 2: and slot 12's levels of other lengths
    std::function<void(RestoreGame&)> arrange;
    Outcome outcome;
    std::vector<std::string> messages, statuses;  // the messages after the question; "@": the resource folder
    bool texturesRestored, propsRestored;
  } cases[] = {
      {"whole, answered No", 0, No, 0, nullptr, Refused, {}, {}, false, false},
      {"whole, no props backup", 0, Yes, 0, gone("props.mw4b"), Refused, {noProps}, {kBoth[0], "Done."}, true, false},
      {"whole, no textures backup", 0, Yes, 0, gone("textures.mw4b"), Refused, {noTextures}, {kBoth[1], "Done."},
       false, true},
      {"whole, no backup", 0, Yes, 0, [&](RestoreGame& g) { gone("props.mw4b")(g), gone("textures.mw4b")(g); },
       Refused, {noTextures, noProps}, {"Done."}, false, false},
      {"backups of the same layout", 12, Yes, 0, nullptr, Done, {}, kBoth, true, true},
      {"answered No", 12, No, 0, nullptr, Refused, {}, {}, false, false},
      {"backups laid out otherwise", 12, Yes, 1, nullptr, Done, {}, kBoth, true, true},
      {"a backup entry of another length", 12, Yes, 2, nullptr, Refused,
       {"Error 63\nThe backup resource\\textures.mw4b has no entry like textures\\skinb0.tga"}, {}, false, false},
      {"no lobby backup", 12, Yes, 0, gone("props.mw4b"), Refused, {noProps}, {}, false, false},
      {"no lobby archive", 12, Yes, 0, gone("props.mw4"), Refused, {"Mechwarrior path is invalid!"}, {}, false, false},
      {"an entry past the end of the archive", 12, Yes, 0, [](RestoreGame& g) { g.SetRecord(3, 16, 0, 100); }, Refused,
       {"Error 62\nInput past end of file: entry textures\\skinb3.tga of resource\\textures.mw4"}, {}, false, false},
#ifdef __linux__
      {"whole, a folder that cannot be written", 0, Yes, 0,
       [](RestoreGame& g) { g.readOnly = std::make_unique<test::Immutable>(g.dir / "resource"); }, EndProgram,
       {cannotWrite + "create files in it (no permission to write in the folder)."}, {}, false, false},
      {"a lobby archive that cannot be written", 12, Yes, 0,
       [](RestoreGame& g) { g.readOnly = std::make_unique<test::Immutable>(g.Props()); }, EndProgram,
       {cannotWrite + "change props.mw4 in it (no permission to write the file)."}, {}, false, false},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RestoreGame g;
    const sample::SampleGame backups = c.backups ? ForeignBackups(g, c.backups == 2) : g.layout;
    if (c.arrange) c.arrange(g);
#ifdef __linux__
    if (g.readOnly && !g.readOnly->ok()) continue;  // the file system cannot make it read-only for root
#endif
    auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    const auto texturesBackup = ReadBytes(g.Textures() + "b"), propsBackup = ReadBytes(g.Props() + "b");
    if (c.slot == 0 && c.texturesRestored) textures = texturesBackup;
    if (c.slot == 0 && c.propsRestored) props = propsBackup;
    if (c.slot != 0 && c.texturesRestored) {  // and the lobby preview: a slot is restored whole or not at all
      for (int level = 0; level < 6; ++level) {
        const std::string name = ExpectedTextureName(12, level);
        test::Put(textures, g.layout.Textures.at(name), test::At(texturesBackup, backups.Textures.at(name)));
      }
      const std::string lobby = ExpectedLobbyName(12);
      test::Put(props, g.layout.Props.at(lobby), test::At(propsBackup, backups.Props.at(lobby)));
    }
    EXPECT_EQ(g.Restore(c.answer, c.slot), c.outcome);
    auto messages = c.messages;
    messages.insert(messages.begin(), kQuestion);
    for (auto& m : messages) {
      if (const auto at = m.find('@'); at != m.npos) m.replace(at, 1, g.dir / "resource");
    }
    ASSERT_EQ(g.ui.MessageTexts(), messages);
    EXPECT_TRUE(g.ui.messages[0].title == "Continue?" && g.ui.messages[0].buttons == MessageButtons::YesNo);
    EXPECT_EQ(g.ui.messages.back().icon, messages.size() > 1 ? MessageIcon::Critical : MessageIcon::Information);
    EXPECT_EQ(g.ui.statuses, c.statuses);
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
    EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), props));
  }
}

}  // namespace
}  // namespace quorlin
