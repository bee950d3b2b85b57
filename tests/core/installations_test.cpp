// Finding the game in every launcher's Wine prefixes of generated home folders, and Steam's library list.
#ifndef _WIN32
#include "locate/installations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "locate/vdf.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

const char* const kExePath = "C:\\GAMES\\Mechwarrior Vengeance\\";  // what SampleSystemReg stores

// A home folder in which each prefix names a game folder of its own (its resource
// folder a link to one written game): every installation found traces back to its prefix.
class FakeHome {
 public:
  FakeHome() { sample::WriteSampleGame(tmp_ / "game", test::SmallGame({1})); }
  std::string home() const { return tmp_ / "home"; }
  // A prefix at rel under home; returns the line Describe must give for it.
  std::string Add(const char* launcher, const std::string& rel, bool textures = true) {
    const fs::path game = tmp_.path() / "games" / std::to_string(games_++);
    fs::create_directories(game);
    if (textures) fs::create_directory_symlink(tmp_.path() / "game/resource", game / "resource");
    sample::WriteWinePrefix(home() + "/" + rel, game.string());
    return std::string(launcher) + " " + rel + " " + fs::canonical(game).string() + (textures ? " textures" : " none");
  }
  void Write(const std::string& rel, const std::string& text) const {
    fs::create_directories(fs::path(home() + "/" + rel).parent_path());
    sample::WriteFile(home() + "/" + rel, std::vector<uint8_t>(text.begin(), text.end()));
  }
  // Launcher, prefix under home, the real game folder, textures, and key values not the sample's.
  std::vector<std::string> Describe(const std::vector<Installation>& found) const {
    std::vector<std::string> lines;
    for (const Installation& i : found) {
      lines.push_back(LauncherName(i.Launcher) + (" " + fs::path(i.Prefix).lexically_relative(home()).string()) + " " +
                      fs::weakly_canonical(i.Game).string() + (i.Textures ? " textures" : " none") +
                      (i.MechPath == kExePath ? "" : " " + i.MechPath) + (i.CDPath == "D:\\" ? "" : " cd=" + i.CDPath));
    }
    return lines;
  }

 private:
  test::TempDir tmp_;
  int games_ = 0;
};

TEST(Installations, EveryLauncherPlaceInOrderEachPrefixOnceDamagedFilesPassedOver) {
  FakeHome h;
  const std::string home = h.home();
  // Passed over: a prefix without the game's key, broken Lutris and bottle files, a folder for system.reg.
  h.Write(".local/share/wineprefixes/a/system.reg", "WINE REGISTRY Version 2\n[Software\\\\Other] 1\n\"A\"=\"b\"\n");
  h.Write(".config/lutris/games/a-broken.yml", "game:\n  prefix: [~/lutris/x\n");
  h.Write(".config/lutris/games/b-wine.yml", "game:\n  prefix: ~/.wine\n");  // looked at once, as wine
  h.Write(".local/share/bottles/bottles/Broken/system.reg", "\x01\x02garbage[Software\\\\Wow6432Node");
  fs::create_directories(home + "/.PlayOnLinux/wineprefix/AFolder/system.reg");
  const std::string flatpakRoot = ".var/app/com.valvesoftware.Steam/.local/share/Steam";
  h.Write(flatpakRoot + "/steamapps/libraryfolders.vdf", "\"libraryfolders\"\n{\n\t\"1\"\t\t\"/mnt/cut");  // cut short
  // Lutris prefixes with ~/ and absolute; ~/.steam/steam links to ~/.local/share/Steam, listed again there.
  h.Write(".config/lutris/games/c-mw4.yml", "game:\n  exe: drive_c/Mech4.exe\n  prefix: ~/lutris/mw4\nrunner: wine\n");
  h.Write(".local/share/lutris/games/other.yml", "game:\n  prefix: " + home + "/Other Prefix\nslug: other\n");
  const std::string path = "\"path\" \"" + home;
  h.Write(".local/share/Steam/steamapps/libraryfolders.vdf",
          "\"libraryfolders\" { \"0\" { " + path + "/.local/share/Steam\" } \"1\" { " + path + "/SteamLibrary\" } }");
  fs::create_directories(home + "/.steam");
  fs::create_directory_symlink("../.local/share/Steam", home + "/.steam/steam");
  const std::string elsewhere = h.Add("wine", "elsewhere");  // in no launcher's place
  const std::pair<const char*, std::string> prefixes[] = {  // in the order they must be found
      {"wine", ".wine"}, {"wine", ".local/share/wineprefixes/b"}, {"lutris", "lutris/mw4"}, {"lutris", "Other Prefix"},
      {"lutris", "Games/mechwarrior-vengeance"}, {"bottles", ".local/share/bottles/bottles/MW4"},
      {"bottles", ".var/app/com.usebottles.bottles/data/bottles/bottles/Games"},
      {"playonlinux", ".PlayOnLinux/wineprefix/MW4"},
      {"heroic", "Games/Heroic/Prefixes/default/Mechwarrior Vengeance"}, {"heroic", "Games/Heroic/Prefixes/mw4"},
      {"steam", ".steam/steam/steamapps/compatdata/1000/pfx"},  // written through the link
      {"steam", "SteamLibrary/steamapps/compatdata/2000/pfx"}, {"steam", flatpakRoot + "/steamapps/compatdata/77/pfx"}};
  std::vector<std::string> want;
  for (const auto& [launcher, prefix] : prefixes) want.push_back(h.Add(launcher, prefix));
  want.push_back(h.Add("crossover", ".cxoffice/Mechwarrior", false));
  EXPECT_EQ(h.Describe(FindInstallations(home, nullptr)), want);
  fs::remove(home + "/.steam/steam");             // without the link, found through ~/.local/share/Steam itself
  want[10].replace(6, 12, ".local/share/Steam");  // the compatdata/1000 prefix, seen before as ~/.steam/steam/...
  EXPECT_EQ(h.Describe(FindInstallations(home, "")), want);  // an empty $WINEPREFIX is as unset
  // A prefix named ($WINEPREFIX, --prefix) is the only one looked in, in a launcher's place or not.
  EXPECT_EQ(h.Describe(FindInstallations(home, (home + "/elsewhere").c_str())), std::vector{elsewhere});
  EXPECT_TRUE(FindInstallations(home, (home + "/.PlayOnLinux").c_str()).empty());
}

TEST(Installations, TheGameKeyDecidesWhetherAPrefixCounts) {
  FakeHome h;
  const std::string found = h.Add("wine", ".wine");
  const std::string key = "Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1\n";
  const std::string wow = "[Software\\\\Wow6432Node\\\\" + key, plain = "[Software\\\\" + key;
  const std::string exe = "\"EXE Path\"=\"C:\\\\GAMES\\\\Mechwarrior Vengeance\\\\\"\n";
  const std::pair<std::string, bool> cases[] = {  // system.reg, whether the prefix counts
      {plain + "\"CDPath\"=\"D:\\\\\"\n" + exe, true},
      // Wow6432Node first: its key names the game, the plain one another folder.
      {plain + "\"CDPath\"=\"E:\\\\\"\n\"EXE Path\"=\"C:\\\\Other\"\n" + wow + "\"CDPath\"=\"D:\\\\\"\n" + exe, true},
      {wow + "\"CDPath\"=\"\"\n" + exe, false},
      {wow + "\"CDPath\"=\"D:\\\\\"\n\"EXE Path\"=\"\"\n", false},
  };
  for (const auto& [reg, counts] : cases) {
    h.Write(".wine/system.reg", "WINE REGISTRY Version 2\n" + reg);
    EXPECT_EQ(h.Describe(FindInstallations(h.home(), nullptr)), std::vector<std::string>(counts, found)) << reg;
  }
}

TEST(SteamLibraryFolders, BothFormsEscapesCommentsAndDamagedText) {
  const std::string current =
      "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/u/.local/share/Steam\"\n\t\t\"label\"\t\t\"\"\n"
      "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"29212173\"\n\t\t}\n\t}\n"
      "\t\"1\"\n\t{\n\t\t\"label\"\t\t\"Games\"\n\t\t\"path\"\t\t\"/mnt/games\"\n\t}\n}\n";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {current, {"/home/u/.local/share/Steam", "/mnt/games"}},
      {"\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n\t\"ContentStatsID\"\t\t\"-4\"\n"
       "\t\"1\"\t\t\"/media/My Games\"\n\t\"2\"\t\t\"\"\n\t\"3\"\t\t\"/srv/steam\"\n}\n",
       {"/media/My Games", "/srv/steam"}},
      {"\xEF\xBB\xBF// by hand\n\"other\" { \"0\" \"/not\" }\nlibraryfolders // here\n{ 0 { PATH "
       "\"C:\\\\Program Files (x86)\\\\Steam\" } \"1\" \"D:\\Steam\\\\x\\\"\\n\" }",
       {"C:\\Program Files (x86)\\Steam", "D:\\Steam\\x\"\n"}},
      {current.substr(0, current.find("/mnt")), {}},
      {current.substr(0, current.size() - 2), {}},
      {current + "}", {}},
      {"\"libraryfolders\" { \"0\" }", {}},
  };
  for (const auto& [text, folders] : cases) EXPECT_EQ(SteamLibraryFolders(text), folders) << text;
}

}  // namespace
}  // namespace quorlin
#endif
