// What only Windows has: the game's key in the registry's 32-bit and 64-bit views
// (written with reg.exe, as an installer would), hidden files counting as missing,
// and a read-only backup restored to an ordinary archive.
#include <windows.h>

#include <cstdlib>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

using test::ReadBytes;
using test::TestGame;

const std::string kKey = "HKLM\\Software\\Microsoft\\Microsoft Games\\Mechwarrior Vengeance";

// Runs reg.exe with these arguments; true when it succeeded.
bool Reg(const std::string& arguments) { return std::system(("reg.exe " + arguments + " >nul 2>&1").c_str()) == 0; }

void SetKey(const std::string& view, const std::string& exePath) {
  ASSERT_TRUE(Reg("add \"" + kKey + "\" /v \"EXE Path\" /t REG_SZ /d \"" + exePath + "\" /f" + view));
  ASSERT_TRUE(Reg("add \"" + kKey + "\" /v CDPath /t REG_DWORD /d 4 /f" + view));
}

// The cases below change the game's key in the registry they run in: only ever in
// a Wine prefix made for the test run (tools/check-windows marks it so).
bool InThrowAwayWinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr && prefix &&
         GetFileAttributesA(("Z:" + std::string(prefix) + "\\.quorlin-throwaway").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteKeys() {
  Reg("delete \"" + kKey + "\" /f /reg:32");
  Reg("delete \"" + kKey + "\" /f /reg:64");
}

TEST(WindowsRegistry, TheKeyIsReadFromThe32BitViewFirstThenThe64BitView) {
  if (!InThrowAwayWinePrefix()) FAIL() << "refusing to change the game's registry key outside a throw-away Wine prefix";
  TestGame g;
  const std::string game = g.dir.str(), other = game + "\\elsewhere";
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> keys;  // view, EXE Path
    std::string found;                                      // MechPath; empty: not found
  } cases[] = {
      {"32-bit view only", {{" /reg:32", game}}, game},
      {"64-bit view only", {{" /reg:64", game}}, game},
      {"both: the 32-bit view wins", {{" /reg:64", other}, {" /reg:32", game}}, game},
      {"neither", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteKeys();
    for (const auto& [view, path] : c.keys) SetKey(view, path);
    g.state = ProgramState{};
    g.shell = test::RecordingShell{};
    const Outcome outcome = Form_Load(g.state, g.shell);
    if (c.found.empty()) {
      EXPECT_EQ(outcome, Outcome::EndProgram);
      EXPECT_EQ(g.shell.MessageTexts(), std::vector<std::string>{"Problem getting Mechwarrior Path!"});
    } else {
      EXPECT_EQ(outcome, Outcome::Done);
      EXPECT_EQ(g.state.Game.MechPath, c.found);
      EXPECT_EQ(g.state.CDPath, "4");  // a REG_DWORD, as decimal text
    }
  }
  DeleteKeys();
}

TEST(WindowsFiles, HiddenFilesCountAsMissingAndARestoredLobbyArchiveIsAnOrdinaryFile) {
  TestGame g(test::SmallGame({9, 12}));
  ASSERT_EQ(g.Start(), Outcome::Done);
  const auto originalProps = ReadBytes(g.Props());
  g.LoadPicture(test::PositionPicture());
  ASSERT_EQ(g.Insert(12), Outcome::Done);

  // A hidden backup is missing to Restore, and Insert makes the backup again.
  SetFileAttributesA((g.Textures() + "b").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((g.Props() + "b").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(g.Run([&] {
    g.shell.answers.push_back(MessageAnswer::Yes);
    return mnueditRestore_Click(g.state, g.shell);
  }),
            Outcome::Refused);
  EXPECT_EQ(g.shell.MessageTexts().at(1), "Backup texture file doesn't exist!");
  // The read-only lobby backup was restored to a writable archive.
  EXPECT_EQ(ReadBytes(g.Props()), originalProps);
  EXPECT_EQ(GetFileAttributesA(g.Props().c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  EXPECT_EQ(g.shell.statuses.front(), "Backing up resource\\textures.mw4");

  // A hidden texture archive is not there at all.
  SetFileAttributesA(g.Textures().c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(g.Start(), Outcome::EndProgram);
  EXPECT_EQ(g.shell.MessageTexts(), std::vector<std::string>{"Mechwarrior path is invalid!"});
  SetFileAttributesA(g.Textures().c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace quorlin
