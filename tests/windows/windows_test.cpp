// What only Windows has: the game's key in the registry's 32-bit and 64-bit views (written with reg.exe, as an
// installer would), hidden files counting as missing, the copies Windows keeps in its VirtualStore, and the
// resources of the built programs. (A read-only backup restored to a writable archive: restore_test, run here too.)
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

using test::ReadBytes;
using test::TestGame;

// Runs reg.exe on the game's key in one registry view (" /reg:32" or " /reg:64"); true when it succeeded.
bool Reg(const std::string& verb, const std::string& view, const std::string& value = "") {
  const std::string key = "\"HKLM\\Software\\Microsoft\\Microsoft Games\\Mechwarrior Vengeance\"";
  return std::system(("reg.exe " + verb + " " + key + value + " /f" + view + " >nul 2>&1").c_str()) == 0;
}

TEST(WindowsRegistry, TheKeyIsReadFromThe32BitViewFirstThenThe64BitView) {
  // The game's key is changed only ever in a Wine prefix made for the test run (tools/check-windows marks it so).
  const char* prefix = std::getenv("WINEPREFIX");
  if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") || !prefix ||
      GetFileAttributesA(("Z:" + std::string(prefix) + "\\.quorlin-throwaway").c_str()) == INVALID_FILE_ATTRIBUTES) {
    FAIL() << "refusing to change the game's registry key outside a throw-away Wine prefix";
  }
  TestGame g;
  const std::string game = g.dir.str(), other = game + "\\elsewhere";
  // EXE Path in each view (empty: no key there); the game's folder is the one found each time. No key at
  // all is window_e2e.sh's case.
  const std::string cases[][3] = {
      {"32-bit view only", game, ""}, {"64-bit view only", "", game}, {"both: the 32-bit view wins", game, other}};
  for (const auto& [name, in32, in64] : cases) {
    SCOPED_TRACE(name);
    for (const auto& [view, path] : {std::pair{" /reg:32", in32}, {" /reg:64", in64}}) {
      Reg("delete", view);
      if (path.empty()) continue;
      ASSERT_TRUE(Reg("add", view, " /v \"EXE Path\" /t REG_SZ /d \"" + path + "\""));
      ASSERT_TRUE(Reg("add", view, " /v CDPath /t REG_DWORD /d 4"));
    }
    g.state = ProgramState{};
    g.ui = test::RecordingFrontEnd{};
    EXPECT_EQ(StartUp(g.state, g.ui).Outcome, Outcome::Done);
    EXPECT_EQ(g.state.Game.MechPath, game);
    EXPECT_EQ(g.state.CDPath, "4");  // a REG_DWORD, as decimal text
  }
  for (const char* view : {" /reg:32", " /reg:64"}) Reg("delete", view);
}

TEST(WindowsFiles, HiddenFilesCountAsMissing) {
  TestGame g(test::SmallGame({9, 12}));
  ASSERT_EQ(g.Start(), Outcome::Done);
  g.LoadPicture(test::PositionPicture());
  ASSERT_EQ(g.Insert(12), Outcome::Done);

  // A hidden backup is missing to Restore, and Insert makes the backup again.
  SetFileAttributesA((g.Textures() + "b").c_str(), FILE_ATTRIBUTE_HIDDEN);
  g.ui.answers = {MessageAnswer::Yes};
  EXPECT_EQ(RestoreOriginals(g.state, g.ui), Outcome::Refused);
  EXPECT_EQ(g.ui.MessageTexts().back(), "Backup texture file doesn't exist!");
  ASSERT_EQ(g.Insert(12), Outcome::Done);
  EXPECT_EQ(g.ui.statuses.front(), "Backing up resource\\textures.mw4");

  // A hidden texture archive is not there at all.
  SetFileAttributesA(g.Textures().c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(g.Start(), Outcome::EndProgram);
  EXPECT_EQ(g.ui.MessageTexts(), std::vector<std::string>{"Mechwarrior path is invalid!"});
  SetFileAttributesA(g.Textures().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A copy of textures.mw4 in this user's VirtualStore is what the game reads: start-up says so, Insert Skin writes
// that copy (and backs it up) and leaves the real file alone, while props.mw4, with no copy, is written where it is.
TEST(VirtualStore, AVirtualizedArchiveIsTheOneReadAndWritten) {
  TestGame g(test::SmallGame({9, 12}));
  const std::string store = std::string(std::getenv("LOCALAPPDATA")) + "\\VirtualStore";
  const std::string copy = store + g.dir.str().substr(2) + "\\resource\\textures.mw4";
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
  std::filesystem::remove_all(store);
}

// Both programs carry their manifest (run as the user, per-monitor DPI, UTF-8 as
// the code page, the current controls), their icon in its sizes and their version.
TEST(Resources, BothProgramsCarryTheirManifestIconAndVersion) {
  for (const char* program : {QUORLIN_WINDOW_EXE, QUORLIN_CLI_EXE}) {
    SCOPED_TRACE(program);
    HMODULE exe = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr);
    const auto resource = [exe](int type) {
      HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(type));
      const auto* bytes = found ? static_cast<const char*>(LockResource(LoadResource(exe, found))) : nullptr;
      return bytes ? std::string(bytes, SizeofResource(exe, found)) : std::string();
    };
    const std::string manifest = resource(24);  // RT_MANIFEST
    for (const char* part : {"<requestedExecutionLevel level=\"asInvoker\"", ">PerMonitorV2, PerMonitor</dpiAwareness>",
                             ">true/pm</dpiAware>", ">UTF-8</activeCodePage>",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"})
      EXPECT_NE(manifest.find(part), std::string::npos) << part;
    const std::string icons = resource(14);  // RT_GROUP_ICON: 6-byte header, 14 bytes an icon
    std::vector<int> sizes;
    for (size_t at = 6; at + 14 <= icons.size(); at += 14) sizes.push_back(static_cast<uint8_t>(icons[at]));
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 0}));  // 0: 256
    const std::string version = resource(16);                 // RT_VERSION, its texts in UTF-16
    const size_t fixed = version.find("\xBD\x04\xEF\xFE");    // VS_FIXEDFILEINFO's signature
    ASSERT_NE(fixed, std::string::npos);
    EXPECT_EQ(version.substr(fixed + 8, 8), std::string("\x01\x00\x01\x00\x00\x00\x12\x00", 8));  // 1.1.18.0
    const std::u16string texts(reinterpret_cast<const char16_t*>(version.data()), version.size() / 2);
    EXPECT_LT(texts.find(u"Quorlin", texts.find(u"ProductName")), texts.find(u"ProductName") + 16);
    EXPECT_NE(texts.find(u"1.1.18"), std::string::npos);
    FreeLibrary(exe);
  }
}

}  // namespace
}  // namespace quorlin
