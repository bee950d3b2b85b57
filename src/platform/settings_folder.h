#pragma once

#include <string>

namespace quorlin {

// The folder that holds this user's settings of the program: on Linux
// $XDG_CONFIG_HOME/quorlin ($HOME/.config/quorlin when it is unset, empty or not an
// absolute path), on Windows %APPDATA%\Quorlin. Empty when neither variable is set.
std::string SettingsFolder();

}  // namespace quorlin
