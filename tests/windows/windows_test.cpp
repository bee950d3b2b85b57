// What only Windows has: the game's key in the registry's 32-bit and 64-bit views
// (written with reg.exe, as an installer would), hidden files counting as missing,
// the copies Windows keeps in its VirtualStore, and the resources of the built programs.
// (A read-only backup restored to a writable archive: restore_test, run here too.)
#include <windows.h>

#include <cstdlib>
#include <filesystem>

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
    g.ui = test::RecordingFrontEnd{};
    const Outcome outcome = StartUp(g.state, g.ui).Outcome;
    if (c.found.empty()) {
      EXPECT_EQ(outcome, Outcome::EndProgram);
      EXPECT_EQ(g.ui.MessageTexts(), std::vector<std::string>{"Problem getting Mechwarrior Path!"});
    } else {
      EXPECT_EQ(outcome, Outcome::Done);
      EXPECT_EQ(g.state.Game.MechPath, c.found);
      EXPECT_EQ(g.state.CDPath, "4");  // a REG_DWORD, as decimal text
    }
  }
  DeleteKeys();
}

TEST(WindowsFiles, HiddenFilesCountAsMissing) {
  TestGame g(test::SmallGame({9, 12}));
  ASSERT_EQ(g.Start(), Outcome::Done);
  g.LoadPicture(test::PositionPicture());
  ASSERT_EQ(g.Insert(12), Outcome::Done);

  // A hidden backup is missing to Restore, and Insert makes the backup again.
  SetFileAttributesA((g.Textures() + "b").c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(g.Run([&] {
    g.ui.answers.push_back(MessageAnswer::Yes);
    return RestoreOriginals(g.state, g.ui);
  }),
            Outcome::Refused);
  EXPECT_EQ(g.ui.MessageTexts().at(1), "Backup texture file doesn't exist!");
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  EXPECT_EQ(g.ui.statuses.front(), "Backing up resource\\textures.mw4");

  // A hidden texture archive is not there at all.
  SetFileAttributesA(g.Textures().c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(g.Start(), Outcome::EndProgram);
  EXPECT_EQ(g.ui.MessageTexts(), std::vector<std::string>{"Mechwarrior path is invalid!"});
  SetFileAttributesA(g.Textures().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A copy of textures.mw4 in this user's VirtualStore is what the game reads: start-up
// says so, Insert Skin writes that copy (and backs it up) and leaves the real file
// alone, while props.mw4, which has no copy, is written where it is.
TEST(VirtualStore, AVirtualizedArchiveIsTheOneReadAndWritten) {
  TestGame g(test::SmallGame({9, 12}));
  const std::string copy =
      std::string(std::getenv("LOCALAPPDATA")) + "\\VirtualStore" + g.dir.str().substr(2) + "\\resource\\textures.mw4";
  auto virtualized = ReadBytes(g.Textures());
  virtualized.back() ^= 0x5A;  // told apart from the real file by its last byte
  std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
  sample::WriteFile(copy, virtualized);
  const auto real = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.ui.messages.front().text,
            "Some of the game's files have copies that Windows keeps for this user in its VirtualStore, and the game "
            "reads those copies. Quorlin reads and writes them too, not the files in the game's folder:\n" +
                copy);
  g.LoadPicture(test::PositionPicture());
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  auto expected = virtualized, expectedProps = props;
  g.Inserted(expected, expectedProps, 12, g.state.LoadedImage);
  EXPECT_TRUE(test::SameBytes(ReadBytes(copy), expected));
  EXPECT_TRUE(test::SameBytes(ReadBytes(g.Textures() + "b"), virtualized));
  EXPECT_TRUE(test::SameBytes(ReadBytes(g.Textures()), real));
  EXPECT_TRUE(test::SameBytes(ReadBytes(g.Props()), expectedProps));
  std::filesystem::remove_all(std::string(std::getenv("LOCALAPPDATA")) + "\\VirtualStore");
}

// Both programs carry their manifest (run as the user, per-monitor DPI, UTF-8 as
// the code page, the current controls), their icon in its sizes and their version.
TEST(Resources, BothProgramsCarryTheirManifestIconAndVersion) {
  for (const char* program : {QUORLIN_WINDOW_EXE, QUORLIN_CLI_EXE}) {
    SCOPED_TRACE(program);
    HMODULE exe = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr);
    const auto resource = [exe](int id, LPCSTR type) {
      HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(id), type);
      const auto* bytes = found ? static_cast<const char*>(LockResource(LoadResource(exe, found))) : nullptr;
      return bytes ? std::string(bytes, SizeofResource(exe, found)) : std::string();
    };
    const std::string manifest = resource(1, MAKEINTRESOURCEA(24));  // RT_MANIFEST
    for (const char* part : {"<requestedExecutionLevel level=\"asInvoker\"", ">PerMonitorV2, PerMonitor</dpiAwareness>",
                             ">true/pm</dpiAware>", ">UTF-8</activeCodePage>",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
    const std::string icons = resource(1, MAKEINTRESOURCEA(14));  // RT_GROUP_ICON: 6-byte header, 14 bytes an icon
    ASSERT_GE(icons.size(), 6u);
    std::vector<int> sizes;
    for (size_t at = 6; at + 14 <= icons.size(); at += 14) sizes.push_back(static_cast<uint8_t>(icons[at]));
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 0}));        // 0: 256
    const std::string version = resource(1, MAKEINTRESOURCEA(16));  // RT_VERSION
    const size_t fixed = version.find("\xBD\x04\xEF\xFE");          // VS_FIXEDFILEINFO's signature
    ASSERT_NE(fixed, std::string::npos);
    EXPECT_EQ(version.substr(fixed + 8, 8), std::string("\x01\x00\x01\x00\x00\x00\x12\x00", 8));  // 1.1.18.0
    const auto wide = [](const std::string& s) {
      std::string w;
      for (char c : s) w += std::string{c, '\0'};
      return w;
    };
    const size_t product = version.find(wide("ProductName"));
    EXPECT_LT(version.find(wide("Quorlin"), product), product + 32);
    EXPECT_NE(version.find(wide("1.1.18")), std::string::npos);
    FreeLibrary(exe);
  }
}

}  // namespace
}  // namespace quorlin
