// Insert Skin: whole archives against the generator's layout, the backups, the texts
// shown, and failures that must leave the files alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::SameBytes;
using test::TestGame;

sample::GameOptions InsertGame() {
  auto options = test::SmallGame({9, 10, 12, 37});
  options.UnpreparedTextures = {10};
  options.UnpreparedProps = {37};
  return options;
}

TEST(InsertSkin, WritesTheSlotsSevenEntriesAndNothingElseAfterOneBackup) {
  TestGame g(InsertGame());
  ASSERT_EQ(g.Start(), Outcome::Done);
  const auto texturesBefore = ReadBytes(g.Textures()), propsBefore = ReadBytes(g.Props());
  auto files = test::Listing(g.dir / "resource");
  const ImageBuffer picture = test::PositionPicture();
  g.LoadPicture(picture);
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  auto textures = texturesBefore, props = propsBefore;
  g.Inserted(textures, props, 12, picture);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures) && SameBytes(ReadBytes(g.Props()), props));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures() + "b"), texturesBefore));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Props() + "b"), propsBefore));
  EXPECT_EQ(g.ui.events,
            (std::vector<std::string>{"status! Backing up resource\\textures.mw4", "busy",
                                      "status Quick Patching resource\\textures.mw4",
                                      "status! Backing up resource\\props.mw4", "busy",
                                      "status! Quick Patching resource\\props.mw4", "idle", "status! Done."}));
  // The only new files: the backups, the slot's history and what is known of the
  // slots; no temporary or debug copy.
  files.insert({"textures.mw4b", "props.mw4b", "quorlin-history", "quorlin.slots"});
  EXPECT_EQ(test::Listing(g.dir / "resource"), files);
  EXPECT_EQ(test::Listing(g.Resource("quorlin-history")), std::set<std::string>{"slot12-000001.qver"});

  // Again: no backup, the same bytes. Then slot 9 through the box filter (each level
  // its blocks' averages) leaves slot 12 as it is, and the backups as they were.
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  EXPECT_EQ(g.ui.statuses, (std::vector<std::string>{"Quick Patching resource\\textures.mw4",
                                                        "Quick Patching resource\\props.mw4", "Done."}));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
  EXPECT_EQ(test::Listing(g.Resource("quorlin-history")), std::set<std::string>{"slot12-000001.qver"});
  ASSERT_EQ(g.Insert(9, LevelFilter::Box), Outcome::Done);
  g.Inserted(textures, props, 9, picture, true, true);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures) && SameBytes(ReadBytes(g.Props()), props));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures() + "b"), texturesBefore));
}

TEST(InsertSkin, AnEntryMayEndAtTheEndOfTheFile) {  // one byte past: refused below
  TestGame g(InsertGame());
  ASSERT_EQ(g.Start(), Outcome::Done);
  g.SetRecord(5, 16, 0, 0);
  auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  g.LoadPicture(test::PositionPicture());
  EXPECT_EQ(g.Insert(12), Outcome::Done);
  g.layout.Textures[ExpectedTextureName(12, 5)].Offset = textures.size() - 786;
  g.Inserted(textures, props, 12, g.state.LoadedImage);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
}

TEST(InsertSkin, RefusalsAndFailuresLeaveTheArchivesAsTheyMustBe) {
  const std::string zandel = "The Zandel is required to use the Quorlin tool!";
  const struct {
    const char* name;
    int slot;
    std::function<void(TestGame&)> prepare;  // arranges the trouble
    Outcome outcome;
    std::string message;  // the start of the one message shown
    const char* title;
    MessageIcon icon;
    std::string lastLine;  // of the message, when it names the step
    bool texturesWritten, texturesBackup, propsBackup;
  } cases[] = {
      {"no picture", 12, [](TestGame& g) { g.state.LoadedImage.BitsPerPixel = 0; }, Outcome::Refused,
       "Load a 512x512 image to use for a skin", "Quorlin", MessageIcon::None, "", false, false, false},
      {"textures not prepared", 10, nullptr, Outcome::Refused, zandel, "textures.mw4 not patched!", MessageIcon::None,
       "", false, true, false},
      {"lobby entry not prepared", 37, nullptr, Outcome::Refused, zandel, "props.mw4 not patched!", MessageIcon::None,
       "", true, true, true},
      {"props archive missing", 12, [](TestGame& g) { fs::remove(g.Props()); }, Outcome::EndProgram,
       "Mechwarrior path is invalid!", "Quorlin", MessageIcon::Critical, "", true, true, false},
      {"index position just past the directory", 12,
       [](TestGame& g) { g.state.Index.TexturesSkinIndex[12][2] = static_cast<int16_t>(g.layout.TexturesRecords + 1); },
       Outcome::EndProgram, "Error 9\nSubscript out of range", "Quorlin", MessageIcon::None, "Before Check Patch",
       false, true, false},
      {"level 5 of another length", 12, [](TestGame& g) { g.SetRecord(5, 12, 787); }, Outcome::Refused, zandel,
       "textures.mw4 not patched!", MessageIcon::None, "", false, true, false},
      {"entry past the end of the file", 12, [](TestGame& g) { g.SetRecord(3, 16, 0, 1); }, Outcome::EndProgram,
       "Error 62\n", "Quorlin", MessageIcon::None, "Getting Skin 12 Length of File 3", false, true, false},
      // Both halves are checked before either is written.
      {"lobby entry past the end of the file", 12, [](TestGame& g) { g.SetRecord(6, 16, 0, 100); }, Outcome::EndProgram,
       "Error 62\n", "Quorlin", MessageIcon::None, "props Get length of buffer 12", false, true, true},
      {"lobby backup that cannot be made", 12, [](TestGame& g) { fs::create_directory(g.Props() + "b"); },
       Outcome::Refused, "Could not back up resource\\props.mw4:\n", "Quorlin", MessageIcon::Critical, "", false, true,
       false},
  };
  const ImageBuffer picture = test::PositionPicture();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestGame g(InsertGame());
    ASSERT_EQ(g.Start(), Outcome::Done);
    g.LoadPicture(picture);
    SelectSlot(g.state, static_cast<int16_t>(c.slot));
    g.ui = test::RecordingFrontEnd{};
    if (c.prepare) c.prepare(g);
    g.state.Archives.Close();  // as the window does before a command: the files may have changed
    const auto texturesBefore = ReadBytes(g.Textures()), propsBefore = ReadBytes(g.Props());
    auto files = test::Listing(g.dir / "resource");
    EXPECT_EQ(InsertIntoSelectedSlot(g.state, g.ui), c.outcome);

    ASSERT_EQ(g.ui.messages.size(), 1u);
    const auto& m = g.ui.messages[0];
    EXPECT_EQ(m.text.substr(0, c.message.size()), c.message) << m.text;
    EXPECT_TRUE(m.title == c.title && m.icon == c.icon) << m.title;
    EXPECT_EQ(c.lastLine.empty() ? "" : m.text.substr(m.text.rfind('\n') + 1), c.lastLine);
    EXPECT_TRUE(!g.ui.busy && (g.ui.statuses.empty() || g.ui.statuses.back() != "Done."));
    auto textures = texturesBefore, props = propsBefore;
    if (c.texturesWritten) g.Inserted(textures, props, c.slot, picture, false);
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures) && SameBytes(ReadBytes(g.Props()), propsBefore));
    if (c.texturesBackup) {
      EXPECT_TRUE(SameBytes(ReadBytes(g.Textures() + "b"), texturesBefore));
      files.insert("textures.mw4b");
    }
    if (c.propsBackup) files.insert("props.mw4b");
    if (c.texturesWritten) files.insert({"quorlin-history", "quorlin.slots"});  // what the slot held is kept
    EXPECT_EQ(test::Listing(g.dir / "resource"), files);  // and no temporary file left
  }
}

}  // namespace
}  // namespace quorlin
