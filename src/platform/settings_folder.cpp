#include "platform/settings_folder.h"

#include <cstdlib>

#include "platform/paths.h"

namespace quorlin {

std::string SettingsFolder() {
#ifdef _WIN32
  const char* appData = std::getenv("APPDATA");
  return appData && *appData ? std::string(appData) + "\\Quorlin" : std::string();
#else
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    return std::string(config) + "/quorlin";
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.config/quorlin";
#endif
}

}  // namespace quorlin
