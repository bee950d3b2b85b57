#include "app/settings.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/error.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "platform/settings_folder.h"
#include "base/texts.h"

namespace quorlin {

namespace {

using Json = nlohmann::json;

constexpr const char* kGameFolder = "game_folder";
constexpr const char* kPictureFolder = "picture_folder";
constexpr const char* kSmoothLevels = "smooth_levels";

std::optional<Json> ParseObject(std::string_view text) {
  Json json = Json::parse(text.begin(), text.end(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  return json;
}

// A folder as remembered: a non-empty string, or nothing (null or missing).
bool ReadFolder(const Json& json, const char* key, std::optional<std::string>& out) {
  const auto it = json.find(key);
  if (it == json.end() || it->is_null()) return true;
  if (!it->is_string() || it->get_ref<const std::string&>().empty()) return false;
  out = it->get<std::string>();
  return true;
}

}  // namespace

std::optional<Settings> ParseSettings(std::string_view text) {
  const auto json = ParseObject(text);
  if (!json) return std::nullopt;
  Settings settings;
  if (!ReadFolder(*json, kGameFolder, settings.GameFolder) ||
      !ReadFolder(*json, kPictureFolder, settings.PictureFolder)) {
    return std::nullopt;
  }
  if (const auto it = json->find(kSmoothLevels); it != json->end()) {
    if (!it->is_boolean()) return std::nullopt;
    settings.SmoothLevels = it->get<bool>();
  }
  return settings;
}

std::string EncodeSettings(const Settings& settings, std::string_view previous) {
  Json json = ParseObject(previous).value_or(Json::object());
  const auto put = [&json](const char* key, const std::optional<std::string>& folder) {
    if (folder) {
      json[key] = *folder;
    } else {
      json.erase(key);
    }
  };
  put(kGameFolder, settings.GameFolder);
  put(kPictureFolder, settings.PictureFolder);
  json[kSmoothLevels] = settings.SmoothLevels;
  // Strict: a folder name that is not UTF-8 cannot be written as JSON text.
  return json.dump(2) + "\n";
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {
  if (path_.empty()) {
    const std::string folder = SettingsFolder();
    if (!folder.empty()) path_ = FromFsPath(FsPath(folder) / "settings.json");
  }
}

void SettingsFile::Notice(FrontEnd& ui, const std::string& text) {
  if (noticed_) return;
  noticed_ = true;
  ui.Notice(text);
}

Settings SettingsFile::Load(FrontEnd& ui) {
  if (path_.empty()) return {};
  try {
    const auto bytes = ReadWholeFile(path_);
    if (auto settings = ParseSettings(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
      return *settings;
    }
    Notice(ui, text::SettingsPassedOver(path_, "it is damaged"));
  } catch (const QuorlinError& e) {
    // No settings file yet is no news.
    if (e.Number() != kErrFileNotFound && e.Number() != kErrPathNotFound) {
      Notice(ui, text::SettingsPassedOver(path_, e.what()));
    }
  }
  return {};
}

void SettingsFile::Save(const Settings& settings, FrontEnd& ui) {
  if (path_.empty()) return;
  try {
    std::string previous;
    try {
      const auto bytes = ReadWholeFile(path_);
      previous.assign(bytes.begin(), bytes.end());
    } catch (const QuorlinError&) {
      // none yet, or unreadable: written anew
    }
    const std::string text = EncodeSettings(settings, previous);
    std::error_code ec;
    std::filesystem::create_directories(FsPath(path_).parent_path(), ec);
    WriteWholeFile(path_, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  } catch (const std::exception& e) {  // a file that cannot be written, or a name that is not UTF-8
    Notice(ui, text::SettingsNotSaved(path_, e.what()));
  }
}

}  // namespace quorlin
