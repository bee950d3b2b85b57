#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/program_state.h"
#include "app/settings.h"
#include "insert/insert_skin.h"
#include "locate/installations.h"
#include "locate/registry.h"
#include "base/front_end.h"

namespace quorlin {

class FolderLock;

// "Quorlin [1.1.18]".
std::string WindowTitle();

struct StartupOptions {
  // A native game folder given on the command line; without it the game's registry
  // key is read.
  std::optional<std::string> GameDir;
  // Elsewhere than on Windows: the one Wine prefix to look in (--prefix), instead of
  // $WINEPREFIX or, without it, the prefixes of every launcher.
  std::optional<std::string> WinePrefix;
  // The game folder the user chose in the window (remembered in the settings): used
  // when neither of the two above is given, for as long as it holds both archives;
  // otherwise the game is looked for as usual.
  std::optional<std::string> RememberedGame;
  // Elsewhere than on Windows: the home folder the launchers' prefixes are looked
  // for in, and $WINEPREFIX (empty: unset), used when WinePrefix is not given.
  std::string HomeFolder, EnvironmentPrefix;
  // Chooses among several installations found (each with its textures archive);
  // nothing means none, which ends the program. Without it, none is chosen.
  std::function<std::optional<size_t>(const std::vector<Installation>& found)> Choose;
  // Opens the game's key instead of looking for it; tests inject their own.
  std::function<std::unique_ptr<RegistryKey>()> OpenKey;
};

// The options both programs start up with: given holds what their command lines
// named (--game, --prefix) and any hooks; the environment ($HOME, $WINEPREFIX) and
// the folder remembered in the settings are added here, and only here.
StartupOptions ResolveStartupOptions(StartupOptions given, const Settings& settings);

// How start-up ended: EndProgram when the game cannot be found or a file fails;
// gameNotFound when that was because no game was found ("Problem getting Mechwarrior
// Path!") or the folder found lacks resource\textures.mw4 ("Mechwarrior path is
// invalid!"), which the window answers by offering to choose the folder.
struct StartupResult {
  quorlin::Outcome Outcome = quorlin::Outcome::EndProgram;
  bool GameNotFound = false;
};

// Start-up as the window's load handler runs it: game location, texture archive
// present, skin index loaded or built, checked and rebuilt when stale, then slot 9
// selected. (The window sets its title before, and ticks the slot's item after.)
StartupResult StartUp(ProgramState& state, FrontEnd& ui, const StartupOptions& options = {});

// Which of its two archives a folder offered as the game's lacks, looked for as the
// game's own paths are (letter case as Wine matches it, hidden files missing).
struct MissingArchives {
  bool Textures = false, Props = false;
  bool Any() const { return Textures || Props; }
};
MissingArchives ArchivesMissingIn(const std::string& nativeFolder);

// Every installation of the game start-up could use: the folder chosen in the window
// (launcher "chosen") first, then on Windows the registry's ("registry"), elsewhere
// those found in the Wine prefixes (only options.WinePrefix's when given).
std::vector<Installation> ListInstallations(const StartupOptions& options);

// The re-index sequence with its message.
void ReindexSkins(ProgramState& state, FrontEnd& ui, const std::string& message);

// The skin index and its files, over the game folder.
void BuildSkinIndex(ProgramState& state, FrontEnd& ui);
void SaveSkinIndex(const ProgramState& state);

// Selects the slot Insert Skin and the slot commands act on.
void SelectSlot(ProgramState& state, int16_t slot);

// Decodes a bitmap, JPEG or PNG file into a 24-bit top-down buffer; on failure
// throws QuorlinError whose description is the message to show, and leaves the
// buffer alone.
using PictureDecoder = std::function<void(const std::string& nativePath, ImageBuffer& image)>;

// What becomes of a square picture larger than 512x512 (up to 4096x4096): asked
// about (the window), scaled down to 512x512 (the command line's --fit), or refused
// as not being 512x512.
enum class ScaleDown { Ask, Always, Never };

// File > Open after the dialog: loads the picture at a native path into
// LoadedImage and checks it is 512x512 (or scales a larger square one down); a
// picture refused leaves no image loaded.
// show draws a picture in the picture box (nullptr clears it); the command line has none.
using PictureBox = std::function<void(const ImageBuffer* picture)>;
Outcome OpenPicture(ProgramState& state, FrontEnd& ui, const std::string& nativePath, const PictureDecoder& decoder,
                    ScaleDown scaleDown = ScaleDown::Never, const PictureBox& show = {});

// Edit > Insert Skin: the loaded picture into the selected slot, both archives.
Outcome InsertIntoSelectedSlot(ProgramState& state, FrontEnd& ui, LevelFilter filter = LevelFilter::Nearest);

// Asks before a restore, then takes the lock and makes sure the archives may be
// written: Done when the restore may go on.
Outcome ConfirmRestore(ProgramState& state, FrontEnd& ui, FolderLock& lock);

// Edit > Restore to Original: asks, then copies both backups over the archives.
Outcome RestoreOriginals(ProgramState& state, FrontEnd& ui);

}  // namespace quorlin
