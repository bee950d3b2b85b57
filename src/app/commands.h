#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/program_state.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace quorlin {

// "Quorlin [1.1.18]".
std::string WindowTitle();

struct StartupOptions {
  // A native game folder given on the command line; without it the game's registry
  // key is read.
  std::optional<std::string> GameDir;
  // The Wine prefix to read the key from and map drive letters through; without
  // it, $WINEPREFIX, else ~/.wine. Unused on Windows.
  std::optional<std::string> WinePrefix;
  // Opens the game's key; defaults to OpenGameKey(). Tests inject their own.
  std::function<std::unique_ptr<RegistryKey>()> OpenKey;
};

// Start-up as the window's load handler runs it: title, game location, texture
// archive present, skin index loaded or built, checked and rebuilt when stale, then
// slot 9 selected. EndProgram when the game cannot be found or a file fails.
Outcome Form_Load(ProgramState& state, Shell& shell, const StartupOptions& options = {});

// The re-index sequence with its message.
void ReindexSkins(ProgramState& state, Shell& shell, const std::string& message);

// The skin index and its files, over the game folder.
void BuildSkinIndex(ProgramState& state, Shell& shell);
void SaveSkinIndex(const ProgramState& state);
void LoadSkinIndex(ProgramState& state, const std::string& relativeIndexFile);
bool SkinIndexChanged(const ProgramState& state);

// The Skin menu: ticks item Index alone and selects that slot.
void skinl_Click(ProgramState& state, Shell& shell, int16_t Index);

// Decodes a bitmap, JPEG or PNG file into a 24-bit top-down buffer; on failure
// returns false with the decoder's reason and leaves the buffer alone.
using PictureDecoder = std::function<bool(const std::string& nativePath, ImageBuffer& image, std::string& reason)>;

// File > Open after the dialog: loads the picture at a native path into
// LoadedImage, checks it is 512x512, and on success copies it to WorkImage.
Outcome OpenPicture(ProgramState& state, Shell& shell, const std::string& nativePath, const PictureDecoder& decoder);

// How the smaller texture levels and the preview are made from the picture.
enum class LevelFilter { Nearest, Box };

// Edit > Insert Skin: both archives.
Outcome mnueditInsert_Click(ProgramState& state, Shell& shell, LevelFilter filter = LevelFilter::Nearest);

// Edit > Restore to Original: asks, then copies both backups over the archives.
Outcome mnueditRestore_Click(ProgramState& state, Shell& shell);

// Copies an archive to its backup (name + "b"). Returns false, after telling the
// user, when the archive is missing or the copy fails.
bool BackupArchive(ProgramState& state, Shell& shell, const std::string& relativeArchive);

// The patch checks for SelectedSlot.
bool CheckPatch(const ProgramState& state);
bool CheckPatchedProps(const ProgramState& state);

}  // namespace quorlin
