#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/front_end.h"

namespace quorlin {

// What the program remembers for the user between runs, in one small JSON file:
//   {"game_folder": "/home/me/games/mw4", "picture_folder": "/home/me/skins",
//    "smooth_levels": true}
// Every key may be missing; keys of other names are kept as they are when the file
// is written again.
struct Settings {
  std::optional<std::string> GameFolder;     // the game folder chosen in the window (native)
  std::optional<std::string> PictureFolder;  // the folder of the last picture opened (native)
  bool SmoothLevels = false;                 // Edit > Smooth Texture Levels
  bool operator==(const Settings&) const = default;
};

// Reads the file's text: nothing when it is not a JSON object or a known key has a
// value of the wrong kind.
std::optional<Settings> ParseSettings(std::string_view text);

// The file's text for these settings, keeping whatever else `previous` (the file as it
// was, when it was a JSON object) held.
std::string EncodeSettings(const Settings& settings, std::string_view previous = {});

// The settings file: settings.json in the user's settings folder (see
// platform/settings_folder.h). A file that is damaged, cannot be read or cannot be
// written never stops the program: it is passed over with one notice naming it, once
// per run, and the settings then last for this run.
class SettingsFile {
 public:
  // path: the file; empty for the user's own.
  explicit SettingsFile(std::string path = {});

  // The remembered settings (none when the file is missing).
  Settings Load(FrontEnd& ui);
  // Writes the settings whole (temporary file, flushed, renamed).
  void Save(const Settings& settings, FrontEnd& ui);
  const std::string& Path() const { return path_; }

 private:
  void Notice(FrontEnd& ui, const std::string& text);
  std::string path_;
  bool noticed_ = false;
};

}  // namespace quorlin
