// quorlin-cli: argument handling, exit codes, output streams and whole commands
// on generated games.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/skin_index.h"
#include "image/picture/picture_decoder.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

CliRun Cli(std::vector<std::string> args, const std::string& input = "", bool terminal = false) {
  std::vector<const char*> argv = {"quorlin-cli"};
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  CliRun run;
  run.code = RunCli(argv, {out, err, in, terminal});
  run.out = out.str();
  run.err = err.str();
  return run;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto options = test::SmallGame({9, 12, 37});
    options.writePictures = true;
    options.unpreparedProps = {37};
    sample::WriteSampleGame(game.str(), options);
  }
  std::string Textures() const { return game / "resource/textures.mw4"; }
  std::string Props() const { return game / "resource/props.mw4"; }
  test::TempDir game;
};

TEST_F(CliTest, UsageErrorsExitWithTwoAndTouchNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"--game", game.str(), "insert", "--slot", "8", game / "sample-skin.bmp"},
      {"--game", game.str(), "insert", "--slot", "38", game / "sample-skin.bmp"},
      {"--game", game.str(), "insert", "--slot", "x", game / "sample-skin.bmp"},
      {"--game", game.str(), "insert", game / "sample-skin.bmp"},
      {"--game", game.str(), "insert", "--slot", "12"},
      {"--game", game.str(), "insert", "--slot", "12", "--filter", "bilinear", game / "sample-skin.bmp"},
      {"--game", game.str(), "extract", "--slot", "12"},
      {"--game", game.str(), "status", "--bogus"},
  };
  for (const auto& args : bad) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.code, 2) << (args.empty() ? "" : args.back());
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_FALSE(fs::exists(game / "resource/textures.inx"));
  // Restore without a terminal needs --yes.
  const CliRun restore = Cli({"--game", game.str(), "restore"});
  EXPECT_EQ(restore.code, 2);
  EXPECT_NE(restore.err.find("--yes"), std::string::npos);
}

TEST_F(CliTest, VersionAndHelp) {
  const CliRun version = Cli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_NE(version.out.find("1.1.18"), std::string::npos);
  const CliRun help = Cli({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("extract"), std::string::npos);
}

TEST_F(CliTest, StatusJsonListsAll29SlotsAndKeepsStandardOutputClean) {
  const CliRun run = Cli({"--game", game.str(), "status", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["game"], game.str());
  ASSERT_EQ(doc["slots"].size(), 29u);
  for (const auto& slot : doc["slots"]) {
    const int n = slot["slot"];
    EXPECT_EQ(slot["textures_prepared"], n == 9 || n == 12 || n == 37) << n;
    EXPECT_EQ(slot["props_prepared"], n == 9 || n == 12) << n;
    EXPECT_TRUE(slot["differs_from_backup"].is_null());
  }
  EXPECT_EQ(doc["slots"][0]["slot"], 9);
  // Start-up built the index: its message and status texts went to standard error.
  EXPECT_NE(run.err.find("An index of the skins must be created to be patch independent.\n"), std::string::npos);
  EXPECT_NE(run.err.find("Indexing Skins\n"), std::string::npos);
}

TEST_F(CliTest, InsertThenExtractRoundTripsTheStoredBytes) {
  const CliRun insert = Cli({"--game", game.str(), "insert", "--slot", "12", game / "sample-skin.bmp"});
  ASSERT_EQ(insert.code, 0) << insert.err;
  EXPECT_NE(insert.out.find("Texture Loaded ready to insert\nBacking up resource\\textures.mw4\n"
                            "Quick Patching resource\\textures.mw4\nBacking up resource\\props.mw4\n"
                            "Quick Patching resource\\props.mw4\nDone.\n"),
            std::string::npos)
      << insert.out;

  const CliRun extract = Cli({"--game", game.str(), "extract", "--slot", "12", "--out", game / "out"});
  ASSERT_EQ(extract.code, 0) << extract.err;
  for (int level = 0; level < 6; ++level) {
    EXPECT_EQ(ReadBytes(game / ("out/skin12_" + std::to_string(level) + ".tga")),
              test::EntryBytes(Textures(), ExpectedTextureName(12, level)));
  }
  EXPECT_EQ(ReadBytes(game / "out/skin12_lobby.tga"), test::EntryBytes(Props(), ExpectedLobbyName(12)));

  const CliRun png = Cli({"--game", game.str(), "extract", "--slot", "12", "--out", game / "png", "--png"});
  ASSERT_EQ(png.code, 0) << png.err;
  ImageBuffer level0;
  std::string reason;
  ASSERT_TRUE(DecodePicture(game / "png/skin12_0.png", level0, reason)) << reason;
  EXPECT_EQ(level0.Pixels, sample::SamplePicture().Pixels);
  ImageBuffer lobby;
  ASSERT_TRUE(DecodePicture(game / "png/skin12_lobby.png", lobby, reason)) << reason;
  EXPECT_EQ(lobby.Width, 32);

  const CliRun status = Cli({"--game", game.str(), "status", "--json"});
  const auto doc = nlohmann::json::parse(status.out);
  for (const auto& slot : doc["slots"]) EXPECT_EQ(slot["differs_from_backup"], slot["slot"] == 12) << slot["slot"];
}

TEST_F(CliTest, RefusalsExitWithOneAndPrintTheMessage) {
  const CliRun small = Cli({"--game", game.str(), "insert", "--slot", "12", game / "sample-skin.tga.jpeg"});
  EXPECT_EQ(small.code, 1);
  EXPECT_NE(small.err.find("Unsupported format!"), std::string::npos);

  const CliRun unprepared = Cli({"--game", game.str(), "insert", "--slot", "10", game / "sample-skin.tga"});
  EXPECT_EQ(unprepared.code, 1);
  EXPECT_NE(unprepared.err.find("textures.mw4 not patched!: The Zandel is required to use the Quorlin tool!\n"),
            std::string::npos)
      << unprepared.err;

  const CliRun props = Cli({"--game", game.str(), "insert", "--slot", "37", game / "sample-skin.tga"});
  EXPECT_EQ(props.code, 1);
  EXPECT_EQ(props.out.find("Done."), std::string::npos);

  const CliRun missing = Cli({"--game", game / "nowhere", "status"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "Mechwarrior path is invalid!\n");
}

TEST_F(CliTest, RestoreWholeArchivesOrOneSlot) {
  ASSERT_EQ(Cli({"--game", game.str(), "insert", "--slot", "12", game / "sample-skin.bmp"}).code, 0);
  ASSERT_EQ(Cli({"--game", game.str(), "insert", "--slot", "9", game / "sample-skin.bmp"}).code, 0);
  const auto backup = ReadBytes(Textures() + "b");
  const auto insertedNine = test::EntryBytes(Textures(), ExpectedTextureName(9, 0));

  // Just slot 12: its entries come back, slot 9 keeps the picture.
  const CliRun slot = Cli({"--game", game.str(), "restore", "--yes", "--slot", "12"});
  ASSERT_EQ(slot.code, 0) << slot.err;
  EXPECT_EQ(test::EntryBytes(Textures(), ExpectedTextureName(12, 2)),
            test::EntryBytes(Textures() + "b", ExpectedTextureName(12, 2)));
  EXPECT_EQ(test::EntryBytes(Props(), ExpectedLobbyName(12)), test::EntryBytes(Props() + "b", ExpectedLobbyName(12)));
  EXPECT_EQ(test::EntryBytes(Textures(), ExpectedTextureName(9, 0)), insertedNine);
  EXPECT_EQ(ReadBytes(Textures()).size(), backup.size());

  // The answer comes from the terminal when there is one.
  const CliRun no = Cli({"--game", game.str(), "restore"}, "n\n", true);
  EXPECT_EQ(no.code, 1);
  EXPECT_NE(ReadBytes(Textures()), backup);

  const CliRun all = Cli({"--game", game.str(), "restore", "--yes"});
  ASSERT_EQ(all.code, 0) << all.err;
  EXPECT_EQ(ReadBytes(Textures()), backup);
  EXPECT_EQ(ReadBytes(Props()), ReadBytes(Props() + "b"));
  EXPECT_NE(
      all.out.find("Restoring resource\\textures.mw4 from backup\nRestoring resource\\props.mw4 from backup\nDone.\n"),
      std::string::npos);
}

TEST_F(CliTest, RestoringASlotWritesNothingUnlessBothArchivesCanBeRestored) {
  const auto before = ReadBytes(Textures());
  const CliRun run = Cli({"--game", game.str(), "restore", "--yes", "--slot", "12"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Backup texture file doesn't exist!"), std::string::npos);
  EXPECT_EQ(ReadBytes(Textures()), before);

  ASSERT_EQ(Cli({"--game", game.str(), "insert", "--slot", "12", game / "sample-skin.bmp"}).code, 0);
  const auto inserted = ReadBytes(Textures());
  test::Immutable lock(Props());
  if (!lock.ok()) GTEST_SKIP() << "the file system cannot make a file read-only for root";
  const CliRun locked = Cli({"--game", game.str(), "restore", "--yes", "--slot", "12"});
  EXPECT_EQ(locked.code, 1);
  EXPECT_NE(locked.err.find("Error 70"), std::string::npos) << locked.err;
  EXPECT_EQ(ReadBytes(Textures()), inserted);
}

TEST_F(CliTest, IndexPrintsAndRebuilds) {
  const CliRun run = Cli({"--game", game.str(), "index", "--rebuild"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("Indexing Skins\nReady to load texture.\n"), std::string::npos);
  EXPECT_EQ(ReadBytes(game / "resource/textures.inx").size(), 444u);
}

TEST_F(CliTest, FindsTheGameThroughWinePrefixWithoutGameOption) {
  test::TempDir prefix;
  sample::WriteWinePrefix(prefix.str(), game.str());
  const char* old = std::getenv("WINEPREFIX");
  const std::string saved = old ? old : "";
  ::setenv("WINEPREFIX", prefix.str().c_str(), 1);
  const CliRun run = Cli({"status", "--json"});
  test::TempDir empty;
  ::setenv("WINEPREFIX", empty.str().c_str(), 1);
  const CliRun none = Cli({"status"});
  if (old)
    ::setenv("WINEPREFIX", saved.c_str(), 1);
  else
    ::unsetenv("WINEPREFIX");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out)["slots"].size(), 29u);
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.err, "Problem getting Mechwarrior Path!\n");
}

}  // namespace
}  // namespace quorlin
