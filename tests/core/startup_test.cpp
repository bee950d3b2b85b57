// Start-up: the index files byte for byte against the generator's layout, the re-index
// paths with their messages, slot 9, and refusals without a usable key or archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TestGame;

const char* const kCreate = "An index of the skins must be created to be patch independent.";
const char* const kChanged = "A change has been detected in your files, the index must be recreated now.";

// textures.inx and props.inx must hold each slot's directory positions, 16-bit
// little-endian, slot 1 first, levels 0..5 within a slot.
void ExpectIndexFiles(const TestGame& g) {
  std::vector<uint8_t> textures, props;
  const auto put = [](std::vector<uint8_t>& out, const std::map<std::string, sample::Placed>& places,
                      const std::string& name) {
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

TEST(StartUp, AFreshGameIsIndexedOnceThenStartsQuietlyWithSlot9) {
  auto options = test::SmallGame();
  options.MixedCaseNames = true;  // upper-case names with trailing spaces are found too
  TestGame g(options);
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_EQ(g.ui.events, (std::vector<std::string>{"show",
                                                      std::string("message ") + kCreate, "status! Indexing Skins",
                                                      "busy", "idle", "status! Ready to load texture."}));
  EXPECT_TRUE(g.ui.messages[0].title == "Quorlin" && g.ui.messages[0].icon == MessageIcon::None);
  ExpectIndexFiles(g);
  EXPECT_EQ(g.state.SelectedSlot, 9);
  ASSERT_EQ(g.Start(), Outcome::Done);
  EXPECT_TRUE(g.ui.events.empty());
  ExpectIndexFiles(g);
}

TEST(StartUp, RebuildsTheIndexWhenItIsMissingDamagedOrStale) {
  const auto replace = [](std::vector<uint8_t> bytes) {
    return [bytes](TestGame& g) { sample::WriteFile(g.Resource("textures.inx"), bytes); };
  };
  // Sets one 16-bit value of an index file to a position of the generated layout.
  const auto setValue = [](const char* file, size_t at, std::function<int(const sample::SampleGame&)> value) {
    return [=](TestGame& g) {
      const auto v = static_cast<uint16_t>(value(g.layout));
      sample::WriteFile(g.Resource(file),
                        test::With(ReadBytes(g.Resource(file)),
                                   {{at, static_cast<uint8_t>(v)}, {at + 1, static_cast<uint8_t>(v >> 8)}}));
    };
  };
  const auto level = [](int slot, int n) {
    return [=](const sample::SampleGame& l) { return l.Textures.at(ExpectedTextureName(slot, n)).Position; };
  };
  const struct {
    const char* name;
    std::function<void(TestGame&)> change;
    const char* message;
  } cases[] = {
      {"textures.inx missing", [](TestGame& g) { fs::remove(g.Resource("textures.inx")); }, kCreate},
      {"props.inx missing", [](TestGame& g) { fs::remove(g.Resource("props.inx")); }, kCreate},
      {"entries moved by a game patch",
       [](TestGame& g) {
         auto options = test::SmallGame();
         options.Seed = 77;
         g.layout = sample::WriteSampleGame(g.dir.str(), options);
       },
       kChanged},
      {"empty index file", replace({}), kChanged},
      {"short index file", replace({0, 0, 0, 0, 0, 0, 0}), kChanged},
      {"a foreign index file", replace(std::vector<uint8_t>(444, 0xFF)), kChanged},
      {"slot 37 at -1", setValue("props.inx", 72, [](auto&) { return -1; }), kChanged},
      {"a position naming the empty record after the last",
       setValue("props.inx", 0, [](auto& l) { return l.PropsRecords; }), kChanged},
      {"level 1's position for level 0", setValue("textures.inx", 0, level(1, 1)), kChanged},
      {"slot 37's level 4 position for its level 5", setValue("textures.inx", 442, level(37, 4)), kChanged},
      {"slot 36's preview position for slot 37's",
       setValue("props.inx", 72, [](auto& l) { return l.Props.at(ExpectedLobbyName(36)).Position; }), kChanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestGame g;
    ASSERT_EQ(g.Start(), Outcome::Done);
    c.change(g);
    ASSERT_EQ(g.Start(), Outcome::Done);
    EXPECT_EQ(g.ui.MessageTexts(), std::vector<std::string>{c.message});
    ExpectIndexFiles(g);
    ASSERT_EQ(g.Start(), Outcome::Done);
    EXPECT_TRUE(g.ui.messages.empty());
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
  const struct {
    bool key;  // false: no key at all
    std::vector<std::tuple<const char*, uint32_t, std::vector<uint8_t>>> values;
    std::string message;
  } cases[] = {
      {false, {}, problem},
      {true, {{"EXE Path", kRegSz, Text(game)}}, problem},
      {true, {{"EXE Path", kRegBinary, {'C', ':', 0}}, {"CDPath", kRegSz, Text("D:")}}, problem},
      // A number counts as a CD path; the folder has no textures archive.
      {true,
       {{"EXE Path", kRegSz, Text(game + "/nowhere")}, {"CDPath", kRegDword, {0, 0, 0, 0}}},
       "Mechwarrior path is invalid!"},
  };
  for (const auto& c : cases) {
    g.ui = test::RecordingFrontEnd{};
    StartupOptions options;
    options.OpenKey = [&]() -> std::unique_ptr<RegistryKey> {
      if (!c.key) return nullptr;
      auto key = std::make_unique<MemoryRegistryKey>();
      for (const auto& [name, type, bytes] : c.values) key->Set(name, type, bytes);
      return key;
    };
    EXPECT_EQ(StartUp(g.state, g.ui, options).Outcome, Outcome::EndProgram);
    EXPECT_EQ(g.ui.events, (std::vector<std::string>{"message " + c.message}));
    EXPECT_EQ(g.ui.messages.at(0).icon, MessageIcon::Critical);
  }
  EXPECT_FALSE(fs::exists(g.Resource("textures.inx")));
}

}  // namespace
}  // namespace quorlin
