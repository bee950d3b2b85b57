#include "platform/settings_folder.h"

#include <cstdlib>

namespace quorlin {

std::string SettingsFolder() {
#ifdef _WIN32
  const char* appData = std::getenv("APPDATA");
  return appData && *appData ? std::string(appData) + "\\Quorlin" : std::string();
#else
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    return std::string(config) + "/quorlin";
  }
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.config/quorlin" : std::string();
#endif
}

}  // namespace quorlin
