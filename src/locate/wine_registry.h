#pragma once

#include <memory>
#include <optional>
#include <string>

#include "locate/registry.h"

namespace quorlin {

// Wine keeps the registry of a prefix as text, in system.reg.

// Parses the text of a Wine system.reg and returns the values of the key at
// keyPath (relative to HKEY_LOCAL_MACHINE, e.g. "Software\\Microsoft\\..."), or
// nothing when the key is not there. Key names compare case-insensitively.
std::optional<MemoryRegistryKey> ParseWineRegistryKey(const std::string& regText, const std::string& keyPath);

// The game's key in a Wine prefix's system.reg: under Software\Wow6432Node\...
// first, then Software\.... Returns nullptr when it is not there.
std::unique_ptr<RegistryKey> OpenGameKeyInWinePrefix(const std::string& winePrefix);

}  // namespace quorlin
