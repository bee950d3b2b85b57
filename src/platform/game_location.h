#pragma once

#include <string>

namespace quorlin {

// The game's files, relative to its folder.
inline constexpr const char* kTexturesArchive = "resource\\textures.mw4";
inline constexpr const char* kPropsArchive = "resource\\props.mw4";
inline constexpr const char* kTexturesIndexFile = "resource\\textures.inx";
inline constexpr const char* kPropsIndexFile = "resource\\props.inx";

// Where the game is: MechPath as read (not trimmed) and the separator that goes
// between it and a relative name: "\" unless the trimmed MechPath ends in one.
struct GameLocation {
  std::string MechPath;
  std::string MechPathSep;
  // Elsewhere than on Windows: the Wine prefix whose drives the paths go through
  // (empty: $WINEPREFIX, else ~/.wine).
  std::string WinePrefix;

  // Sets MechPath and computes MechPathSep from it.
  void Set(const std::string& mechPath);
  // MechPath + MechPathSep + relative name, as Windows-form text.
  std::string GamePath(const std::string& relative) const { return MechPath + MechPathSep + relative; }
  // The same, mapped to a native path (elsewhere than on Windows through the drive
  // links of the Wine prefix).
  std::string NativeGamePath(const std::string& relative) const;
  // FileExists(GamePath(relative), 0).
  bool Exists(const std::string& relative) const;
  // The native folder of the textures archive as it is used (its VirtualStore
  // copy's folder, where Windows keeps one): where Quorlin keeps its own files
  // for the game, the journal and the lock. WorkPath names a file there.
  std::string NativeWorkFolder() const;
  std::string NativeWorkPath(const std::string& name) const;
};

}  // namespace quorlin
