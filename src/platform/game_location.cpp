#include "base/strings.h"
#include "platform/game_location.h"

#include "platform/paths.h"

namespace quorlin {

void GameLocation::Set(const std::string& mechPath) {
  MechPath = mechPath;
  const std::string trimmed = TrimSpaces(mechPath);
  MechPathSep = (!trimmed.empty() && trimmed.back() == '\\') ? std::string() : std::string(1, '\\');
}

std::string GameLocation::NativeGamePath(const std::string& relative) const {
  return MapToNative(GamePath(relative), WinePrefix.empty() ? DefaultWinePrefix() : WinePrefix);
}

std::string GameLocation::NativeWorkFolder() const {
  const std::string textures = NativeGamePath(kTexturesArchive);
  return textures.substr(0, textures.find_last_of("/\\"));
}

std::string GameLocation::NativeWorkPath(const std::string& name) const {
#ifdef _WIN32
  return NativeWorkFolder() + "\\" + name;
#else
  return NativeWorkFolder() + "/" + name;
#endif
}

bool GameLocation::Exists(const std::string& relative) const {
  return FileExists(GamePath(relative), 0, WinePrefix.empty() ? DefaultWinePrefix() : WinePrefix);
}

}  // namespace quorlin
