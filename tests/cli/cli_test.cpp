// quorlin-cli driven with argument lists: usage errors, exit statuses, which stream
// gets what, and whole commands on a generated game checked against its layout.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "app/settings.h"
#include "image/picture/picture_decoder.h"
#include "platform/folder_lock.h"
#include "support/game_fixture.h"
#include "support/linear_light.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using Args = std::vector<std::string>;
using Json = nlohmann::json;

struct CliRun {
  int code = -1;
  std::string out, err;
  auto all() const { return std::tuple(code, out, err); }
};

CliRun Cli(const Args& args, const std::string& input = "", bool terminal = false) {
  std::vector<const char*> argv = {"quorlin-cli"};
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  std::istringstream in(input);
  const int code = RunCli(argv, {out, err, in, terminal}, {DecodePicture, SavePng});
  return {code, out.str(), err.str()};
}

// Slots 9, 12 and 37 prepared, but slot 37's lobby preview; the sample pictures beside.
sample::GameOptions CliGame(uint32_t seed = 1) {
  auto options = test::SmallGame({9, 12, 37});
  options.WritePictures = true;
  options.UnpreparedProps = {37};
  options.Seed = seed;
  return options;
}

const std::string kAsk = "Continue?: Restoring may require you to rerun the Zandel!\nDo you wish to continue? ";

class CliTest : public ::testing::Test {
 protected:
  CliTest() : g(CliGame()) {}
  CliRun Run(Args args, const std::string& input = "", bool terminal = false) {
    args.insert(args.begin(), {"--game", g.dir.str()});
    return Cli(args, input, terminal);
  }
  std::string Picture() const { return g.dir / "sample-skin.bmp"; }
  // Where the generator put a slot's level (6: its lobby preview, in props.mw4).
  const sample::Placed& Place(int slot, int level) const {
    const auto& l = g.layout;
    return level < 6 ? l.Textures.at(ExpectedTextureName(slot, level)) : l.Props.at(ExpectedLobbyName(slot));
  }
  test::TestGame g;
};

TEST_F(CliTest, BadUsageExitsWithTwoAndTouchesNothing) {
  // The last two: --prefix after --game, and restore without a terminal and without --yes.
  for (const std::string line :
       {"", "frobnicate", "insert --slot 8 s.bmp", "insert --slot 38 s.bmp", "insert --slot x s.bmp", "insert s.bmp",
        "insert --slot 12", "insert --slot 12 --filter bilinear s.bmp", "extract --slot 12", "restore --slot 40 --yes",
        "status --bogus", "--prefix p status", "restore"}) {
    std::istringstream words(line);
    const CliRun run = Run({std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()});
    EXPECT_EQ(run.code, 2) << line;
    EXPECT_NE(run.err.find(line == "restore" ? "--yes" : "\n"), std::string::npos) << line;  // a line saying why
  }
  EXPECT_EQ(test::Listing(g.dir / "resource"), (std::set<std::string>{"textures.mw4", "props.mw4"}));
  EXPECT_EQ(Cli({"--version"}).all(), std::tuple(0, "1.1.18\n", ""));
}

// insert (plain, with the box filter, scaled with --fit), extract and status, checked against the archives.
TEST_F(CliTest, InsertExtractAndStatusAgreeWithTheArchives) {
  const CliRun first = Run({"status", "--json"});
  EXPECT_EQ(first.err.rfind("An index of the skins must be created", 0), 0u) << first.err;  // the statuses too
  Json slots = Json::array();
  for (int n = 9; n <= 37; ++n) {
    slots.push_back({{"slot", n}, {"textures_prepared", n == 9 || n == 12 || n == 37},
                     {"props_prepared", n == 9 || n == 12}, {"differs_from_backup", nullptr}});
  }
  const Json doc = Json::parse(first.out);  // standard output holds the document alone
  EXPECT_TRUE(doc["game"] == g.dir.str() && doc["slots"] == slots) << doc;

  ASSERT_EQ(Run({"insert", "--slot", "12", Picture()}).code, 0);
  ASSERT_EQ(Run({"insert", "--slot", "9", "--filter", "box", Picture()}).code, 0);
  // extract writes each level's stored Targa image byte for byte, over what an interrupted one left.
  fs::create_directories(g.dir / "out");
  sample::WriteFile(g.dir / "out/skin9_lobby.tga.quorlin-tmp", std::vector<uint8_t>(5000, 0xEE));
  ASSERT_EQ(Run({"extract", "--slot", "9", "--out", g.dir / "out"}).code, 0);
  for (int level = 0; level < 7; ++level) {
    const std::string file = "out/skin9_" + (level < 6 ? std::to_string(level) : "lobby") + ".tga";
    EXPECT_EQ(ReadBytes(g.dir / file), test::LevelTarga(sample::SamplePicture(), level < 6 ? 512 >> level : 32, true))
        << file;
  }
  ASSERT_EQ(Run({"extract", "--slot", "12", "--out", g.dir / "png", "--png"}).code, 0);
  ImageBuffer level0;
  DecodePicture(g.dir / "png/skin12_0.png", level0);
  EXPECT_EQ(level0.Pixels, sample::SamplePicture().Pixels);

  // insert --fit takes a larger square picture scaled down in linear light (the smaller levels: insert_test).
  sample::WriteFile(g.dir / "large.bmp", sample::EncodeBmp(test::PositionPicture(1024)));
  ASSERT_EQ(Run({"insert", "--slot", "12", "--fit", g.dir / "large.bmp"}).code, 0);
  const auto want = test::LevelTarga(test::Reference(test::PositionPicture(1024), 512), 512);
  const auto got = test::At(ReadBytes(g.Textures()), Place(12, 0));
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) ASSERT_LE(std::abs(got[i] - want[i]), 1) << "byte " << i;

  const std::string text = Run({"status"}).out;
  EXPECT_NE(text.find("\n12    prepared      prepared      yes\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n37    prepared      not prepared  no\n"), std::string::npos) << text;
  fs::remove(g.Props() + "b");  // with one backup left the answer is unknown
  EXPECT_NE(Run({"status"}).out.find("\n12    prepared      prepared      unknown (no backup)\n"), std::string::npos);
}

// A byte changed in an archive or in its backup marks the slot whose entry (as the
// generator placed it) holds it, and no other: each file read through its own directory.
TEST_F(CliTest, StatusMarksTheSlotHoldingAChangedByte) {
  const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  const auto differing = [&](const std::vector<uint8_t>& t, const std::vector<uint8_t>& p, bool inBackup) {
    for (const auto& [file, bytes, original] : {std::tuple{g.Textures(), t, textures}, {g.Props(), p, props}}) {
      sample::WriteFile(file, inBackup ? original : bytes);
      sample::WriteFile(file + "b", inBackup ? bytes : original);
    }
    std::set<int> slots;
    const Json doc = Json::parse(Run({"status", "--json"}).out);
    for (const auto& slot : doc["slots"]) {
      if (slot["differs_from_backup"] == true) slots.insert(slot["slot"].get<int>());
    }
    return slots;
  };
  // {in the backup, slot, level (6: the lobby preview), byte (negative: from the end)}
  const std::tuple<bool, int, int, int64_t> cases[] = {
      {false, 9, 0, -1}, {true, 12, 0, 256 * 1024}, {false, 12, 0, 256 * 1024 - 1}, {false, 12, 6, -1},
      {true, 9, 6, 0}};
  for (const auto& [inBackup, slot, level, at] : cases) {
    auto changed = level == 6 ? props : textures;
    changed.at(Place(slot, level).Offset + static_cast<uint64_t>(at < 0 ? Place(slot, level).Length + at : at)) ^= 0xFF;
    EXPECT_EQ(differing(level == 6 ? textures : changed, level == 6 ? changed : props, inBackup), std::set{slot})
        << slot << "/" << level << " at " << at;
  }
  // Backups of another layout, whose prepared slots hold what the archives hold: only
  // the slots of random contents differ, with both backups foreign or just one.
  sample::WriteSampleGame(g.dir / "other", CliGame(77));
  const auto otherTextures = ReadBytes(g.dir / "other/resource/textures.mw4");
  std::set<int> random;  // slots 10 to 37 but 12
  for (int slot = 10; slot <= 37; ++slot) random.insert(slot);
  random.erase(12);
  EXPECT_EQ(differing(otherTextures, ReadBytes(g.dir / "other/resource/props.mw4"), true), random);
  random.erase(37);
  EXPECT_EQ(differing(otherTextures, props, true), random);
}

// Refusals and failures end with 1, saying why on standard error alone; index prints the positions.
TEST_F(CliTest, RefusalsAndFailuresEndWithOneAndIndexPrintsThePositions) {
  sample::WriteFile(g.dir / "large.bmp", sample::EncodeBmp(test::PositionPicture(1024)));
  sample::WriteFile(g.dir / "wide.bmp", sample::EncodeBmp(test::PositionPicture(1024, 512)));
  ASSERT_EQ(Run({"index"}).code, 0);
  const auto inx = ReadBytes(g.Resource("textures.inx"));
  const std::tuple<Args, std::string, std::string> cases[] = {
      {{"restore", "--yes", "--slot", "12"}, "", kAsk + "yes\nBackup texture file doesn't exist!\n"},
      {{"insert", "--slot", "12", g.dir / "large.bmp"}, "", "Skin file isn't 512x512!\n"},  // larger, without --fit
      {{"insert", "--slot", "12", "--fit", g.dir / "wide.bmp"}, "", "Skin file isn't 512x512!\n"},  // not square
      {{"insert", "--slot", "10", g.dir / "sample-skin.png"},
       "Texture Loaded ready to insert\nBacking up resource\\textures.mw4\n",
       "textures.mw4 not patched!: The Zandel is required to use the Quorlin tool!\n"}};
  for (const auto& [args, out, err] : cases) EXPECT_EQ(Run(args).all(), std::tuple(1, out, err)) << args.back();
  // Per slot 1..37 its six level positions, in columns of 7, and its lobby preview's.
  std::ostringstream index;
  index << "Indexing Skins\nReady to load texture.\nslot  textures levels 0..5                 props\n" << std::left;
  for (int slot = 1; slot <= 37; ++slot) {
    index << std::setw(6) << slot;
    for (int level = 0; level < 7; ++level) index << std::setw(level < 6 ? 7 : 0) << Place(slot, level).Position;
    index << '\n';
  }
  // An index longer than its table is taken as it is; --rebuild writes it anew.
  auto longer = inx;
  longer.resize(500, 0x5A);
  sample::WriteFile(g.Resource("textures.inx"), longer);
  EXPECT_EQ(Run({"index"}).out.rfind("slot  textures levels 0..5", 0), 0u);
  EXPECT_EQ(ReadBytes(g.Resource("textures.inx")), longer);
  EXPECT_EQ(Run({"index", "--rebuild"}).out, index.str());
  EXPECT_EQ(ReadBytes(g.Resource("textures.inx")), inx);

  sample::WriteFile(g.dir / "in-the-way", {1});
  const CliRun extract = Run({"extract", "--slot", "12", "--out", g.dir / "in-the-way/out"});
  EXPECT_EQ(std::tuple(extract.code, extract.out), std::tuple(1, ""));
  EXPECT_EQ(extract.err.rfind("Error 76\nCannot create " + g.dir / "in-the-way/out", 0), 0u) << extract.err;
  fs::resize_file(g.Textures(), Place(12, 0).Offset);
  EXPECT_EQ(Run({"extract", "--slot", "12", "--out", g.dir / "out"}).all(),
            std::tuple(1, "", "Error 62\nThe entry for skin 12 (0) in resource\\textures.mw4 lies outside the file\n"));
  fs::remove(g.Resource("props.inx"));
  fs::create_directory(g.Resource("props.inx"));
  const CliRun save = Run({"index", "--rebuild"});
  EXPECT_EQ(std::tuple(save.code, save.out), std::tuple(1, "Indexing Skins\n"));
  EXPECT_EQ(save.err.rfind("An index of the skins must be created to be patch independent.\nError 7", 0), 0u)
      << save.err;  // 75 here, 70 (access denied) on Windows
  FolderLock other;  // while another copy writes, --rebuild is refused before it starts
  ASSERT_TRUE(other.TryLock(g.dir / "resource"));
  const CliRun busy = Run({"index", "--rebuild"});
  EXPECT_TRUE(busy.code == 1 && busy.out.empty()) << busy.err;
}

// Without --game the game is found through the Wine prefixes' registries, or in the folder chosen in the window
// (games lists it); when it cannot be, the command ends with 1, saying why on standard error alone.
TEST_F(CliTest, TheGameIsFoundInTheWinePrefixesOrTheChosenFolderOrTheCommandEndsWithOne) {
#ifndef _WIN32
  test::TempDir home;
  sample::WriteWinePrefix(home / "prefix", g.dir.str());
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  test::SetEnvironment("HOME", home.str().c_str());
  test::SetEnvironment("WINEPREFIX", (home / "prefix").c_str());
  EXPECT_EQ(Cli({"--game", g.dir / "nowhere", "insert", "--slot", "12", Picture()}).all(),
            std::tuple(1, "", "Mechwarrior path is invalid!\n"));
  EXPECT_NE(Cli({"status"}).out.find("\ngame: C:\\GAMES\\Mechwarrior Vengeance\\\n"), std::string::npos);
  EXPECT_EQ(Cli({"--game", "C:\\Games\\Mechwarrior Vengeance", "index"}).code, 0);  // a path in $WINEPREFIX

  // Without $WINEPREFIX every launcher's prefixes are looked in: here ~/.wine and a second game's. Both are
  // listed; status refuses to guess, --prefix picks.
  test::SetEnvironment("WINEPREFIX", nullptr);
  const std::string wine = home / ".wine", other = home / ".local/share/wineprefixes/other";
  const std::string mw4 = "/dosdevices/c:/Games/Mechwarrior Vengeance";
  sample::WriteWinePrefix(wine, g.dir.str());
  sample::WriteSampleGame(home / "other", test::SmallGame({9}));
  sample::WriteWinePrefix(other, home / "other");
  const auto listed = [&mw4](const std::string& p) { return "  " + p + "  (wine: " + p + mw4 + ")\n"; };
  EXPECT_EQ(Cli({"status"}).all(), std::tuple(1, "", "The game is installed in several Wine prefixes; choose one with "
                                                   "--prefix DIR (or --game DIR):\n" + listed(wine) + listed(other)));
  EXPECT_EQ(Cli({"--prefix", other, "index"}).code, 0);
  EXPECT_TRUE(fs::exists(home / "other/resource/textures.inx"));
  test::SetEnvironment("HOME", oldHome.c_str());
#endif
  const std::string file = SettingsFile().Path();  // in this suite's own folder (support/isolated_settings.cpp)
  fs::create_directories(fs::path(file).parent_path());
  std::ofstream(file) << Json{{"game_folder", g.dir.str()}}.dump();
  test::SetEnvironment("WINEPREFIX", (g.dir / "no-prefix").c_str());
  EXPECT_EQ(Cli({"status", "--json"}).code, 0);
  EXPECT_EQ(Json::parse(Cli({"games", "--json"}).out)["installations"][0],
            (Json{{"launcher", "chosen"}, {"prefix", nullptr}, {"game", g.dir.str()}, {"textures", true}}));
  EXPECT_EQ(Cli({"games"}).out.substr(0, 11 + g.dir.str().size()), "chosen  -  " + g.dir.str());
  fs::remove(g.Props());  // no longer the game's folder: looked for as before
  EXPECT_EQ(Cli({"status"}).all(), std::tuple(1, "", "Problem getting Mechwarrior Path!\n"));
  fs::remove(g.Textures());  // still listed as chosen, without its archive
  EXPECT_EQ(Json::parse(Cli({"games", "--json"}).out)["installations"][0]["textures"], false);
  fs::remove(file);
  test::SetEnvironment("WINEPREFIX", nullptr);
}

// history lists what undo brings back: the versions, newest first, with their time, picture and
// whether they hold the original. On a terminal only "y" or "yes" (trimmed, any case) answers the
// question of the restores and undo; anything else leaves the archives.
TEST_F(CliTest, HistoryListsTheVersionsUndoBringsTheNewestBackAndOnlyAnExplicitYesAnswers) {
  ASSERT_EQ(Run({"insert", "--slot", "12", Picture()}).code, 0);
  const std::string version1 = g.Resource("quorlin-history/slot12-000001.qver");
  const auto timeOf = [](const std::string& path, bool utc) {  // bytes 9..16 of a version file
    const auto b = ReadBytes(path);
    std::time_t t = 0;
    for (int k = 7; k >= 0; --k) t = t << 8 | b.at(9 + static_cast<size_t>(k));
    char text[32];
    std::strftime(text, sizeof text, utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d %H:%M:%S", utc ? std::gmtime(&t) : std::localtime(&t));
    return std::string(text);
  };
  EXPECT_EQ(Json::parse(Run({"history", "--slot", "12", "--json"}).out),
            (Json{{"slot", 12}, {"versions", {{{"version", 1}, {"file", version1}, {"time", timeOf(version1, true)},
                                               {"picture", nullptr}, {"original", true}, {"damaged", nullptr}}}}}));
  EXPECT_EQ(Run({"undo", "--slot", "12"}).code, 2);  // no terminal, no --yes
  EXPECT_EQ(Run({"undo", "--slot", "12", "--yes"}).all(),
            std::tuple(0, "Undoing the last change to slot 12\nDone.\n", kAsk + "yes\n"));
  const std::string kept = "slot 12: 1 version kept, newest first\nversion  kept                 original  picture\n";
  EXPECT_EQ(Run({"history", "--slot", "12"}).all(),
            std::tuple(0, kept + "2        " + timeOf(g.Resource("quorlin-history/slot12-000002.qver"), false) +
                              "  no        sample-skin.bmp\n", ""));
  ASSERT_EQ(Run({"undo", "--slot", "12"}, "y\n", true).code, 0);  // the undo undone
  fs::resize_file(g.Resource("quorlin-history/slot12-000003.qver"), 100);
  EXPECT_EQ(Run({"history", "--slot", "9"}).out, "slot 9: 0 versions kept, newest first\n");
  EXPECT_EQ(Run({"history", "--slot", "12"}).out, kept + "3        (this file is cut short)\n");
  const std::string restored =
      "Restoring resource\\textures.mw4 from backup\nRestoring resource\\props.mw4 from backup\nDone.\n";
  for (const std::string input : {"", "\n", "n\n", "No\n", "yellow\n", "yes please\n", " Y \n", "yes\n"}) {
    const bool yes = input == " Y \n" || input == "yes\n";
    for (const Args& args : {Args{"restore"}, Args{"restore", "--slot", "12"}}) {
      EXPECT_EQ(Run(args, input, true).all(), std::tuple(yes ? 0 : 1, yes ? restored : "", kAsk + "[y/N] ")) << input;
    }
  }
}

}  // namespace
}  // namespace quorlin
