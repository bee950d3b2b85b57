// The game's registry key: value reading rules in Wine's system.reg, and game paths
// mapped to native ones. (Wow6432Node before the plain key: installations_test.)
#include "locate/registry.h"
#include "locate/wine_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "platform/paths.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin {
namespace {

TEST(GameKey, ValuesAreReadFromWinesSystemRegAsTheRegistryHandsThemOut) {
  const std::string reg =
      "WINE REGISTRY Version 2\n[Software\\\\Microsoft\\\\Microsoft Games\\\\Other] 1\n\"EXE Path\"=\"wrong\"\n\n"
      "[software\\\\microsoft\\\\MICROSOFT GAMES\\\\Mechwarrior Vengeance] 1733475600\n#time=1db47c0a1b2c3d4\n"
      "\"EXE Path\"=\"C:\\\\Program Files\\\\\\\"MW\\\" \\x00e9\\x263a\"\r\n\"CDPath\"=str(2):\"%CD%\"\n"
      "\"Number\"=dword:0000002a\n\"Minus\"=dword:ffffffff\n\"Bytes\"=hex:01,02,\\\n  03,04\n"
      "\"Wide\"=hex(1):41,00,42,00,00,00\n\"NoZero\"=hex(1):61,00,62,00,63,00\n"
      "\"Broken\"=dword:zz\n\"Long\"=dword:100000000\ngarbage line without quotes\n@=\"de\\tfault\"\n\n"
      "[Software\\\\After] 2\n\"Missing\"=\"not this key\"\n";
  const auto key = ParseWineRegistryKey(reg, "Software\\Microsoft\\Microsoft Games\\Mechwarrior Vengeance");
  ASSERT_TRUE(key.has_value());
  const std::tuple<const char*, long, const char*> cases[] = {  // name, result, value ("kept": left as it was)
      {"EXE Path", 0, "C:\\Program Files\\\"MW\" \xe9?"},  // escapes; a character beyond Latin-1 becomes ?
      {"exe path", 0, "C:\\Program Files\\\"MW\" \xe9?"},
      {"CDPath", -1, "kept"}, {"Bytes", -1, "kept"},  // REG_EXPAND_SZ and REG_BINARY are not read
      {"Number", 0, "42"}, {"Minus", 0, "-1"},        // a 32-bit signed number
      {"Wide", 0, "AB"}, {"NoZero", 0, "ab"},          // without a zero, the last character is taken for it
      {"Broken", kRegFileNotFound, "kept"}, {"Long", kRegFileNotFound, "kept"},  // more than 32 bits
      {"Missing", kRegFileNotFound, "kept"}, {"", 0, "de\tfault"},
  };
  for (const auto& [name, code, want] : cases) {
    std::string value = "kept";
    EXPECT_EQ(ReadRegistryValue(*key, name, value), code) << name;
    EXPECT_EQ(value, want) << name;
  }
  EXPECT_FALSE(ParseWineRegistryKey(reg, "Software\\Microsoft").has_value());
}

#ifndef _WIN32
TEST(PathMapping, DriveLettersGoThroughDosdevicesAndLetterCaseIsResolved) {
  namespace fs = std::filesystem;
  test::TempDir prefix;
  fs::create_directories(prefix.path() / "drive_c" / "Games" / "MechWarrior" / "Resource");
  fs::create_directories(prefix.path() / "dosdevices");
  fs::create_directory_symlink("../drive_c", prefix.path() / "dosdevices" / "c:");
  sample::WriteFile(prefix / "drive_c/Games/MechWarrior/Resource/Textures.MW4", {1});
  const std::string found = prefix / "dosdevices/c:/Games/MechWarrior/Resource/Textures.MW4";
  const std::pair<const char*, std::string> cases[] = {  // a Windows path, the native file (empty: none)
      {"c:\\GAMES\\mechwarrior\\resource\\textures.mw4", found},
      {"C:\\Games\\MechWarrior\\\\resource\\textures.mw4", found},
      // A part that exists in no letter case is kept as written.
      {"C:\\Games\\MechWarrior\\resource\\textures.mw4b",
       prefix / "dosdevices/c:/Games/MechWarrior/Resource/textures.mw4b"},
      {"C:\\Games\\MechWarrior\\ \\resource\\textures.mw4", ""},
      {"D:\\Games\\MechWarrior\\resource\\textures.mw4", ""},  // no link for D:
      {"C:\\Games\\MechWarrior\\resource", ""},                // a folder is not a file
  };
  for (const auto& [windowsPath, want] : cases) {
    const std::string native = MapToNative(windowsPath, prefix.str());
    EXPECT_EQ(want.empty() ? "" : native, want);
    EXPECT_EQ(NativeFileExists(native), want == found) << windowsPath;
  }
  EXPECT_FALSE(FileExists("", 0));
}
#endif

}  // namespace
}  // namespace quorlin
