// Start-up: the index files byte for byte against the generator's layout, the re-index
// paths with their messages, slot 9, and refusals without a usable key or archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TestGame;

const char* const kCreate = "An index of the skins must be created to be patch independent.";
const char* const kChanged = "A change has been detected in your files, the index must be recreated now.";

// The index files: each slot's directory positions, 16-bit little-endian, slot 1 first, then levels 0..5.
void ExpectIndexFiles(const TestGame& g) {
  std::vector<uint8_t> textures, props;
  const auto put = [](std::vector<uint8_t>& out, const auto& places, const std::string& name) {
    const int position = places.count(name) ? places.at(name).Position : 0;
    out.insert(out.end(), {static_cast<uint8_t>(position & 0xFF), static_cast<uint8_t>(position >> 8)});
  };
  for (int slot = 1; slot <= 37; ++slot) {
    for (int level = 0; level < 6; ++level) put(textures, g.layout.Textures, ExpectedTextureName(slot, level));
    put(props, g.layout.Props, ExpectedLobbyName(slot));
  }
  EXPECT_EQ(ReadBytes(g.Resource("textures.inx")), textures);
  EXPECT_EQ(ReadBytes(g.Resource("props.inx")), props);
}

// Where the generator put a slot's level (6: lobby preview); one 16-bit value of an index file changed.
int PositionOf(const TestGame& g, int slot, int level) {
  const auto& l = g.layout;
  return (level < 6 ? l.Textures.at(ExpectedTextureName(slot, level)) : l.Props.at(ExpectedLobbyName(slot))).Position;
}
void SetValue(const TestGame& g, const char* file, size_t at, int value) {
  const auto lo = static_cast<uint8_t>(value), hi = static_cast<uint8_t>(value >> 8);
  sample::WriteFile(g.Resource(file), test::With(ReadBytes(g.Resource(file)), {{at, lo}, {at + 1, hi}}));
}

TEST(StartUp, AFreshGameIsIndexedOnceThenStartsQuietlyWithSlot9) {
  auto options = test::SmallGame();
  options.MixedCaseNames = true;  // upper-case names with trailing spaces are found too
  TestGame g(options);
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.ui.events, (std::vector<std::string>{"show", std::string("message ") + kCreate, "status! Indexing Skins",
                                                   "busy", "idle", "status! Ready to load texture."}));
  EXPECT_TRUE(g.ui.messages[0].title == "Quorlin" && g.ui.messages[0].icon == MessageIcon::None);
  ExpectIndexFiles(g);
  EXPECT_EQ(g.state.SelectedSlot, 9);
  ASSERT_EQ(g.Start(), Outcome::Done);  // a good index, also the one rebuilt below, is taken as it is
  EXPECT_TRUE(g.ui.events.empty());
}

TEST(StartUp, RebuildsTheIndexWhenItIsMissingDamagedOrStale) {
  const auto replace = [](std::vector<uint8_t> bytes) {
    return [bytes](TestGame& g) { sample::WriteFile(g.Resource("textures.inx"), bytes); };
  };
  auto moved = test::SmallGame();
  moved.Seed = 77;
  const std::tuple<const char*, std::function<void(TestGame&)>, const char*> cases[] = {
      {"textures.inx missing", [](auto& g) { fs::remove(g.Resource("textures.inx")); }, kCreate},
      {"props.inx missing", [](auto& g) { fs::remove(g.Resource("props.inx")); }, kCreate},
      {"a patch moved entries", [&](auto& g) { g.layout = sample::WriteSampleGame(g.dir.str(), moved); }, kChanged},
      {"empty index file", replace({}), kChanged},
      {"short index file", replace({0, 0, 0, 0, 0, 0, 0}), kChanged},
      {"a foreign index file", replace(std::vector<uint8_t>(444, 0xFF)), kChanged},
      {"slot 37 at -1", [](auto& g) { SetValue(g, "props.inx", 72, -1); }, kChanged},
      {"the record past the last", [](auto& g) { SetValue(g, "props.inx", 0, g.layout.PropsRecords); }, kChanged},
      {"level 1's for level 0", [](auto& g) { SetValue(g, "textures.inx", 0, PositionOf(g, 1, 1)); }, kChanged},
      {"slot 37's level 4 for 5", [](auto& g) { SetValue(g, "textures.inx", 442, PositionOf(g, 37, 4)); }, kChanged},
      {"slot 36's preview for 37's", [](auto& g) { SetValue(g, "props.inx", 72, PositionOf(g, 36, 6)); }, kChanged},
  };
  for (const auto& [name, change, message] : cases) {
    SCOPED_TRACE(name);
    TestGame g;
    ASSERT_EQ(g.Start(), Outcome::Done);
    change(g);
    ASSERT_EQ(g.Start(), Outcome::Done);
    EXPECT_EQ(g.ui.MessageTexts(), std::vector<std::string>{message});
    ExpectIndexFiles(g);
  }
}

TEST(StartUp, AMissingEntryIsReportedAtEveryBuildAndKeepsTheIndexStale) {
  auto options = test::SmallGame();
  options.DropNames = {"textures\\skin_3.tga"};
  TestGame g(options);
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.ui.MessageTexts(),
            (std::vector<std::string>{kCreate, "error getting skins", kChanged, "error getting skins"}));
  EXPECT_EQ(g.state.Index.TexturesSkinIndex[37][3], 0);
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.ui.MessageTexts(), (std::vector<std::string>{kChanged, "error getting skins"}));
}

TEST(StartUp, WithoutAUsableKeyOrArchiveTheProgramEndsBeforeWritingAnything) {
  TestGame g;
  const std::string game = g.dir.str(), problem = "Problem getting Mechwarrior Path!";
  const auto Text = [](const std::string& s) { return std::vector<uint8_t>(s.c_str(), s.c_str() + s.size() + 1); };
  using Values = std::vector<std::tuple<const char*, uint32_t, std::vector<uint8_t>>>;
  const std::pair<std::optional<Values>, std::string> cases[] = {
      {std::nullopt, problem},  // no key at all
      {Values{{"EXE Path", kRegSz, Text(game)}}, problem},
      {Values{{"EXE Path", kRegBinary, {'C', ':', 0}}, {"CDPath", kRegSz, Text("D:")}}, problem},
      // A number counts as a CD path; the folder has no textures archive.
      {Values{{"EXE Path", kRegSz, Text(game + "/nowhere")}, {"CDPath", kRegDword, {0, 0, 0, 0}}},
       "Mechwarrior path is invalid!"},
  };
  for (const auto& [values, message] : cases) {
    g.ui = test::RecordingFrontEnd{};
    StartupOptions options;
    options.OpenKey = [&values = values]() -> std::unique_ptr<RegistryKey> {  // clang captures a binding only so
      auto key = values ? std::make_unique<MemoryRegistryKey>() : nullptr;
      for (const auto& [name, type, bytes] : values.value_or(Values{})) key->Set(name, type, bytes);
      return key;
    };
    EXPECT_EQ(StartUp(g.state, g.ui, options).Outcome, Outcome::EndProgram);
    EXPECT_EQ(g.ui.events, (std::vector<std::string>{"message " + message}));
    EXPECT_EQ(g.ui.messages.at(0).icon, MessageIcon::Critical);
  }
  EXPECT_FALSE(fs::exists(g.Resource("textures.inx")));
}

}  // namespace
}  // namespace quorlin
