// The journal that makes in-place writes crash-safe: what it refuses, what the next start does with one, the lock.
#include "archive/journal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/slot_tools.h"
#include "platform/folder_lock.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

TEST(Journal, ReadsBackWhatWasWrittenAndNothingDamagedOrForeign) {
  // A position past 4 GiB, and a length that leaves bytes after the last whole word.
  const Journal j{"Insert Skin into slot 12", {{kTexturesArchive, 1000}, {kPropsArchive, 20}},
                  {{0, 5, {1, 2, 3}}, {1, 0x100000007, {9}}}, {1}, {"slot12-000003.qver"},
                  {"slot12-000001.qver", "slot9-000020.qver"}};
  const auto bytes = EncodeJournal(j);
  ASSERT_NE(bytes.size() % 8, 0u);
  const auto back = DecodeJournal(bytes);
  ASSERT_TRUE(back && back->Writes.size() == 2);
  EXPECT_TRUE(back->What == j.What && back->Archives == j.Archives && back->Restores == j.Restores &&
              back->Keep == j.Keep && back->Drop == j.Drop);
  EXPECT_TRUE(back->Writes[1].Position == 0x100000007 && back->Writes[1].Archive == 1 &&
              back->Writes[0].Bytes == j.Writes[0].Bytes);
  for (size_t i = 0; i < bytes.size() * 2; ++i) {  // each byte with its lowest bit, then bit 4, flipped
    auto damaged = bytes;
    damaged[i / 2] ^= i % 2 ? 0x10 : 0x01;
    EXPECT_FALSE(DecodeJournal(damaged)) << "byte " << i / 2;
    EXPECT_FALSE(DecodeJournal(std::span<const uint8_t>(bytes).first(i / 2))) << "cut at " << i / 2;
  }
  // No third archive to restore or to write into, and only the two archives may ever be written.
  for (auto change : {+[](Journal& k) { k.Restores = {2}; }, +[](Journal& k) { k.Writes[0].Archive = 2; },
                      +[](Journal& k) { k.Archives[1].first = "resource\\other.mw4"; }}) {
    Journal k = j;
    change(k);
    EXPECT_FALSE(DecodeJournal(EncodeJournal(k)));
  }
}

// The next start finishes a complete journal but discards, writing nothing, one whose archive has changed;
// no journal or temporary file stays. (Damaged: the lock test; one never finished writing: the fault suite's kills.)
TEST(Journal, TheNextStartFinishesACompleteOneUnlessItsArchivesChanged) {
  test::TestGame g;
  ASSERT_EQ(g.Start(), Outcome::Done);
  const ImageBuffer picture = test::PositionPicture();
  auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  Journal journal{
      "Insert Skin into slot 12", {{kTexturesArchive, textures.size()}, {kPropsArchive, props.size()}}, {}, {}, {}, {}};
  for (int level = 0; level < 6; ++level) {
    const auto& place = g.layout.Textures.at(ExpectedTextureName(12, level));
    journal.Writes.push_back({0, place.Offset, test::LevelTarga(picture, 512 >> level)});
  }
  journal.Writes.push_back({1, g.layout.Props.at(ExpectedLobbyName(12)).Offset, test::LevelTarga(picture, 32)});
  const std::string finished = "The interrupted Insert Skin into slot 12 was finished from its journal.";
  const std::string changed = "The journal of an interrupted Insert Skin into slot 12 no longer fits resource\\props"
                              ".mw4, which has changed since; it was discarded and nothing was written.";
  for (const bool longer : {true, false}) {  // props.mw4 a byte longer than the journal says, then as long
    auto t = textures, p = props;
    if (longer) p.push_back(0);
    sample::WriteFile(g.Props(), p);
    sample::WriteFile(g.Resource("quorlin.journal"), EncodeJournal(journal));
    sample::WriteFile(g.Resource("textures.mw4b.quorlin-Ab12Cd"), {1, 2});  // a backup copy cut short
    if (!longer) g.Inserted(t, p, 12, picture);
    ASSERT_EQ(g.Start(), Outcome::Done);
    EXPECT_EQ(g.ui.statuses, std::vector<std::string>{longer ? changed : finished});
    EXPECT_TRUE(test::SameBytes(ReadBytes(g.Textures()), t) && test::SameBytes(ReadBytes(g.Props()), p));
    EXPECT_EQ(test::Listing(g.dir / "resource"),
              (std::set<std::string>{"textures.mw4", "props.mw4", "textures.inx", "props.inx"}));
  }
}

TEST(Journal, WhileAnotherCopyHoldsTheLockNothingIsWrittenOrFinished) {
  test::TestGame g;
  ASSERT_EQ(g.Start(), Outcome::Done);
  FolderLock other;
  ASSERT_TRUE(other.TryLock(g.dir / "resource"));
  sample::WriteFile(g.Resource("quorlin.journal"), {1, 2, 3});  // the other copy's, still being written
  const auto textures = ReadBytes(g.Textures());
  g.LoadPicture(test::PositionPicture());
  const std::vector<std::string> busy = {"Another copy of Quorlin is writing to the game's files right now. Nothing "
                                         "has been changed; try again when it has finished."};
  EXPECT_EQ(g.Insert(12), Outcome::Refused);
  EXPECT_TRUE(g.ui.MessageTexts() == busy && !fs::exists(g.Textures() + "b"));
  sample::WriteFile(g.Textures() + "b", {}), sample::WriteFile(g.Props() + "b", {});  // backups that would harm
  for (const int slot : {12, 0}) {  // Restore to Original, and one slot
    g.ui.answers = {MessageAnswer::Yes};
    EXPECT_EQ(slot ? RestoreSlot(g.state, g.ui, slot) : RestoreOriginals(g.state, g.ui), Outcome::Refused);
    EXPECT_EQ(g.ui.MessageTexts().back(), busy[0]);
  }
  EXPECT_TRUE(test::SameBytes(ReadBytes(g.Textures()), textures));
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_TRUE(fs::exists(g.Resource("quorlin.journal")));
  other.Release();  // now the journal the other copy left is found damaged, and discarded
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.ui.statuses, std::vector<std::string>{"A damaged journal (resource\\quorlin.journal) was found and "
                                                       "discarded."});
}

}  // namespace
}  // namespace quorlin
