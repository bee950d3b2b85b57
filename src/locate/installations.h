#pragma once

#include <string>
#include <vector>

namespace quorlin {

// What set up the Wine prefix an installation was found in; or, for a folder without
// one, that the user chose it in the window (Chosen) or that the Windows registry
// names it (Registry).
enum class Launcher { Wine, Lutris, Bottles, PlayOnLinux, Heroic, Steam, CrossOver, Chosen, Registry };

// "wine", "lutris", "bottles", "playonlinux", "heroic", "steam", "crossover", "chosen", "registry".
inline const char* LauncherName(Launcher launcher) {
  constexpr const char* kNames[] = {"wine",  "lutris",    "bottles", "playonlinux", "heroic",
                                    "steam", "crossover", "chosen",  "registry"};
  return kNames[static_cast<int>(launcher)];
}

// The game as one Wine prefix's registry knows it.
struct Installation {
  quorlin::Launcher Launcher = quorlin::Launcher::Wine;
  std::string Prefix;     // the prefix folder, native, as found (not resolved); empty without one
  std::string MechPath;   // "EXE Path" as stored: Windows form, untrimmed
  std::string CDPath;     // "CDPath" as ReadRegistryValue gives it (a dword as its decimal number)
  std::string Game;       // "EXE Path" mapped through the prefix to a native folder
  bool Textures = false;  // resource\textures.mw4 is there, tested as start-up tests it
};

// Finds the game in the Wine prefixes of the user whose home folder is `home`.
//
// With winePrefixEnv set and not empty ($WINEPREFIX), only that prefix is looked
// at (launcher "wine"). Otherwise, in this order:
//   wine         ~/.wine, ~/.local/share/wineprefixes/*
//   lutris       the game: prefix: of ~/.config/lutris/games/*.yml and
//                ~/.local/share/lutris/games/*.yml, then ~/Games/*
//   bottles      ~/.local/share/bottles/bottles/*, and the same under the Flatpak
//                home ~/.var/app/com.usebottles.bottles/data
//   playonlinux  ~/.PlayOnLinux/wineprefix/*
//   heroic       ~/Games/Heroic/Prefixes/* and ~/Games/Heroic/Prefixes/default/*
//   steam        steamapps/compatdata/*/pfx of every library steamapps/libraryfolders.vdf
//                lists and of the Steam folder itself, for ~/.steam/steam,
//                ~/.local/share/Steam and ~/.var/app/com.valvesoftware.Steam/.local/share/Steam
//   crossover    ~/.cxoffice/*
// Folders are taken in name order. A folder is a prefix when it holds a system.reg
// file, and each real folder (by its canonical path) is looked at once, under the
// first place that reaches it. An installation is reported for every prefix whose
// game key (Software\Wow6432Node\... first, then Software\...) has "EXE Path" and
// "CDPath" both non-empty, as start-up requires, whether or not textures.mw4 is
// there. Whatever cannot be read (a missing or damaged file, a folder where a file
// should be, broken YAML or VDF) is passed over; nothing is thrown.
std::vector<Installation> FindInstallations(const std::string& home, const char* winePrefixEnv);

}  // namespace quorlin
