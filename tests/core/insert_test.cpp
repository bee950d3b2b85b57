// Insert Skin: whole archives against the generator's layout, the backups, the texts shown, the refusals.
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
  // The only new files: the backups, the slot's history, what is known of the slots.
  files.insert({"textures.mw4b", "props.mw4b", "quorlin-history", "quorlin.slots"});
  EXPECT_EQ(test::Listing(g.dir / "resource"), files);

  // Then slot 9 through the box filter (each level its blocks' averages): no backup made
  // again, slot 12 left as it is.
  ASSERT_EQ(g.Insert(9, LevelFilter::Box), Outcome::Done);
  EXPECT_EQ(g.ui.statuses, (std::vector<std::string>{"Quick Patching resource\\textures.mw4",
                                                        "Quick Patching resource\\props.mw4", "Done."}));
  g.Inserted(textures, props, 9, picture, true, true);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures) && SameBytes(ReadBytes(g.Props()), props));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures() + "b"), texturesBefore));

  // An entry may end at the very end of the file (one byte past: refused below).
  g.SetRecord(5, 16, 0, 0);
  textures = ReadBytes(g.Textures());
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  g.layout.Textures[ExpectedTextureName(12, 5)].Offset = textures.size() - 786;
  g.Inserted(textures, props, 12, picture);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
}

TEST(InsertSkin, RefusalsAndFailuresLeaveTheArchivesAsTheyMustBe) {
  using enum Outcome;
  using enum MessageIcon;
  const std::string zandel = "The Zandel is required to use the Quorlin tool!";
  const struct {
    const char* name;
    int slot;
    std::function<void(TestGame&)> prepare;  // arranges the trouble
    Outcome outcome;
    std::string message, lastLine;  // the start of the one message shown; its last line when it names the step
    const char* title;
    MessageIcon icon;
    bool texturesWritten, texturesBackup, propsBackup;
  } cases[] = {
      {"no picture", 12, [](TestGame& g) { g.state.LoadedImage.BitsPerPixel = 0; }, Refused,
       "Load a 512x512 image to use for a skin", "", "Quorlin", None, false, false, false},
      {"textures unprepared", 10, nullptr, Refused, zandel, "", "textures.mw4 not patched!", None, false, true, false},
      {"lobby entry unprepared", 37, nullptr, Refused, zandel, "", "props.mw4 not patched!", None, true, true, true},
      {"props archive missing", 12, [](TestGame& g) { fs::remove(g.Props()); }, EndProgram,
       "Mechwarrior path is invalid!", "", "Quorlin", Critical, true, true, false},
      {"index position just past the directory", 12,
       [](TestGame& g) { g.state.Index.TexturesSkinIndex[12][2] = static_cast<int16_t>(g.layout.TexturesRecords + 1); },
       EndProgram, "Error 9\nSubscript out of range", "Before Check Patch", "Quorlin", None, false, true, false},
      {"level 5 of another length", 12, [](TestGame& g) { g.SetRecord(5, 12, 787); }, Refused, zandel,
       "", "textures.mw4 not patched!", None, false, true, false},
      {"entry past the end of the file", 12, [](TestGame& g) { g.SetRecord(3, 16, 0, 1); }, EndProgram, "Error 62\n",
       "Getting Skin 12 Length of File 3", "Quorlin", None, false, true, false},
      // Both halves are checked before either is written.
      {"lobby entry past the end of the file", 12, [](TestGame& g) { g.SetRecord(6, 16, 0, 100); }, EndProgram,
       "Error 62\n", "props Get length of buffer 12", "Quorlin", None, false, true, true},
      {"lobby backup that cannot be made", 12, [](TestGame& g) { fs::create_directory(g.Props() + "b"); }, Refused,
       "Could not back up resource\\props.mw4:\n", "", "Quorlin", Critical, false, true, false},
  };
  const ImageBuffer picture = test::PositionPicture();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestGame g(InsertGame());
    ASSERT_EQ(g.Start(), Outcome::Done);
    g.LoadPicture(picture);
    g.state.Archives.Close();  // start-up's open archives: Windows removes no open file
    if (c.prepare) c.prepare(g);
    const auto texturesBefore = ReadBytes(g.Textures()), propsBefore = ReadBytes(g.Props());
    auto files = test::Listing(g.dir / "resource");
    EXPECT_EQ(g.Insert(c.slot), c.outcome);  // as the window runs it: the archives opened afresh

    ASSERT_EQ(g.ui.messages.size(), 1u);
    const auto& m = g.ui.messages[0];
    EXPECT_EQ(m.text.substr(0, c.message.size()), c.message) << m.text;
    EXPECT_TRUE(m.title == c.title && m.icon == c.icon) << m.title;
    EXPECT_EQ(c.lastLine.empty() ? "" : m.text.substr(m.text.rfind('\n') + 1), c.lastLine);
    EXPECT_TRUE(!g.ui.busy && (g.ui.statuses.empty() || g.ui.statuses.back() != "Done."));
    auto textures = texturesBefore, props = propsBefore;
    if (c.texturesWritten) g.Inserted(textures, props, c.slot, picture, false);
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures) && SameBytes(ReadBytes(g.Props()), propsBefore));
    EXPECT_TRUE(!c.texturesBackup || SameBytes(ReadBytes(g.Textures() + "b"), texturesBefore));
    if (c.texturesBackup) files.insert("textures.mw4b");
    if (c.propsBackup) files.insert("props.mw4b");
    if (c.texturesWritten) files.insert({"quorlin-history", "quorlin.slots"});  // what the slot held is kept
    EXPECT_EQ(test::Listing(g.dir / "resource"), files);  // and no temporary file left
  }
}

}  // namespace
}  // namespace quorlin
