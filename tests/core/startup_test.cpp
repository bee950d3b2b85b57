// Start-up: the game's location, the index files, the three re-index paths and
// their messages in order, and slot 9 selected at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

using test::ReadBytes;

constexpr const char* kCreate = "An index of the skins must be created to be patch independent.";
constexpr const char* kChanged = "A change has been detected in your files, the index must be recreated now.";

std::vector<std::string> ReindexEvents(const std::string& message) {
  return {"show", "message " + message, "status! Indexing Skins", "busy", "idle", "status! Ready to load texture."};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class StartupTest : public test::GameTest {
 protected:
  Outcome StartWithKey(std::function<void(MemoryRegistryKey&)> fill) {
    StartupOptions options;
    options.OpenKey = [fill]() -> std::unique_ptr<RegistryKey> {
      if (!fill) return nullptr;
      auto key = std::make_unique<MemoryRegistryKey>();
      fill(*key);
      return key;
    };
    return Form_Load(state, shell, options);
  }
};

TEST_F(StartupTest, FreshInstallBuildsBothIndexFilesOnceThenSelectsSlot9) {
  MakeGame();
  ASSERT_EQ(Start(), Outcome::Done);
  EXPECT_EQ(shell.events, Concat({{"title Quorlin [1.1.18]"}, ReindexEvents(kCreate), {"check 9"}}));
  EXPECT_EQ(shell.messages[0].title, "Quorlin");
  EXPECT_EQ(shell.messages[0].icon, MessageIcon::None);
  EXPECT_EQ(state.SelectedSlot, 9);
  for (int i = 9; i <= 37; ++i) EXPECT_EQ(shell.checkedItems[i], i == 9) << i;

  const auto textures = ReadBytes(Resource("textures.inx"));
  const auto props = ReadBytes(Resource("props.inx"));
  ASSERT_EQ(textures.size(), 444u);
  ASSERT_EQ(props.size(), 74u);
  // Slot 1 level 0 holds the position of textures\skin00.tga.
  const auto directory = ParseArchiveDirectory(ReadBytes(Textures()));
  EXPECT_EQ(textures[0] | (textures[1] << 8), directory.Find("textures\\skin00.tga"));
  EXPECT_EQ(state.Index.TexturesSkinIndex[1][0], directory.Find("textures\\skin00.tga"));
}

TEST_F(StartupTest, CurrentIndexShowsNoMessageAndLeavesTheStatusAlone) {
  MakeGame();
  ASSERT_EQ(Start(), Outcome::Done);
  const auto before = ReadBytes(Resource("textures.inx"));
  state = ProgramState{};
  shell = test::RecordingShell{};
  ASSERT_EQ(Start(), Outcome::Done);
  EXPECT_EQ(shell.events, (std::vector<std::string>{"title Quorlin [1.1.18]", "check 9"}));
  EXPECT_EQ(ReadBytes(Resource("textures.inx")), before);
}

TEST_F(StartupTest, MissingTexturesIndexAloneReindexesOnceAndReadsPropsBack) {
  MakeGame();
  ASSERT_EQ(Start(), Outcome::Done);
  const auto props = ReadBytes(Resource("props.inx"));
  std::filesystem::remove(Resource("textures.inx"));
  state = ProgramState{};
  shell = test::RecordingShell{};
  ASSERT_EQ(Start(), Outcome::Done);
  EXPECT_EQ(shell.MessageTexts(), std::vector<std::string>{kCreate});
  EXPECT_EQ(ReadBytes(Resource("props.inx")), props);
  EXPECT_EQ(ReadBytes(Resource("textures.inx")).size(), 444u);
}

TEST_F(StartupTest, MovedEntriesAreDetectedAndTheRebuiltIndexIsQuietNextTime) {
  MakeGame();
  ASSERT_EQ(Start(), Outcome::Done);
  auto moved = test::SmallGame();
  moved.seed = 77;  // same names, other positions
  sample::WriteSampleGame(dir.str(), moved);
  state = ProgramState{};
  shell = test::RecordingShell{};
  ASSERT_EQ(Start(), Outcome::Done);
  EXPECT_EQ(shell.events, Concat({{"title Quorlin [1.1.18]"}, ReindexEvents(kChanged), {"check 9"}}));
  const auto dir2 = ParseArchiveDirectory(ReadBytes(Textures()));
  EXPECT_EQ(state.Index.TexturesSkinIndex[9][0], dir2.Find("textures\\skin80.tga"));
  state = ProgramState{};
  shell = test::RecordingShell{};
  ASSERT_EQ(Start(), Outcome::Done);
  EXPECT_TRUE(shell.messages.empty());
}

TEST_F(StartupTest, DamagedIndexFilesAreRebuilt) {
  MakeGame();
  ASSERT_EQ(Start(), Outcome::Done);
  for (const std::vector<uint8_t>& damage : {std::vector<uint8_t>{}, std::vector<uint8_t>(7, 0xFF),
                                             std::vector<uint8_t>(444, 0xFF), std::vector<uint8_t>(5000, 0)}) {
    sample::WriteFile(Resource("textures.inx"), damage);
    state = ProgramState{};
    shell = test::RecordingShell{};
    ASSERT_EQ(Start(), Outcome::Done);
    EXPECT_EQ(shell.MessageTexts(), std::vector<std::string>{kChanged}) << damage.size();
    EXPECT_EQ(ReadBytes(Resource("textures.inx")).size(), 444u);
  }
}

TEST_F(StartupTest, AMissingEntryIsReportedOncePerBuildAndTheIndexStaysStale) {
  auto options = test::SmallGame();
  options.dropNames = {"textures\\skin_3.tga"};
  MakeGame(options);
  ASSERT_EQ(Start(), Outcome::Done);
  // Built, found stale at once, built again: two reports of the missing entry.
  EXPECT_EQ(shell.MessageTexts(),
            (std::vector<std::string>{kCreate, "error getting skins", kChanged, "error getting skins"}));
  EXPECT_EQ(state.Index.TexturesSkinIndex[37][3], 0);
  state = ProgramState{};
  shell = test::RecordingShell{};
  ASSERT_EQ(Start(), Outcome::Done);
  EXPECT_EQ(shell.MessageTexts(), (std::vector<std::string>{kChanged, "error getting skins"}));
}

TEST_F(StartupTest, RegistryProblemsEndTheProgramBeforeAnythingElse) {
  MakeGame();
  const std::string game = dir.str();
  const std::vector<std::function<void(MemoryRegistryKey&)>> cases = {
      nullptr,                                                       // no key
      [](MemoryRegistryKey&) {},                                     // no values
      [&](MemoryRegistryKey& k) { k.SetString("EXE Path", game); },  // CDPath missing
      [&](MemoryRegistryKey& k) {
        k.SetString("EXE Path", game);
        k.SetString("CDPath", "");
      },
      [&](MemoryRegistryKey& k) {
        k.Set("EXE Path", kRegBinary, {'C', ':', 0});
        k.SetString("CDPath", "D:\\");
      },
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    state = ProgramState{};
    shell = test::RecordingShell{};
    EXPECT_EQ(StartWithKey(cases[i]), Outcome::EndProgram) << i;
    ASSERT_EQ(shell.messages.size(), 1u) << i;
    EXPECT_EQ(shell.messages[0].text, "Problem getting Mechwarrior Path!");
    EXPECT_EQ(shell.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(shell.events.back(), "message Problem getting Mechwarrior Path!");
  }
  EXPECT_FALSE(std::filesystem::exists(Resource("textures.inx")));
}

TEST_F(StartupTest, AGameFolderWithoutTheTextureArchiveIsInvalid) {
  MakeGame();
  std::filesystem::remove(Textures());
  EXPECT_EQ(StartWithKey([&](MemoryRegistryKey& k) {
              k.SetString("EXE Path", dir.str());
              k.SetDword("CDPath", 0);  // a number counts as a path here
            }),
            Outcome::EndProgram);
  EXPECT_EQ(shell.MessageTexts(), std::vector<std::string>{"Mechwarrior path is invalid!"});
  EXPECT_EQ(shell.messages[0].icon, MessageIcon::Critical);
  EXPECT_FALSE(std::filesystem::exists(Resource("props.inx")));
}

TEST_F(StartupTest, FindsTheGameThroughAWinePrefix) {
  MakeGame();
  test::TempDir prefix;
  sample::WriteWinePrefix(prefix.str(), dir.str());
  const char* old = std::getenv("WINEPREFIX");
  const std::string saved = old ? old : "";
  ::setenv("WINEPREFIX", prefix.str().c_str(), 1);
  const Outcome outcome = Form_Load(state, shell, {});
  if (old)
    ::setenv("WINEPREFIX", saved.c_str(), 1);
  else
    ::unsetenv("WINEPREFIX");
  ASSERT_EQ(outcome, Outcome::Done);
  EXPECT_EQ(state.Game.MechPath, "C:\\GAMES\\Mechwarrior Vengeance\\");
  EXPECT_EQ(state.Game.MechPathSep, "");
  EXPECT_EQ(state.CDPath, "D:\\");
  EXPECT_TRUE(std::filesystem::exists(Resource("textures.inx")));
}

TEST_F(StartupTest, AnExplicitWinePrefixIsUsedForTheKeyAndEveryPath) {
  MakeGame();
  test::TempDir prefix;
  sample::WriteWinePrefix(prefix.str(), dir.str());
  test::TempDir elsewhere;  // $WINEPREFIX points at a prefix without the game
  const char* old = std::getenv("WINEPREFIX");
  const std::string saved = old ? old : "";
  ::setenv("WINEPREFIX", elsewhere.str().c_str(), 1);
  StartupOptions options;
  options.WinePrefix = prefix.str();
  const Outcome outcome = Form_Load(state, shell, options);
  if (old)
    ::setenv("WINEPREFIX", saved.c_str(), 1);
  else
    ::unsetenv("WINEPREFIX");
  ASSERT_EQ(outcome, Outcome::Done);
  EXPECT_TRUE(std::filesystem::exists(Resource("props.inx")));
  EXPECT_EQ(state.Game.NativeGamePath("resource\\props.inx"),
            prefix / "dosdevices/c:/Games/Mechwarrior Vengeance/resource/props.inx");
}

TEST_F(StartupTest, AnIndexThatCannotBeWrittenEndsTheProgramWithAReport) {
  MakeGame();
  std::filesystem::create_directory(Resource("textures.inx.partial"));  // blocks the index writer
  ASSERT_EQ(Start(), Outcome::EndProgram);
  ASSERT_EQ(shell.messages.size(), 2u);
  EXPECT_EQ(shell.messages[1].text.rfind("Error ", 0), 0u);
  EXPECT_FALSE(shell.busy);
}

TEST(SkinMenu, ChoosingAnItemChecksItAloneAndSelectsTheSlot) {
  ProgramState state;
  test::RecordingShell shell;
  skinl_Click(state, shell, 37);
  skinl_Click(state, shell, 9);
  EXPECT_EQ(state.SelectedSlot, 9);
  int checked = 0;
  for (int i = 0; i < 38; ++i) checked += shell.checkedItems[i];
  EXPECT_EQ(checked, 1);
  EXPECT_TRUE(shell.checkedItems[9]);
  EXPECT_TRUE(shell.StatusTexts().empty());
}

}  // namespace
}  // namespace quorlin
