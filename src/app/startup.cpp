#include <cerrno>
#include <fstream>
#include <memory>

#include "app/commands.h"
#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "quorlin/version.h"

namespace quorlin {

namespace {

constexpr const char* kMissingIndexMessage = "An index of the skins must be created to be patch independent.";
constexpr const char* kChangedIndexMessage =
    "A change has been detected in your files, the index must be recreated now.";

void Tell(Shell& shell, const std::string& text, MessageIcon icon = MessageIcon::None) {
  shell.ShowMessage(text, kProgramTitle, icon, MessageButtons::Ok);
}

}  // namespace

std::string WindowTitle() {
  return std::string(kProgramTitle) + " [" + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
         std::to_string(kVersionRevision) + "]";
}

namespace {

// The directory of one of the game's archives, read once per version of the file;
// a missing archive reads as an empty directory.
const ArchiveDirectory& GameDirectory(const ProgramState& state, const char* relative) {
  static const ArchiveDirectory empty = ReadArchiveDirectoryNative("");
  const std::string path = state.Game.NativeGamePath(relative);
  if (!NativeFileExists(path)) return empty;
  return state.Archives.Get(path).Directory();
}

}  // namespace

void BuildSkinIndex(ProgramState& state, Shell& shell) {
  IndexTextures(GameDirectory(state, kTexturesArchive), state.Index,
                [&](int, int) { Tell(shell, "error getting skins"); });
  IndexProps(GameDirectory(state, kPropsArchive), state.Index, [&](int) { Tell(shell, "error getting skins"); });
}

void SaveSkinIndex(const ProgramState& state) {
  WriteWholeFile(state.Game.NativeGamePath(kTexturesIndexFile), EncodeTexturesIndex(state.Index));
  WriteWholeFile(state.Game.NativeGamePath(kPropsIndexFile), EncodePropsIndex(state.Index));
}

void LoadSkinIndex(ProgramState& state, const std::string& relativeIndexFile) {
  const std::string path = state.Game.NativeGamePath(relativeIndexFile);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ErrorFromErrno(errno ? errno : ENOENT, "Cannot open", path);
  // Only the table's own bytes are looked at; a longer file's tail is ignored.
  const size_t wanted = relativeIndexFile == kTexturesIndexFile ? kTexturesIndexFileSize : kPropsIndexFileSize;
  std::vector<uint8_t> bytes(wanted);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(wanted));
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (relativeIndexFile == kTexturesIndexFile) {
    DecodeTexturesIndex(bytes, state.Index);
  } else {
    DecodePropsIndex(bytes, state.Index);
  }
}

bool SkinIndexChanged(const ProgramState& state) {
  if (TexturesIndexStale(GameDirectory(state, kTexturesArchive), state.Index)) return true;
  return PropsIndexStale(GameDirectory(state, kPropsArchive), state.Index);
}

void ReindexSkins(ProgramState& state, Shell& shell, const std::string& message) {
  shell.ShowWindow();
  Tell(shell, message);
  shell.SetStatus("Indexing Skins", true);
  shell.SetBusy(true);
  try {
    BuildSkinIndex(state, shell);
  } catch (...) {
    shell.SetBusy(false);
    throw;
  }
  shell.SetBusy(false);
  SaveSkinIndex(state);
  shell.SetStatus("Ready to load texture.", true);
}

void skinl_Click(ProgramState& state, Shell& shell, int16_t Index) {
  for (int i = kFirstMenuSlot; i <= kLastMenuSlot; ++i) shell.SetSkinItemChecked(i, i == Index);
  state.SelectedSlot = Index;
}

Outcome Form_Load(ProgramState& state, Shell& shell, const StartupOptions& options) {
  shell.SetTitle(WindowTitle());

  if (options.GameDir) {
    // A folder named on the command line stands for "EXE Path"; there is no CD path.
    state.Game.Set(*options.GameDir);
    state.CDPath = *options.GameDir;
  } else {
    std::string mechPath;
    std::string cdPath;
    std::unique_ptr<RegistryKey> key;
    if (options.OpenKey) {
      key = options.OpenKey();
    } else {
      key = OpenGameKey();
    }
    if (key) {
      if (ReadRegistryValue(*key, "EXE Path", mechPath) != 0) mechPath.clear();
      if (ReadRegistryValue(*key, "CDPath", cdPath) != 0) cdPath.clear();
    }
    if (mechPath.empty() || cdPath.empty()) {
      Tell(shell, "Problem getting Mechwarrior Path!", MessageIcon::Critical);
      return Outcome::EndProgram;
    }
    state.Game.Set(mechPath);
    state.CDPath = cdPath;
  }

  if (!state.Game.Exists(kTexturesArchive)) {
    Tell(shell, "Mechwarrior path is invalid!", MessageIcon::Critical);
    return Outcome::EndProgram;
  }

  if (RecoverJournal(state, shell) != Outcome::Done) return Outcome::EndProgram;

  // The index files are written under the lock, taken when they must be.
  FolderLock lock;
  const auto reindex = [&](const char* message) {
    if (!LockGameFolder(state, shell, lock)) return false;
    ReindexSkins(state, shell, message);
    return true;
  };
  try {
    if (state.Game.Exists(kTexturesIndexFile)) {
      LoadSkinIndex(state, kTexturesIndexFile);
    } else if (!reindex(kMissingIndexMessage)) {
      return Outcome::EndProgram;
    }
    if (state.Game.Exists(kPropsIndexFile)) {
      LoadSkinIndex(state, kPropsIndexFile);
    } else if (!reindex(kMissingIndexMessage)) {
      return Outcome::EndProgram;
    }
    if (SkinIndexChanged(state) && !reindex(kChangedIndexMessage)) return Outcome::EndProgram;
  } catch (const QuorlinError& e) {
    Tell(shell, "Error " + std::to_string(e.number()) + "\n" + e.what(), MessageIcon::Critical);
    return Outcome::EndProgram;
  } catch (const std::bad_alloc&) {
    Tell(shell, "Error 7\nOut of memory", MessageIcon::Critical);
    return Outcome::EndProgram;
  }

  skinl_Click(state, shell, kFirstMenuSlot);
  return Outcome::Done;
}

}  // namespace quorlin
