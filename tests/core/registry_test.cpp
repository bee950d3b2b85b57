// The game's registry key: value reading rules, Wine's system.reg, and mapping
// game paths to native ones.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/game_location.h"
#include "platform/paths.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin {
namespace {

TEST(ReadRegistryValue, StringsDropTheirZeroDwordsBecomeDecimalOtherTypesFail) {
  MemoryRegistryKey key;
  key.SetString("EXE Path", "C:\\Games\\MW4\\");
  key.SetDword("Count", 4294967295u);
  key.Set("Blob", kRegBinary, {1, 2, 3});
  key.Set("Expand", kRegExpandSz, {'x', 0});
  key.Set("NoZero", kRegSz, {'a', 'b', 'c'});

  std::string value = "unchanged";
  EXPECT_EQ(ReadRegistryValue(key, "exe path", value), 0);
  EXPECT_EQ(value, "C:\\Games\\MW4\\");
  EXPECT_EQ(ReadRegistryValue(key, "Count", value), 0);
  EXPECT_EQ(value, "-1");  // a 32-bit signed number
  value = "unchanged";
  EXPECT_EQ(ReadRegistryValue(key, "Blob", value), -1);
  EXPECT_EQ(ReadRegistryValue(key, "Expand", value), -1);
  EXPECT_EQ(value, "unchanged");
  EXPECT_EQ(ReadRegistryValue(key, "Missing", value), kRegFileNotFound);
  EXPECT_EQ(value, "unchanged");
  // The last byte is taken for the terminating zero, whatever it is.
  EXPECT_EQ(ReadRegistryValue(key, "NoZero", value), 0);
  EXPECT_EQ(value, "ab");
}

const char* kGameKey = "Software\\Microsoft\\Microsoft Games\\Mechwarrior Vengeance";

TEST(WineRegistry, ParsesEscapesTypesAndContinuations) {
  const std::string reg =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\Machine\n"
      "\n"
      "[Software\\\\Microsoft\\\\Microsoft Games\\\\Other] 1\n"
      "\"EXE Path\"=\"wrong\"\n"
      "\n"
      "[software\\\\microsoft\\\\MICROSOFT GAMES\\\\Mechwarrior Vengeance] 1733475600\n"
      "#time=1db47c0a1b2c3d4\n"
      "\"EXE Path\"=\"C:\\\\Program Files\\\\\\\"MW\\\" \\x00e9\\x263a\"\r\n"
      "\"CDPath\"=str(2):\"%CD%\"\n"
      "\"Number\"=dword:0000002a\n"
      "\"Bytes\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Wide\"=hex(1):41,00,42,00,00,00\n"
      "\"Broken\"=dword:zz\n"
      "garbage line without quotes\n"
      "@=\"default\"\n"
      "\n"
      "[Software\\\\After] 2\n"
      "\"CDPath\"=\"not this\"\n";
  const auto key = ParseWineRegistryKey(reg, kGameKey);
  ASSERT_TRUE(key.has_value());
  std::string value;
  EXPECT_EQ(ReadRegistryValue(*key, "EXE Path", value), 0);
  EXPECT_EQ(value, "C:\\Program Files\\\"MW\" \xe9?");
  value = "kept";
  EXPECT_EQ(ReadRegistryValue(*key, "CDPath", value), -1);  // REG_EXPAND_SZ is another type
  EXPECT_EQ(value, "kept");
  EXPECT_EQ(ReadRegistryValue(*key, "Number", value), 0);
  EXPECT_EQ(value, "42");
  EXPECT_EQ(ReadRegistryValue(*key, "Bytes", value), -1);
  uint32_t type = 0;
  uint32_t size = 0;
  EXPECT_EQ(key->Query("Bytes", &type, nullptr, &size), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(ReadRegistryValue(*key, "Wide", value), 0);
  EXPECT_EQ(value, "AB");
  EXPECT_EQ(ReadRegistryValue(*key, "Broken", value), kRegFileNotFound);
  EXPECT_EQ(ReadRegistryValue(*key, "", value), 0);
  EXPECT_EQ(value, "default");
}

TEST(WineRegistry, MissingKeyAndOddFilesYieldNothing) {
  EXPECT_FALSE(ParseWineRegistryKey("", kGameKey).has_value());
  EXPECT_FALSE(ParseWineRegistryKey("[Software\\\\Microsoft] 1\n\"EXE Path\"=\"x\"\n", kGameKey).has_value());
  // A key line without its closing bracket, an unterminated string, a lone quote.
  const std::string odd = std::string("[Software\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance\n") +
                          "\"EXE Path\"=\"C:\\\\x\n\"\n\\\n";
  EXPECT_FALSE(ParseWineRegistryKey(odd, kGameKey).has_value());
  const std::string unterminated =
      std::string("[Software\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1\n") +
      "\"EXE Path\"=\"C:\\\\x\n\"CDPath\n";
  const auto key = ParseWineRegistryKey(unterminated, kGameKey);
  ASSERT_TRUE(key.has_value());
  std::string value;
  EXPECT_EQ(ReadRegistryValue(*key, "EXE Path", value), kRegFileNotFound);
}

TEST(WineRegistry, FindsTheKeyUnderWow6432NodeFirstThenPlain) {
  test::TempDir tmp;
  const std::string both =
      "WINE REGISTRY Version 2\n"
      "[Software\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1\n"
      "\"EXE Path\"=\"C:\\\\Plain\"\n\n"
      "[Software\\\\Wow6432Node\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1\n"
      "\"EXE Path\"=\"C:\\\\Wow\"\n";
  sample::WriteFile(tmp / "system.reg", std::vector<uint8_t>(both.begin(), both.end()));
  auto key = OpenGameKeyInWinePrefix(tmp.str());
  ASSERT_NE(key, nullptr);
  std::string value;
  ReadRegistryValue(*key, "EXE Path", value);
  EXPECT_EQ(value, "C:\\Wow");

  const std::string plain = both.substr(0, both.find("\n\n") + 1);
  sample::WriteFile(tmp / "system.reg", std::vector<uint8_t>(plain.begin(), plain.end()));
  key = OpenGameKeyInWinePrefix(tmp.str());
  ASSERT_NE(key, nullptr);
  ReadRegistryValue(*key, "EXE Path", value);
  EXPECT_EQ(value, "C:\\Plain");

  EXPECT_EQ(OpenGameKeyInWinePrefix(tmp / "nowhere"), nullptr);
}

TEST(GameLocation, SeparatorFollowsTheTrimmedPath) {
  GameLocation game;
  game.Set("C:\\Games\\MW");
  EXPECT_EQ(game.MechPathSep, "\\");
  EXPECT_EQ(game.GamePath("resource\\textures.mw4"), "C:\\Games\\MW\\resource\\textures.mw4");
  game.Set("C:\\Games\\MW\\");
  EXPECT_EQ(game.MechPathSep, "");
  EXPECT_EQ(game.GamePath("resource\\textures.mw4"), "C:\\Games\\MW\\resource\\textures.mw4");
  // A space after the final backslash: no separator, and the space stays in paths.
  game.Set("C:\\Games\\MW\\ ");
  EXPECT_EQ(game.MechPathSep, "");
  EXPECT_EQ(game.GamePath("resource\\textures.mw4"), "C:\\Games\\MW\\ resource\\textures.mw4");
}

class PathMapping : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::create_directories(prefix.path() / "drive_c" / "Games" / "MechWarrior" / "Resource");
    fs::create_directories(prefix.path() / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix.path() / "dosdevices" / "c:");
    sample::WriteFile(prefix / "drive_c/Games/MechWarrior/Resource/Textures.MW4", {1});
  }
  test::TempDir prefix;
};

TEST_F(PathMapping, DriveLettersGoThroughDosdevicesAndCaseIsResolved) {
  const std::string native = MapToNative("c:\\GAMES\\mechwarrior\\resource\\textures.mw4", prefix.str());
  EXPECT_EQ(native, prefix / "dosdevices/c:/Games/MechWarrior/Resource/Textures.MW4");
  EXPECT_TRUE(NativeFileExists(native));
  // A part that does not exist in any case is kept as written.
  EXPECT_EQ(MapToNative("C:\\Games\\MechWarrior\\resource\\textures.mw4b", prefix.str()),
            prefix / "dosdevices/c:/Games/MechWarrior/Resource/textures.mw4b");
}

TEST_F(PathMapping, TrailingBackslashAndSpaceAreFormedAsText) {
  GameLocation game;
  game.Set("C:\\Games\\MechWarrior\\");
  EXPECT_TRUE(NativeFileExists(MapToNative(game.GamePath("resource\\textures.mw4"), prefix.str())));
  game.Set("C:\\Games\\MechWarrior\\ ");  // the space becomes part of the folder name
  EXPECT_FALSE(NativeFileExists(MapToNative(game.GamePath("resource\\textures.mw4"), prefix.str())));
}

TEST_F(PathMapping, ADriveWithoutALinkFindsNothing) {
  EXPECT_FALSE(NativeFileExists(MapToNative("D:\\Games\\MechWarrior\\resource\\textures.mw4", prefix.str())));
  EXPECT_FALSE(FileExists("", 0));
  // A folder is not a file.
  EXPECT_FALSE(NativeFileExists(prefix / "drive_c"));
}

}  // namespace
}  // namespace quorlin
