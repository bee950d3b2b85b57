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

  const auto texturesBefore = ReadBytes(g.dir / "resource/textures.mw4");
  const CliRun insert = Run({"insert", "--slot", "12", Picture()});
  ASSERT_EQ(insert.code, 0) << insert.err;
  EXPECT_EQ(insert.out,
            "Texture Loaded ready to insert\nBacking up resource\\textures.mw4\n"
            "Quick Patching resource\\textures.mw4\nBacking up resource\\props.mw4\n"
            "Quick Patching resource\\props.mw4\nDone.\n");
  EXPECT_EQ(insert.err, "");
  auto textures = texturesBefore;
  auto props = ReadBytes(g.Props() + "b");
  g.Inserted(textures, props, 12, sample::SamplePicture());
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
  EXPECT_TRUE(SameBytes(ReadBytes(g.Props()), props));
  ASSERT_EQ(Run({"insert", "--slot", "9", "--filter", "box", Picture()}).code, 0);
  g.Inserted(textures, props, 9, sample::SamplePicture(), true, true);
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));

  const CliRun extract = Run({"extract", "--slot", "12", "--out", g.dir / "out"});
  ASSERT_EQ(extract.code, 0) << extract.err;
  for (int level = 0; level < 6; ++level) {
    EXPECT_EQ(ReadBytes(g.dir / ("out/skin12_" + std::to_string(level) + ".tga")),
              test::At(textures, g.layout.textures.at(ExpectedTextureName(12, level))));
  }
  EXPECT_EQ(ReadBytes(g.dir / "out/skin12_lobby.tga"), test::At(props, g.layout.props.at(ExpectedLobbyName(12))));
  ASSERT_EQ(Run({"extract", "--slot", "12", "--out", g.dir / "png", "--png"}).code, 0);
  ImageBuffer level0;
  std::string reason;
  ASSERT_TRUE(DecodePicture(g.dir / "png/skin12_0.png", level0, reason)) << reason;
  EXPECT_EQ(level0.Pixels, sample::SamplePicture().Pixels);

  const CliRun text = Run({"status"});
  EXPECT_NE(text.out.find("\n12    prepared      prepared      yes\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\n37    prepared      not prepared  no\n"), std::string::npos) << text.out;
  fs::remove(g.Props() + "b");  // with one backup left the answer is unknown
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
}

TEST_F(CliTest, RefusalsExitWithOneAndRestoreAsksOnATerminal) {
  sample::WriteFile(g.dir / "skin.txt", {1, 2, 3});
  const std::string ask = "Continue?: Restoring may require you to rerun the Zandel!\nDo you wish to continue?";
  const struct {
    std::vector<std::string> args;
    std::string input, out, err;  // input: the terminal's answer
  } cases[] = {
      {{"restore", "--yes", "--slot", "12"}, "", "", ask + " yes\nBackup texture file doesn't exist!\n"},
      {{"insert", "--slot", "12", g.dir / "skin.txt"}, "", "", "Unsupported format!\n"},
      {{"insert", "--slot", "10", g.dir / "sample-skin.png"},
       "",
       "Texture Loaded ready to insert\nBacking up resource\\textures.mw4\n",
       "textures.mw4 not patched!: The Zandel is required to use the Quorlin tool!\n"},
      {{"insert", "--slot", "37", g.dir / "sample-skin.tga"},
       "",
       "Texture Loaded ready to insert\nQuick Patching resource\\textures.mw4\nBacking up resource\\props.mw4\n",
       "props.mw4 not patched!: The Zandel is required to use the Quorlin tool!\n"},
      {{"restore"}, "n\n", "", ask + " [y/N] "},
  };
  ASSERT_EQ(Run({"index"}).code, 0);
  for (const auto& c : cases) {
    const auto textures = ReadBytes(g.Textures());
    const CliRun run = Run(c.args, c.input, !c.input.empty());
    EXPECT_EQ(run.code, 1) << c.args[0];
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    if (c.args[0] == "restore") {
      EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures));
    }
  }
  const CliRun yes = Run({"restore"}, "y\n", true);
  EXPECT_EQ(yes.code, 0) << yes.err;
  EXPECT_EQ(yes.out,
            "Restoring resource\\textures.mw4 from backup\nRestoring resource\\props.mw4 from backup\nDone.\n");
  EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), ReadBytes(g.Textures() + "b")));
  const CliRun index = Run({"index", "--rebuild"});
  EXPECT_EQ(index.out.rfind("Indexing Skins\nReady to load texture.\nslot  textures levels 0..5", 0), 0u);
  const std::string row = "\n1     " + std::to_string(g.layout.textures.at(ExpectedTextureName(1, 0)).position) + " ";
  EXPECT_NE(index.out.find(row), std::string::npos) << index.out;
}

}  // namespace
}  // namespace quorlin
