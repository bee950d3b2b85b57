// Finding the game in every launcher's Wine prefixes, in generated home folders
// laid out as each launcher lays out its own; and Steam's library list.
#ifndef _WIN32
#include "locate/installations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "locate/vdf.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

const char* const kMechPath = "C:\\GAMES\\Mechwarrior Vengeance\\";  // what SampleSystemReg stores

// A home folder in which each prefix names a game folder of its own (its resource
// folder a link to one written game): every installation found traces back to its prefix.
class FakeHome {
 public:
  FakeHome() { sample::WriteSampleGame(tmp_ / "game", test::SmallGame({1})); }
  std::string home() const { return tmp_ / "home"; }
  // A prefix at rel under home; returns the line Describe must give for it (as seenAs).
  std::string Add(const char* launcher, const std::string& rel, bool textures = true, std::string seenAs = "") {
    const fs::path game = tmp_.path() / "games" / std::to_string(games_++);
    fs::create_directories(game);
    if (textures) fs::create_directory_symlink(tmp_.path() / "game/resource", game / "resource");
    sample::WriteWinePrefix(home() + "/" + rel, game.string());
    return std::string(launcher) + " " + (seenAs.empty() ? rel : seenAs) + " " + fs::canonical(game).string() +
           (textures ? " textures" : " none");
  }
  void Write(const std::string& rel, const std::string& text) const {
    fs::create_directories(fs::path(home() + "/" + rel).parent_path());
    sample::WriteFile(home() + "/" + rel, std::vector<uint8_t>(text.begin(), text.end()));
  }
  // Launcher, prefix under home, the real game folder, textures, and key values not the sample's.
  std::vector<std::string> Describe(const std::vector<Installation>& found) const {
    std::vector<std::string> lines;
    for (const Installation& i : found) {
      std::error_code ec;
      lines.push_back(
          std::string(LauncherName(i.Launcher)) + " " + fs::path(i.Prefix).lexically_relative(home()).string() + " " +
          fs::canonical(i.Game, ec).string() + (i.Textures ? " textures" : " none") +
          (i.MechPath == kMechPath ? "" : " " + i.MechPath) + (i.CDPath == "D:\\" ? "" : " cd=" + i.CDPath));
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
  std::vector<std::string> want = {h.Add("wine", ".wine")};
  h.Write(".local/share/wineprefixes/a/system.reg", "WINE REGISTRY Version 2\n[Software\\\\Other] 1\n\"A\"=\"b\"\n");
  want.push_back(h.Add("wine", ".local/share/wineprefixes/b"));
  // Lutris: a broken game file, one naming ~/.wine again (looked at once, as wine),
  // one with ~/, one absolute; then ~/Games/*.
  h.Write(".config/lutris/games/a-broken.yml", "game:\n  prefix: [~/lutris/x\n");
  h.Write(".config/lutris/games/b-wine.yml", "game:\n  prefix: ~/.wine\n");
  h.Write(".config/lutris/games/c-mw4.yml",
          "game:\n  exe: drive_c/Mech4.exe\n  prefix: ~/lutris/mw4\nrunner: wine\nsystem: {}\nwine:\n  version: GE\n");
  want.push_back(h.Add("lutris", "lutris/mw4"));
  h.Write(".local/share/lutris/games/other.yml", "game:\n  prefix: " + home + "/Other Prefix\nslug: other\n");
  want.push_back(h.Add("lutris", "Other Prefix"));
  want.push_back(h.Add("lutris", "Games/mechwarrior-vengeance"));
  h.Write(".local/share/bottles/bottles/Broken/system.reg", "\x01\x02garbage[Software\\\\Wow6432Node");
  want.push_back(h.Add("bottles", ".local/share/bottles/bottles/MW4"));
  want.push_back(h.Add("bottles", ".var/app/com.usebottles.bottles/data/bottles/bottles/Games"));
  fs::create_directories(home + "/.PlayOnLinux/wineprefix/AFolder/system.reg");
  want.push_back(h.Add("playonlinux", ".PlayOnLinux/wineprefix/MW4"));
  want.push_back(h.Add("heroic", "Games/Heroic/Prefixes/default/Mechwarrior Vengeance"));
  want.push_back(h.Add("heroic", "Games/Heroic/Prefixes/mw4"));
  // Steam: ~/.steam/steam links to ~/.local/share/Steam, whose list names it
  // again and a second library holding the game's prefix.
  const std::string path = "\"path\" \"" + home;
  h.Write(".local/share/Steam/steamapps/libraryfolders.vdf",
          "\"libraryfolders\" { \"0\" { " + path + "/.local/share/Steam\" } \"1\" { " + path + "/SteamLibrary\" } }");
  fs::create_directories(home + "/.steam");
  fs::create_directory_symlink("../.local/share/Steam", home + "/.steam/steam");
  want.push_back(h.Add("steam", ".local/share/Steam/steamapps/compatdata/1000/pfx", true,
                       ".steam/steam/steamapps/compatdata/1000/pfx"));
  want.push_back(h.Add("steam", "SteamLibrary/steamapps/compatdata/2000/pfx"));
  const std::string flatpakRoot = ".var/app/com.valvesoftware.Steam/.local/share/Steam";
  h.Write(flatpakRoot + "/steamapps/libraryfolders.vdf", "\"libraryfolders\"\n{\n\t\"1\"\t\t\"/mnt/cut");
  want.push_back(h.Add("steam", flatpakRoot + "/steamapps/compatdata/77/pfx"));
  want.push_back(h.Add("crossover", ".cxoffice/Mechwarrior", false));
  EXPECT_EQ(h.Describe(FindInstallations(home, nullptr)), want);
  fs::remove(home + "/.steam/steam");             // without the link, found through ~/.local/share/Steam itself
  want[10].replace(6, 12, ".local/share/Steam");  // the compatdata/1000 prefix, seen before as ~/.steam/steam/...
  EXPECT_EQ(h.Describe(FindInstallations(home, nullptr)), want);
}

TEST(Installations, TheGameKeyDecidesWhetherAPrefixCounts) {
  FakeHome h;
  const std::string found = h.Add("wine", ".wine");
  const std::string header = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
  const std::string wow = "[Software\\\\Wow6432Node\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1\n";
  const std::string plain = "[Software\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1\n";
  const std::string exe = "\"EXE Path\"=\"C:\\\\GAMES\\\\Mechwarrior Vengeance\\\\\"\n";
  const std::string reg = sample::SampleSystemReg();
  const struct {
    std::string reg;   // empty: system.reg is a folder
    std::string line;  // empty: nothing found
  } cases[] = {
      {header + plain + "\"CDPath\"=\"D:\\\\\"\n" + exe, found},
      // Wow6432Node first: its key names the game, the plain one another folder.
      {header + plain + "\"CDPath\"=\"E:\\\\\"\n\"EXE Path\"=\"C:\\\\Elsewhere\"\n\n" + wow +
           "\"CDPath\"=\"D:\\\\\"\n" + exe,
       found},
      {header + wow + "\"CDPath\"=\"\"\n" + exe, ""},
      {header + wow + "\"CDPath\"=\"D:\\\\\"\n\"EXE Path\"=\"\"\n", ""},
      {header + wow + "\"CDPath\"=\"D:\\\\\"\n", ""},
      {reg.substr(0, reg.find("Mechwarrior Vengeance]")), ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    fs::remove_all(h.home() + "/.wine/system.reg");
    c.reg.empty() ? (void)fs::create_directory(h.home() + "/.wine/system.reg") : h.Write(".wine/system.reg", c.reg);
    EXPECT_EQ(h.Describe(FindInstallations(h.home(), nullptr)), std::vector<std::string>(!c.line.empty(), c.line));
  }
}

TEST(Installations, WinePrefixSetMeansThatPrefixOnly) {
  FakeHome h;
  h.Add("wine", ".wine"), h.Add("crossover", ".cxoffice/Mechwarrior");
  const std::string elsewhere = h.Add("wine", "elsewhere"), home = h.home();
  EXPECT_EQ(h.Describe(FindInstallations(home, (home + "/elsewhere").c_str())), std::vector{elsewhere});
  EXPECT_TRUE(FindInstallations(home, (home + "/.PlayOnLinux").c_str()).empty());
  EXPECT_EQ(FindInstallations(home, "").size(), 2u);  // empty is unset
  EXPECT_TRUE(FindInstallations(home + "/nowhere", nullptr).empty());
}

TEST(SteamLibraryFolders, BothFormsEscapesCommentsAndDamagedText) {
  const std::string current =
      "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/u/.local/share/Steam\"\n\t\t\"label\"\t\t\"\"\n"
      "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"29212173\"\n\t\t}\n\t}\n"
      "\t\"1\"\n\t{\n\t\t\"label\"\t\t\"Games\"\n\t\t\"path\"\t\t\"/mnt/games\"\n\t}\n}\n";
  using Folders = std::vector<std::string>;
  const struct {
    std::string text;
    Folders folders;
  } cases[] = {
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
      {current + "\"next\" \"cut", {}},
      {"\"libraryfolders\" { \"0\" }", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SteamLibraryFolders(c.text), c.folders) << c.text;
}

}  // namespace
}  // namespace quorlin
#endif
