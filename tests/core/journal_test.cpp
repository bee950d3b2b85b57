// The journal that makes in-place writes crash-safe: what it refuses to read, what
// the next start does with one an interrupted run left, and the one-writer lock.
#include "archive/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/slot_tools.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::SameBytes;

TEST(Journal, ReadsBackWhatWasWrittenAndNothingDamagedOrForeign) {
  // A position past 4 GiB, and a length that leaves bytes after the last whole word.
  Journal j{"Insert Skin into slot 12",
            {{kTexturesArchive, 1000}, {kPropsArchive, 20}},
            {{0, 5, {1, 2, 3}}, {1, 0x100000007, {9}}},
            {1}};
  const auto bytes = EncodeJournal(j);
  ASSERT_NE(bytes.size() % 8, 0u);
  const auto back = DecodeJournal(bytes);
  ASSERT_TRUE(back && back->writes.size() == 2);
  EXPECT_TRUE(back->what == j.what && back->archives == j.archives && back->restores == j.restores);
  EXPECT_TRUE(back->writes[1].position == 0x100000007 && back->writes[1].archive == 1 &&
              back->writes[0].bytes == j.writes[0].bytes);
  for (size_t i = 0; i < bytes.size() * 2; ++i) {  // each byte with its lowest bit, then bit 4, flipped
    auto damaged = bytes;
    damaged[i / 2] ^= i % 2 ? 0x10 : 0x01;
    EXPECT_FALSE(DecodeJournal(damaged)) << "byte " << i / 2;
    EXPECT_FALSE(DecodeJournal(std::span<const uint8_t>(bytes).first(i / 2))) << "cut at " << i / 2;
  }
  j.restores = {2};  // no third archive to restore, or to write into
  EXPECT_FALSE(DecodeJournal(EncodeJournal(j)));
  j.restores = {1};
  j.writes[0].archive = 2;
  EXPECT_FALSE(DecodeJournal(EncodeJournal(j)));
  j.writes[0].archive = 0;
  j.archives[1].first = "resource\\other.mw4";  // only the two archives may ever be written
  EXPECT_FALSE(DecodeJournal(EncodeJournal(j)));
}

TEST(Journal, TheNextStartFinishesACompleteOneAndDiscardsAnyOther) {
  const std::string finished = "The interrupted Insert Skin into slot 12 was finished from its journal.";
  const struct {
    const char* name;
    std::function<void(test::TestGame&, std::vector<uint8_t>& journal)> arrange;
    bool written;  // the slot holds the picture afterwards
    std::vector<std::string> notices;
  } cases[] = {
      {"complete", nullptr, true, {finished}},
      {"never finished writing",
       [](test::TestGame& g, std::vector<uint8_t>& journal) {
         fs::rename(g.Resource("quorlin.journal"), g.Resource("quorlin.journal.quorlin-tmp"));
         journal.clear();
       },
       false,
       {"A journal that an interrupted run had not finished writing was discarded; the archives had not been "
        "touched."}},
      {"damaged",
       [](test::TestGame&, std::vector<uint8_t>& journal) { journal[40] ^= 1; },
       false,
       {"A damaged journal (resource\\quorlin.journal) was found and discarded."}},
      {"for another archive",
       [](test::TestGame& g, std::vector<uint8_t>&) {
         auto bytes = ReadBytes(g.Props());
         bytes.push_back(0);
         sample::WriteFile(g.Props(), bytes);
       },
       false,
       {"The journal of an interrupted Insert Skin into slot 12 no longer fits resource\\props.mw4, which has changed "
        "since; it was discarded and nothing was written."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestGame g;
    ASSERT_EQ(g.Start(), Outcome::Done);
    Journal journal{"Insert Skin into slot 12",
                    {{kTexturesArchive, ReadBytes(g.Textures()).size()}, {kPropsArchive, ReadBytes(g.Props()).size()}},
                    {},
                    {}};
    auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    const ImageBuffer picture = test::PositionPicture();
    for (int level = 0; level < 6; ++level) {
      const auto& place = g.layout.textures.at(ExpectedTextureName(12, level));
      journal.writes.push_back({0, place.offset, test::LevelTarga(picture, 512 >> level)});
    }
    journal.writes.push_back({1, g.layout.props.at(ExpectedLobbyName(12)).offset, test::LevelTarga(picture, 32)});
    auto bytes = EncodeJournal(journal);
    sample::WriteFile(g.Resource("quorlin.journal"), bytes);
    sample::WriteFile(g.Resource("textures.mw4b.quorlin-Ab12Cd"), {1, 2});  // a backup copy cut short
    if (c.arrange) c.arrange(g, bytes);
    if (!bytes.empty()) sample::WriteFile(g.Resource("quorlin.journal"), bytes);
    props = ReadBytes(g.Props());
    if (c.written) g.Inserted(textures, props, 12, picture);
    ASSERT_EQ(g.Start(), Outcome::Done);
    EXPECT_EQ(g.shell.statuses, c.notices);
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
    EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), props));
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
  const std::vector<std::string> busy = {
      "Another copy of Quorlin is writing to the game's files right now. Nothing "
      "has been changed; try again when it has finished."};
  EXPECT_EQ(g.Insert(12), Outcome::Refused);
  EXPECT_EQ(g.shell.MessageTexts(), busy);
  EXPECT_FALSE(fs::exists(g.Textures() + "b"));
  sample::WriteFile(g.Textures() + "b", {}), sample::WriteFile(g.Props() + "b", {});  // backups that would harm
  for (const int slot : {12, 0}) {  // Restore to Original, and one slot
    g.shell = test::RecordingShell{};
    g.shell.answers = {MessageAnswer::Yes};
    EXPECT_EQ(slot ? RestoreSlot(g.state, g.shell, slot) : mnueditRestore_Click(g.state, g.shell), Outcome::Refused);
    EXPECT_EQ(g.shell.MessageTexts().back(), busy[0]);
  }
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_TRUE(fs::exists(g.Resource("quorlin.journal")));
  other.Release();
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.shell.statuses, std::vector<std::string>{"A damaged journal (resource\\quorlin.journal) was found and "
                                                       "discarded."});
}

}  // namespace
}  // namespace quorlin
