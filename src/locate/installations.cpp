#include "locate/installations.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <system_error>

#include "platform/game_location.h"
#include "platform/paths.h"
#include "locate/registry.h"
#include "locate/wine_registry.h"
#include "locate/vdf.h"

namespace fs = std::filesystem;

namespace quorlin {


namespace {

// The entries of dir that are folders (when folders is true) or files ending in
// suffix, in name order. None when dir cannot be listed.
std::vector<fs::path> Listing(const fs::path& dir, bool folders, const std::string& suffix = {}) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (folders ? it->is_directory(typeError) : it->is_regular_file(typeError)) {
      const std::string name = it->path().filename().string();
      if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        found.push_back(it->path());
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<fs::path> Subfolders(const fs::path& dir) { return Listing(dir, true); }

// A launcher's own settings file (YAML or VDF, a few kilobytes); false when it is
// not an ordinary file (a FIFO would block the read), cannot be read, or is too
// large to be one.
bool ReadSettingsFile(const fs::path& path, std::string& text) {
  constexpr uintmax_t kLargest = uintmax_t{1} << 20;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  const uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kLargest) return false;
  std::ifstream file(path, std::ios::binary);
  text.assign(static_cast<size_t>(size), '\0');
  file.read(text.data(), static_cast<std::streamsize>(size));
  text.resize(static_cast<size_t>(file.gcount()));
  return !file.bad();
}

bool HoldsRegistry(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / "system.reg", ec);
}

class Search {
 public:
  explicit Search(const std::string& home) : home_(home) {}

  // Looks at one folder: reported when it is a prefix not seen before whose
  // registry holds what start-up needs.
  void Consider(Launcher launcher, const fs::path& prefix) {
    try {
      if (!HoldsRegistry(prefix)) return;
      std::error_code ec;
      const fs::path real = fs::canonical(prefix, ec);
      if (ec || !seen_.insert(real.string()).second) return;
      const auto key = OpenGameKeyInWinePrefix(prefix.string());
      if (!key) return;
      const GameKeyValues values = ReadGameKey(key.get());
      if (values.MechPath.empty() || values.CDPath.empty()) return;
      Installation found;
      found.Launcher = launcher;
      found.Prefix = prefix.string();
      found.MechPath = values.MechPath;
      found.CDPath = values.CDPath;
      GameLocation location;
      location.Set(found.MechPath);
      found.Game = MapToNative(found.MechPath, found.Prefix);
      found.Textures = NativeFileExists(MapToNative(location.GamePath(kTexturesArchive), found.Prefix));
      installations_.push_back(std::move(found));
    } catch (const std::exception&) {
      // An unreadable prefix is passed over like one without the game.
    }
  }

  // Each folder of dir as a prefix.
  void ConsiderEach(Launcher launcher, const fs::path& dir) {
    for (const fs::path& folder : Subfolders(dir)) Consider(launcher, folder);
  }

  void Wine() {
    Consider(Launcher::Wine, home_ / ".wine");
    ConsiderEach(Launcher::Wine, home_ / ".local/share/wineprefixes");
  }

  // Lutris keeps each game's prefix in its game file (game: prefix:), and
  // installs into ~/Games/<game> by default.
  void Lutris() {
    for (const char* games : {".config/lutris/games", ".local/share/lutris/games"}) {
      for (const fs::path& file : Listing(home_ / games, false, ".yml")) {
        if (const auto prefix = LutrisPrefix(file)) Consider(Launcher::Lutris, *prefix);
      }
    }
    ConsiderEach(Launcher::Lutris, home_ / "Games");
  }

  void Bottles() {
    ConsiderEach(Launcher::Bottles, home_ / ".local/share/bottles/bottles");
    ConsiderEach(Launcher::Bottles, home_ / ".var/app/com.usebottles.bottles/data/bottles/bottles");
  }

  void PlayOnLinux() { ConsiderEach(Launcher::PlayOnLinux, home_ / ".PlayOnLinux/wineprefix"); }

  // Heroic's prefixes sit in Prefixes/<game>, or in Prefixes/default/<game> in
  // the versions that added that level.
  void Heroic() {
    for (const fs::path& folder : Subfolders(home_ / "Games/Heroic/Prefixes")) {
      if (HoldsRegistry(folder)) {
        Consider(Launcher::Heroic, folder);
      } else {
        ConsiderEach(Launcher::Heroic, folder);
      }
    }
  }

  // Proton keeps one prefix per game in compatdata/<app id>/pfx of the library
  // the game is installed in.
  void Steam() {
    for (const char* root :
         {".steam/steam", ".local/share/Steam", ".var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
      std::vector<fs::path> libraries{home_ / root};
      std::string text;
      if (ReadSettingsFile(home_ / root / "steamapps/libraryfolders.vdf", text)) {
        for (const std::string& library : SteamLibraryFolders(text)) {
          if (fs::path(library).is_absolute()) libraries.emplace_back(library);
        }
      }
      for (const fs::path& library : libraries) {
        for (const fs::path& game : Subfolders(library / "steamapps/compatdata"))
          Consider(Launcher::Steam, game / "pfx");
      }
    }
  }

  void CrossOver() { ConsiderEach(Launcher::CrossOver, home_ / ".cxoffice"); }

  std::vector<Installation> Take() { return std::move(installations_); }

 private:
  // The prefix a Lutris game file names, with a leading "~" standing for home.
  std::optional<fs::path> LutrisPrefix(const fs::path& file) {
    std::string text;
    if (!ReadSettingsFile(file, text)) return std::nullopt;
    std::string prefix;
    try {
      const YAML::Node root = YAML::Load(text);
      if (!root.IsMap()) return std::nullopt;
      const YAML::Node game = root["game"];
      if (!game.IsMap()) return std::nullopt;
      const YAML::Node value = game["prefix"];
      if (!value.IsScalar()) return std::nullopt;
      prefix = value.as<std::string>();
    } catch (const std::exception&) {
      return std::nullopt;  // not YAML, or not a game file
    }
    if (prefix == "~") return home_;
    if (prefix.rfind("~/", 0) == 0) return home_ / prefix.substr(2);
    if (!fs::path(prefix).is_absolute()) return std::nullopt;
    return fs::path(prefix);
  }

  fs::path home_;
  std::set<std::string> seen_;  // canonical paths of the prefixes looked at
  std::vector<Installation> installations_;
};

}  // namespace

std::vector<Installation> FindInstallations(const std::string& home, const char* winePrefixEnv) {
  Search search(home);
  if (winePrefixEnv && *winePrefixEnv) {
    // As for Wine itself: $WINEPREFIX names the one prefix in use.
    search.Consider(Launcher::Wine, winePrefixEnv);
    return search.Take();
  }
  search.Wine();
  search.Lutris();
  search.Bottles();
  search.PlayOnLinux();
  search.Heroic();
  search.Steam();
  search.CrossOver();
  return search.Take();
}

}  // namespace quorlin
