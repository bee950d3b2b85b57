// quorlin-cli driven with argument lists: usage errors, exit codes, which stream
// gets what, and whole commands on a generated game checked against its layout.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "image/picture/picture_decoder.h"
#include "platform/folder_lock.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::SameBytes;

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

CliRun Cli(const std::vector<std::string>& args, const std::string& input = "", bool terminal = false) {
  std::vector<const char*> argv = {"quorlin-cli"};
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  std::istringstream in(input);
  CliRun run;
  run.code = RunCli(argv, {out, err, in, terminal}, {DecodePicture, SavePng});
  run.out = out.str();
  run.err = err.str();
  return run;
}

class CliTest : public ::testing::Test {
 protected:
  CliTest()
      : g([] {
          auto options = test::SmallGame({9, 12, 37});
          options.writePictures = true;
          options.unpreparedProps = {37};
          return options;
        }()) {}
  CliRun Run(std::vector<std::string> args, const std::string& input = "", bool terminal = false) {
    args.insert(args.begin(), {"--game", g.dir.str()});
    return Cli(args, input, terminal);
  }
  std::string Picture() const { return g.dir / "sample-skin.bmp"; }
  test::TestGame g;
};

TEST_F(CliTest, BadUsageExitsWithTwoAndTouchesNothing) {
  const std::string bmp = Picture();
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"insert", "--slot", "8", bmp},
      {"insert", "--slot", "38", bmp},
      {"insert", "--slot", "x", bmp},
      {"insert", bmp},
      {"insert", "--slot", "12"},
      {"insert", "--slot", "12", "--filter", "bilinear", bmp},
      {"extract", "--slot", "12"},
      {"restore", "--slot", "40", "--yes"},
      {"status", "--bogus"},
      {"restore"},  // without a terminal it needs --yes
  };
  for (const auto& args : bad) {
    const CliRun run = Run(args);
    EXPECT_EQ(run.code, 2) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_NE(Run({"restore"}).err.find("--yes"), std::string::npos);
  EXPECT_EQ(test::Listing(g.dir / "resource"), (std::set<std::string>{"textures.mw4", "props.mw4"}));
  const CliRun version = Cli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "1.1.18\n");
}

TEST_F(CliTest, InsertExtractAndStatusAgreeWithTheArchives) {
  const CliRun first = Run({"status", "--json"});
  ASSERT_EQ(first.code, 0) << first.err;
  auto doc = nlohmann::json::parse(first.out);  // standard output holds the document alone
  EXPECT_EQ(doc["game"], g.dir.str());
  ASSERT_EQ(doc["slots"].size(), 29u);
  for (size_t i = 0; i < 29; ++i) {
    const auto& slot = doc["slots"][i];
    const int n = static_cast<int>(9 + i);
    EXPECT_EQ(slot["slot"], n);
    EXPECT_EQ(slot["textures_prepared"], n == 9 || n == 12 || n == 37) << n;
    EXPECT_EQ(slot["props_prepared"], n == 9 || n == 12) << n;
    EXPECT_TRUE(slot["differs_from_backup"].is_null());
  }
  EXPECT_EQ(first.err,
            "An index of the skins must be created to be patch independent.\nIndexing Skins\n"
            "Ready to load texture.\n");

  const CliRun insert = Run({"insert", "--slot", "12", Picture()});
  ASSERT_EQ(insert.code, 0) << insert.err;
  EXPECT_EQ(insert.out,
            "Texture Loaded ready to insert\nBacking up resource\\textures.mw4\n"
            "Quick Patching resource\\textures.mw4\nBacking up resource\\props.mw4\n"
            "Quick Patching resource\\props.mw4\nDone.\n");
  EXPECT_EQ(insert.err, "");
  ASSERT_EQ(Run({"insert", "--slot", "9", "--filter", "box", Picture()}).code, 0);
  // extract gives back what went in: each level the picture's Targa image, byte for byte,
  // whatever an interrupted extract left behind.
  fs::create_directories(g.dir / "out");
  sample::WriteFile(g.dir / "out/skin12_lobby.tga.quorlin-tmp", std::vector<uint8_t>(5000, 0xEE));
  for (const auto& [slot, box] : {std::pair{12, false}, {9, true}}) {
    ASSERT_EQ(Run({"extract", "--slot", std::to_string(slot), "--out", g.dir / "out"}).code, 0);
    for (int level = 0; level < 7; ++level) {
      const std::string file = "out/skin" + std::to_string(slot) + "_" + (level < 6 ? std::to_string(level) : "lobby");
      EXPECT_EQ(ReadBytes(g.dir / (file + ".tga")),
                test::LevelTarga(sample::SamplePicture(), level < 6 ? 512 >> level : 32, box))
          << file;
    }
  }
  ASSERT_EQ(Run({"extract", "--slot", "12", "--out", g.dir / "png", "--png"}).code, 0);
  ImageBuffer level0;
  DecodePicture(g.dir / "png/skin12_0.png", level0);
  EXPECT_EQ(level0.Pixels, sample::SamplePicture().Pixels);

  const CliRun text = Run({"status"});
  EXPECT_NE(text.out.find("\n12    prepared      prepared      yes\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\n37    prepared      not prepared  no\n"), std::string::npos) << text.out;
  fs::remove(g.Props() + "b");  // with one backup left the answer is unknown
  EXPECT_NE(Run({"status"}).out.find("\n12    prepared      prepared      unknown (no backup)\n"), std::string::npos);
  doc = nlohmann::json::parse(Run({"status", "--json"}).out);
  for (const auto& slot : doc["slots"]) {
    EXPECT_TRUE(slot["differs_from_backup"].is_null()) << slot["slot"];
  }
}

// status compares every byte of a slot's entries with the backups, each file
// through its own directory: a byte changed in an archive or in its backup marks
// the slot whose entry (as the generator placed it) holds it, and no other.
TEST_F(CliTest, StatusMarksTheSlotHoldingAChangedByte) {
  ASSERT_EQ(Run({"index"}).code, 0);
  const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  const auto differing = [&](const std::vector<uint8_t>& t, const std::vector<uint8_t>& p, bool inBackup) {
    for (const auto& [file, bytes, original] : {std::tuple{g.Textures(), t, textures}, {g.Props(), p, props}}) {
      sample::WriteFile(file, inBackup ? original : bytes);
      sample::WriteFile(file + "b", inBackup ? bytes : original);
    }
    const auto doc = nlohmann::json::parse(Run({"status", "--json"}).out);
    std::set<int> slots;
    for (const auto& slot : doc["slots"]) {
      if (slot["differs_from_backup"] == true) slots.insert(slot["slot"].get<int>());
    }
    return slots;
  };
  // {in the backup, slot, level (6: the lobby preview), byte (negative: from the end)}
  const std::tuple<bool, int, int, int64_t> cases[] = {{false, 9, 0, -1},
                                                       {true, 12, 0, 256 * 1024},
                                                       {false, 12, 0, 256 * 1024 - 1},
                                                       {false, 12, 6, -1},
                                                       {true, 9, 6, 0}};
  for (const auto& [inBackup, slot, level, at] : cases) {
    const sample::Placed& place = level == 6 ? g.layout.props.at(ExpectedLobbyName(slot))
                                             : g.layout.textures.at(ExpectedTextureName(slot, level));
    auto changed = level == 6 ? props : textures;
    changed.at(place.offset + static_cast<uint64_t>(at < 0 ? place.length + at : at)) ^= 0xFF;
    EXPECT_EQ(differing(level == 6 ? textures : changed, level == 6 ? changed : props, inBackup), std::set{slot})
        << slot << "/" << level << " at " << at;
  }
  // Slot 9's and slot 12's largest levels trade places in the backup's records.
  const sample::Placed &nine = g.layout.textures.at(ExpectedTextureName(9, 0)),
                       &twelve = g.layout.textures.at(ExpectedTextureName(12, 0));
  ASSERT_NE(test::At(textures, nine), test::At(textures, twelve));
  auto swapped = textures;
  std::swap_ranges(&swapped.at(nine.record + 16), &swapped.at(nine.record + 20), &swapped.at(twelve.record + 16));
  EXPECT_EQ(differing(swapped, props, true), (std::set<int>{9, 12}));
  // Backups of another layout, whose prepared slots hold what the archives hold: each
  // entry is found by name in them, and only the slots of random contents differ.
  auto options = test::SmallGame({9, 12, 37});
  options.seed = 77;
  options.unpreparedProps = {37};
  sample::WriteSampleGame(g.dir / "other", options);
  std::set<int> random;
  for (int slot = 10; slot <= 37; ++slot) random.insert(slot);
  random.erase(12);
  EXPECT_EQ(
      differing(ReadBytes(g.dir / "other/resource/textures.mw4"), ReadBytes(g.dir / "other/resource/props.mw4"), true),
      random);
  random.erase(37);  // the same with the original lobby backup: each backup read through its own directory
  EXPECT_EQ(differing(ReadBytes(g.dir / "other/resource/textures.mw4"), props, true), random);
}

TEST_F(CliTest, RefusalsExitWithOneAndRestoreAsksOnATerminal) {
  sample::WriteFile(g.dir / "skin.txt", {1, 2, 3});
  const std::string ask = "Continue?: Restoring may require you to rerun the Zandel!\nDo you wish to continue?";
  const struct {
    std::vector<std::string> args;
    std::string out, err;
  } cases[] = {
      {{"restore", "--yes", "--slot", "12"}, "", ask + " yes\nBackup texture file doesn't exist!\n"},
      {{"insert", "--slot", "12", g.dir / "skin.txt"}, "", "Unsupported format!\n"},
      {{"insert", "--slot", "10", g.dir / "sample-skin.png"},
       "Texture Loaded ready to insert\nBacking up resource\\textures.mw4\n",
       "textures.mw4 not patched!: The Zandel is required to use the Quorlin tool!\n"},
      {{"insert", "--slot", "37", g.dir / "sample-skin.tga"},
       "Texture Loaded ready to insert\nQuick Patching resource\\textures.mw4\nBacking up resource\\props.mw4\n",
       "props.mw4 not patched!: The Zandel is required to use the Quorlin tool!\n"},
  };
  ASSERT_EQ(Run({"index"}).code, 0);
  for (const auto& c : cases) {
    const auto textures = ReadBytes(g.Textures());
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.code, 1) << c.args[0];
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    if (c.args[0] == "restore") {
      EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
    }
  }
  const CliRun index = Run({"index", "--rebuild"});
  EXPECT_EQ(index.out.rfind("Indexing Skins\nReady to load texture.\nslot  textures levels 0..5", 0), 0u);
  for (const int slot : {1, 37}) {
    const std::string row = "\n" + std::to_string(slot) + (slot < 10 ? "     " : "    ") +
                            std::to_string(g.layout.textures.at(ExpectedTextureName(slot, 0)).position) + " ";
    EXPECT_NE(index.out.find(row), std::string::npos) << index.out;
  }
  FolderLock other;  // while another copy writes, --rebuild is refused before it starts
  ASSERT_TRUE(other.TryLock(g.dir / "resource"));
  const CliRun busy = Run({"index", "--rebuild"});
  EXPECT_TRUE(busy.code == 1 && busy.out.empty()) << busy.err;
}

// The restore question on a terminal: only an explicit yes restores; an empty line,
// the end of input, a no or anything else leaves the archives as they are.
TEST_F(CliTest, OnlyAnExplicitYesAnswersTheQuestion) {
  ASSERT_EQ(Run({"insert", "--slot", "12", Picture()}).code, 0);
  const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
  const std::string ask = "Continue?: Restoring may require you to rerun the Zandel!\nDo you wish to continue? [y/N] ";
  const std::string restored =
      "Restoring resource\\textures.mw4 from backup\nRestoring resource\\props.mw4 from backup\nDone.\n";
  for (const std::string input : {"", "\n", "n\n", "No\n", "yellow\n", "yes please\n", " Y \n", "yes\n"}) {
    const bool yes = input == " Y \n" || input == "yes\n";
    for (const auto& args : {std::vector<std::string>{"restore"}, {"restore", "--slot", "12"}}) {
      const CliRun run = Run(args, input, true);
      EXPECT_EQ(run.code, yes ? 0 : 1) << input << args.size();
      EXPECT_EQ(run.out, yes ? restored : "");
      EXPECT_EQ(run.err, ask);
      EXPECT_EQ(SameBytes(ReadBytes(g.Textures()), textures), !yes) << input << args.size();
      sample::WriteFile(g.Textures(), textures), sample::WriteFile(g.Props(), props);
    }
  }
}

#ifndef _WIN32
// Without --game the game is found through the Wine prefix's registry; every
// command ends with 1 when start-up cannot find it, saying why on standard error
// and nothing on standard output.
TEST_F(CliTest, EveryCommandStartsFromTheGameTheRegistryNamesOrEndsWithOne) {
  test::TempDir home;
  sample::WriteWinePrefix(home / "prefix", g.dir.str());
  fs::create_directories(home / "empty");
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  test::SetEnvironment("HOME", home.str().c_str());
  const std::vector<std::vector<std::string>> commands = {{"status"},
                                                          {"status", "--json"},
                                                          {"index", "--rebuild"},
                                                          {"insert", "--slot", "12", Picture()},
                                                          {"restore", "--yes"},
                                                          {"restore", "--yes", "--slot", "12"},
                                                          {"extract", "--slot", "12", "--out", g.dir / "out"}};
  const struct {
    const char* prefix;
    std::vector<std::string> game;
    std::string err;
  } cases[] = {{"empty", {}, "Problem getting Mechwarrior Path!\n"},
               {"prefix", {"--game", g.dir / "nowhere"}, "Mechwarrior path is invalid!\n"}};
  for (const auto& c : cases) {
    test::SetEnvironment("WINEPREFIX", (home / c.prefix).c_str());
    for (auto args : commands) {
      args.insert(args.begin(), c.game.begin(), c.game.end());
      const CliRun run = Cli(args);
      EXPECT_EQ(run.code, 1) << args[0];
      EXPECT_EQ(run.out, "") << args[0];
      EXPECT_EQ(run.err, c.err) << args[0];
    }
  }
  EXPECT_EQ(test::Listing(g.dir / "resource"), (std::set<std::string>{"textures.mw4", "props.mw4"}));
  test::SetEnvironment("WINEPREFIX", (home / "prefix").c_str());
  const CliRun found = Cli({"status"});
  EXPECT_EQ(found.code, 0) << found.err;
  EXPECT_NE(found.out.find("\ngame: C:\\GAMES\\Mechwarrior Vengeance\\\n"), std::string::npos) << found.out;

  // Without $WINEPREFIX every launcher's prefixes are looked in: here ~/.wine and a
  // second game's prefix. Both are listed; status refuses to guess, --prefix picks.
  test::SetEnvironment("WINEPREFIX", nullptr);
  sample::WriteWinePrefix(home / ".wine", g.dir.str());
  sample::WriteSampleGame(home / "other", test::SmallGame({9}));
  const std::string other = home / ".local/share/wineprefixes/other";
  sample::WriteWinePrefix(other, home / "other");
  const auto games = nlohmann::json::parse(Cli({"games", "--json"}).out)["installations"];
  ASSERT_EQ(games.size(), 2u);
  const std::string mw4 = "/dosdevices/c:/Games/Mechwarrior Vengeance";
  EXPECT_EQ(games[0],
            (nlohmann::json{
                {"launcher", "wine"}, {"prefix", home / ".wine"}, {"game", home / ".wine" + mw4}, {"textures", true}}));
  EXPECT_EQ(games[1]["prefix"], other);
  const CliRun several = Cli({"status"});
  EXPECT_EQ(several.code, 1);
  EXPECT_EQ(several.out, "");
  EXPECT_EQ(several.err,
            "The game is installed in several Wine prefixes; choose one with --prefix DIR (or --game DIR):\n  " +
                home / ".wine" + "  (wine: " + home / ".wine" + mw4 + ")\n  " + other + "  (wine: " + other + mw4 +
                ")\n");
  EXPECT_EQ(Cli({"--prefix", other, "index"}).code, 0);
  EXPECT_TRUE(fs::exists(home / "other/resource/textures.inx"));
  EXPECT_EQ(Cli({"--prefix", other, "--game", g.dir.str(), "status"}).code, 2);
  test::SetEnvironment("HOME", oldHome.c_str());
}
#endif

// What each kind of text is and where it goes: status texts on standard output
// (standard error under --json), messages, notices and failure reports on standard
// error; a failure ends with 1.
TEST_F(CliTest, EachKindOfTextGoesToItsStreamAndAFailureEndsWithOne) {
  ASSERT_EQ(Run({"index"}).code, 0);
  const auto index = ReadBytes(g.Resource("textures.inx"));
  sample::WriteFile(g.Resource("quorlin.journal.quorlin-tmp"), {1, 2});
  const CliRun notice = Run({"index"});
  EXPECT_EQ(notice.code, 0);
  EXPECT_EQ(notice.out.rfind("slot  textures levels 0..5", 0), 0u);
  EXPECT_EQ(notice.err,
            "A journal that an interrupted run had not finished writing was discarded; the archives had not been "
            "touched.\n");

  // An index longer than its table is taken as it is; --rebuild writes it anew.
  auto longer = index;
  longer.resize(500, 0x5A);
  sample::WriteFile(g.Resource("textures.inx"), longer);
  EXPECT_EQ(Run({"index"}).out.rfind("slot  textures levels 0..5", 0), 0u);
  EXPECT_EQ(ReadBytes(g.Resource("textures.inx")), longer);
  const CliRun rebuilt = Run({"index", "--rebuild"});
  EXPECT_EQ(rebuilt.out.rfind("Indexing Skins\nReady to load texture.\nslot  textures levels 0..5", 0), 0u);
  EXPECT_EQ(ReadBytes(g.Resource("textures.inx")), index);

  sample::WriteFile(g.dir / "in-the-way", {1});
  const CliRun extract = Run({"extract", "--slot", "12", "--out", g.dir / "in-the-way/out"});
  EXPECT_EQ(extract.code, 1);
  EXPECT_EQ(extract.out, "");
  EXPECT_EQ(extract.err.rfind("Error 76\nCannot create " + g.dir / "in-the-way/out", 0), 0u) << extract.err;
  fs::resize_file(g.Textures(), g.layout.textures.at(ExpectedTextureName(12, 0)).offset);
  EXPECT_EQ(Run({"extract", "--slot", "12", "--out", g.dir / "out"}).err,
            "Error 62\nThe entry for skin 12 (0) in resource\\textures.mw4 lies outside the file\n");
#ifdef __linux__
  test::Immutable readOnly(g.dir / "resource");
  if (readOnly.ok()) {  // a folder that cannot be written: explained, ended with 1
    const CliRun failed = Run({"index", "--rebuild"});
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "Quorlin cannot change the game's files in\n" + g.dir / "resource" +
                              "\nbecause this user may not create files in it (no permission to write in the folder)."
                              "\nGive this user permission to write there, or run Quorlin as a user who has it.\n");
  }
  readOnly.Release();
#endif
  fs::remove(g.Resource("props.inx"));
  fs::create_directory(g.Resource("props.inx"));
  const CliRun save = Run({"index", "--rebuild"});
  EXPECT_EQ(save.code, 1);
  EXPECT_EQ(save.out, "Indexing Skins\n");
  EXPECT_EQ(save.err.rfind("An index of the skins must be created to be patch independent.\nError 7", 0), 0u)
      << save.err;  // 75 here, 70 (access denied) on Windows
}

}  // namespace
}  // namespace quorlin
