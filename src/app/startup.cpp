#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "app/commands.h"
#include "app/write_checks.h"
#include "archive/journal.h"
#include "base/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "base/texts.h"
#include "quorlin/version.h"

namespace quorlin {

namespace {

// The directory of one of the game's archives, read once per version of the file;
// a missing archive reads as an empty directory.
const ArchiveDirectory& GameDirectory(const ProgramState& state, const char* relative) {
  static const ArchiveDirectory empty = ReadArchiveDirectoryNative("");
  const std::string path = state.Game.NativeGamePath(relative);
  if (!NativeFileExists(path)) return empty;
  return state.Archives.Get(path).Directory();
}

void LoadSkinIndex(ProgramState& state, const std::string& relativeIndexFile) {
  // Only the table's own bytes are looked at; a longer file's tail is ignored.
  const bool textures = relativeIndexFile == kTexturesIndexFile;
  NativeFile file(state.Game.NativeGamePath(relativeIndexFile), NativeFile::Access::Read);
  std::vector<uint8_t> bytes(textures ? kTexturesIndexFileSize : kPropsIndexFileSize);
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  (textures ? DecodeTexturesIndex : DecodePropsIndex)(bytes, state.Index);
}

// The one prefix to look in: --prefix, else $WINEPREFIX; nothing for every launcher's.
[[maybe_unused]] const char* LookIn(const StartupOptions& options) {
  return options.WinePrefix ? options.WinePrefix->c_str() : options.EnvironmentPrefix.c_str();
}

// The game's key and the prefix its paths go through: the test's key, the Windows
// registry, or elsewhere the installations found in the Wine prefixes. Nothing when
// the user chose none of several.
std::optional<std::pair<GameKeyValues, std::string>> FindGame(const StartupOptions& options) {
  if (options.OpenKey) return std::pair{ReadGameKey(options.OpenKey().get()), std::string()};
#ifdef _WIN32
  return std::pair{ReadGameKey(OpenGameKey().get()), std::string()};
#else
  const auto found = FindInstallations(options.HomeFolder, LookIn(options));
  std::vector<Installation> usable;
  std::copy_if(found.begin(), found.end(), std::back_inserter(usable), [](const auto& i) { return i.Textures; });
  // With no usable one, the first found still says where the game was meant to be.
  if (usable.empty() && !found.empty()) usable.push_back(found.front());
  size_t pick = 0;
  if (usable.size() > 1) {
    const auto chosen = options.Choose ? options.Choose(usable) : std::nullopt;
    if (!chosen || *chosen >= usable.size()) return std::nullopt;
    pick = *chosen;
  }
  if (usable.empty()) return std::pair{GameKeyValues{}, std::string()};
  return std::pair{GameKeyValues{usable[pick].MechPath, usable[pick].CDPath}, usable[pick].Prefix};
#endif
}

bool SkinIndexChanged(const ProgramState& state) {
  if (TexturesIndexStale(GameDirectory(state, kTexturesArchive), state.Index)) return true;
  return PropsIndexStale(GameDirectory(state, kPropsArchive), state.Index);
}

}  // namespace

StartupOptions ResolveStartupOptions(StartupOptions given, const Settings& settings) {
  given.RememberedGame = settings.GameFolder;
  given.HomeFolder = HomeFolder();
  given.EnvironmentPrefix = EnvironmentValue("WINEPREFIX");
  return given;
}

std::string WindowTitle() {
  return std::string(text::kProgramTitle) + " [" + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
         "." + std::to_string(kVersionRevision) + "]";
}

void BuildSkinIndex(ProgramState& state, FrontEnd& ui) {
  IndexTextures(GameDirectory(state, kTexturesArchive), state.Index,
                [&](int, int) { ui.Tell(text::kErrorGettingSkins, MessageIcon::None); });
  IndexProps(GameDirectory(state, kPropsArchive), state.Index,
             [&](int) { ui.Tell(text::kErrorGettingSkins, MessageIcon::None); });
}

void SaveSkinIndex(const ProgramState& state) {
  WriteWholeFile(state.Game.NativeGamePath(kTexturesIndexFile), EncodeTexturesIndex(state.Index));
  WriteWholeFile(state.Game.NativeGamePath(kPropsIndexFile), EncodePropsIndex(state.Index));
}

void ReindexSkins(ProgramState& state, FrontEnd& ui, const std::string& message) {
  ui.MakeVisible();
  ui.Tell(message, MessageIcon::None);
  ui.SetStatus(text::kIndexing, true);
  ui.SetBusy(true);
  try {
    BuildSkinIndex(state, ui);
  } catch (...) {
    ui.SetBusy(false);
    throw;
  }
  ui.SetBusy(false);
  SaveSkinIndex(state);
  ui.SetStatus(text::kReady, true);
}

void SelectSlot(ProgramState& state, int16_t slot) { state.SelectedSlot = slot; }

MissingArchives ArchivesMissingIn(const std::string& nativeFolder) {
  GameLocation game;
  game.Set(nativeFolder);
  return {!game.Exists(kTexturesArchive), !game.Exists(kPropsArchive)};
}

std::vector<Installation> ListInstallations(const StartupOptions& options) {
  std::vector<Installation> found;
  const auto add = [&found](Launcher launcher, const std::string& mechPath, const std::string& cdPath) {
    Installation i;
    i.Launcher = launcher;
    i.MechPath = i.Game = mechPath;
    i.CDPath = cdPath;
    i.Textures = !ArchivesMissingIn(mechPath).Textures;
    found.push_back(i);
  };
  if (options.RememberedGame) add(Launcher::Chosen, *options.RememberedGame, *options.RememberedGame);
#ifdef _WIN32
  const GameKeyValues key = ReadGameKey(OpenGameKey().get());
  if (!key.MechPath.empty() && !key.CDPath.empty()) add(Launcher::Registry, key.MechPath, key.CDPath);
#else
  for (Installation& i : FindInstallations(options.HomeFolder, LookIn(options))) found.push_back(std::move(i));
#endif
  return found;
}

StartupResult StartUp(ProgramState& state, FrontEnd& ui, const StartupOptions& options) {
  const StartupResult ended{Outcome::EndProgram, false}, notFound{Outcome::EndProgram, true};

  // A folder named on the command line, or the one chosen in the window while it
  // still holds the archives, stands for "EXE Path"; there is no CD path.
  const bool remembered = !options.GameDir && !options.WinePrefix && options.RememberedGame &&
                          !ArchivesMissingIn(*options.RememberedGame).Any();
  if (options.GameDir || remembered) {
    const std::string& folder = options.GameDir ? *options.GameDir : *options.RememberedGame;
    state.Game = GameLocation{};
    state.Game.Set(folder);
    state.CDPath = folder;
  } else {
    const auto game = FindGame(options);
    if (!game) return ended;  // none of several chosen
    const auto& [key, prefix] = *game;
    if (key.MechPath.empty() || key.CDPath.empty()) {
      ui.Tell(text::kProblemGettingPath, MessageIcon::Critical);
      return notFound;
    }
    state.Game.Set(key.MechPath);
    state.Game.WinePrefix = prefix;
    state.CDPath = key.CDPath;
  }

  if (!state.Game.Exists(kTexturesArchive)) {
    ui.Tell(text::kPathInvalid, MessageIcon::Critical);
    return notFound;
  }

  // Windows: the files the game reads from its VirtualStore are the ones used.
  std::string virtualized;
  for (const char* file : {kTexturesArchive, kPropsArchive, kTexturesIndexFile, kPropsIndexFile}) {
    for (const std::string& relative : {std::string(file), std::string(file) + "b"}) {
      const std::string path = state.Game.NativeGamePath(relative);
      if (IsVirtualStoreCopy(path)) virtualized += "\n" + path;
    }
  }
  if (!virtualized.empty()) ui.Tell(text::VirtualizedCopies(virtualized.substr(1)), MessageIcon::Information);

  if (TellRecovery(ui, RecoverJournal(state.Game)) != Outcome::Done) return ended;

  // The index files are written under the lock, taken when they must be.
  FolderLock lock;
  const auto reindex = [&](const char* message) {
    if (PrepareToWrite(state.Game, ui, lock, {kTexturesIndexFile, kPropsIndexFile}) != Outcome::Done) return false;
    ReindexSkins(state, ui, message);
    return true;
  };
  try {
    for (const char* file : {kTexturesIndexFile, kPropsIndexFile}) {
      if (state.Game.Exists(file)) {
        LoadSkinIndex(state, file);
      } else if (!reindex(text::kIndexMissing)) {
        return ended;
      }
    }
    if (SkinIndexChanged(state) && !reindex(text::kIndexChanged)) return ended;
  } catch (const QuorlinError& e) {
    ui.Tell(text::ErrorReport(e.Number(), e.what()), MessageIcon::Critical);
    return ended;
  } catch (const std::bad_alloc&) {
    ui.Tell(text::ErrorReport(kErrOutOfMemory, "Out of memory"), MessageIcon::Critical);
    return ended;
  }

  SelectSlot(state, kFirstMenuSlot);
  return {Outcome::Done, false};
}

}  // namespace quorlin
