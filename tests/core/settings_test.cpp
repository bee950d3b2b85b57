// The settings file: what it remembers, what it keeps of keys it does not know, and
// that a damaged, unreadable or unwritable one costs one notice and nothing else.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
void WriteText(const std::string& path, const std::string& t) { sample::WriteFile(path, {t.begin(), t.end()}); }

TEST(Settings, TheFileIsReadAsTheProgramWroteItAndWhatElseItHoldsIsKept) {
  test::TempDir dir;
  const std::string path = dir / "quorlin/settings.json";
  test::RecordingFrontEnd ui;
  SettingsFile file(path);
  EXPECT_EQ(file.Load(ui), Settings{});  // none yet: no news
  sample::WriteFile(dir / "other.json", {});
  const Settings settings{"/games/mw4 \xC3\xA9", "/art", true};
  file.Save(settings, ui);
  EXPECT_EQ(nlohmann::json::parse(Text(ReadBytes(path))),
            (nlohmann::json{{"game_folder", "/games/mw4 \xC3\xA9"}, {"picture_folder", "/art"}, {"smooth_levels", true}}));
  EXPECT_EQ(file.Load(ui), settings);
  WriteText(path, R"({"w":[1],"smooth_levels":true})");
  file.Save({std::nullopt, "/p", false}, ui);  // a key of another program's stays
  EXPECT_EQ(nlohmann::json::parse(Text(ReadBytes(path))),
            (nlohmann::json{{"w", {1}}, {"picture_folder", "/p"}, {"smooth_levels", false}}));
  EXPECT_TRUE(ui.events.empty()) << ui.events.front();
  EXPECT_EQ(test::Listing(dir / "quorlin"), std::set<std::string>{"settings.json"});
}

TEST(Settings, ADamagedUnreadableOrUnwritableFileIsPassedOverWithOneNotice) {
  const std::string damaged = "The settings file @ could not be read (it is damaged); it was passed over.";
  // The file's text (empty: a folder in its place), and the notice ("@" stands for the file's path).
  const std::pair<std::string, std::string> cases[] = {
      {"{x", damaged},
      {"[1]", damaged},
      {R"({"game_folder": 7})", damaged},
      {"", "The settings file @ could not be read (Cannot "},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    test::TempDir dir;
    const std::string path = dir / "settings.json";
    text.empty() ? (void)fs::create_directories(path) : WriteText(path, text);
    test::RecordingFrontEnd ui;
    SettingsFile file(path);
    EXPECT_EQ(file.Load(ui), Settings{});
    file.Load(ui);
    file.Save({"/g", std::nullopt, true}, ui);
    std::string notice = want;
    notice.replace(notice.find('@'), 1, path);
    ASSERT_EQ(ui.statuses.size(), 1u) << "one notice, however often the file is met";
    EXPECT_EQ(ui.statuses[0].substr(0, notice.size()), notice);
    // A damaged file is written anew and read back; a folder in the way stays.
    EXPECT_EQ(fs::is_regular_file(path), !text.empty());
    if (!text.empty()) {
      EXPECT_EQ(file.Load(ui), (Settings{"/g", std::nullopt, true}));
    }
  }
}

// A folder whose name is not UTF-8 cannot be written as JSON text: one notice, and the
// file stays as it was.
TEST(Settings, AFolderNameJsonCannotHoldIsNotSavedAndTheFileIsKept) {
  test::TempDir dir;
  const std::string path = dir / "settings.json";
  WriteText(path, R"({"smooth_levels":true})");
  test::RecordingFrontEnd ui;
  SettingsFile(path).Save({"/games/\xFF", std::nullopt, false}, ui);
  ASSERT_EQ(ui.statuses.size(), 1u);
  const std::string notice = "The settings could not be saved in " + path + " ([json.exception.type_error.316]";
  EXPECT_EQ(ui.statuses[0].substr(0, notice.size()), notice);
  EXPECT_EQ(Text(ReadBytes(path)), R"({"smooth_levels":true})");
}

}  // namespace
}  // namespace quorlin
