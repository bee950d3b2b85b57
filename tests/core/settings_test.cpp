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
  sample::WriteFile(path, {'{', '"', 'w', '"', ':', '[', '1', ']', ',', '"', 's', 'm', 'o', 'o', 't', 'h', '_', 'l',
                           'e', 'v', 'e', 'l', 's', '"', ':', 't', 'r', 'u', 'e', '}'});
  file.Save({std::nullopt, "/p", false}, ui);  // a key of another program's stays
  EXPECT_EQ(nlohmann::json::parse(Text(ReadBytes(path))),
            (nlohmann::json{{"w", {1}}, {"picture_folder", "/p"}, {"smooth_levels", false}}));
  EXPECT_TRUE(ui.events.empty()) << ui.events.front();
  EXPECT_EQ(test::Listing(dir / "quorlin"), std::set<std::string>{"settings.json"});
}

TEST(Settings, ADamagedUnreadableOrUnwritableFileIsPassedOverWithOneNotice) {
  const struct {
    const char* name;
    std::function<void(const std::string& path)> spoil;
    bool loads;  // what Load still reads (defaults when not)
    std::string notice;  // "@" stands for the file's path
  } cases[] = {
      {"not JSON", [](const std::string& p) { sample::WriteFile(p, {'{', 'x'}); }, false,
       "The settings file @ could not be read (it is damaged); it was passed over."},
      {"a list, not an object", [](const std::string& p) { sample::WriteFile(p, {'[', '1', ']'}); }, false,
       "The settings file @ could not be read (it is damaged); it was passed over."},
      {"a folder name that is a number",
       [](const std::string& p) {
         const std::string t = R"({"game_folder": 7})";
         sample::WriteFile(p, std::vector<uint8_t>(t.begin(), t.end()));
       },
       false, "The settings file @ could not be read (it is damaged); it was passed over."},
      {"a folder in its place", [](const std::string& p) { fs::create_directories(p); }, true,
       "The settings file @ could not be read (Cannot "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string path = dir / "settings.json";
    c.spoil(path);
    test::RecordingFrontEnd ui;
    SettingsFile file(path);
    EXPECT_EQ(file.Load(ui), Settings{});
    file.Load(ui);
    file.Save({"/g", std::nullopt, true}, ui);
    std::string notice = c.notice;
    notice.replace(notice.find('@'), 1, path);
    ASSERT_EQ(ui.statuses.size(), 1u) << "one notice, however often the file is met";
    EXPECT_EQ(ui.statuses[0].substr(0, notice.size()), notice);
    // A damaged file is written anew; a folder in the way stays (and the setting lasts the run).
    EXPECT_EQ(fs::is_regular_file(path), !c.loads);
    if (!c.loads) {
      EXPECT_EQ(file.Load(ui), (Settings{"/g", std::nullopt, true}));
    }
  }
}

}  // namespace
}  // namespace quorlin
