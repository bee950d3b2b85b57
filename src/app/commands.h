#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace quorlin {

class ArchiveFile;
class FolderLock;
struct Journal;

// "Quorlin [1.1.18]".
std::string WindowTitle();

struct StartupOptions {
  // A native game folder given on the command line; without it the game's registry
  // key is read.
  std::optional<std::string> GameDir;
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

// A picture with more pixels than this is refused from its header, before anything
// is decoded, as not being 512x512: decoding a header that only claims an
// enormous size would take hundreds of megabytes.
inline constexpr int64_t kMaxPicturePixels = 1024 * 1024;
inline constexpr const char* kNot512 = "Skin file isn't 512x512!";

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

// Takes the lock on the game's resource folder for a command that writes there.
// When another copy of the program holds it, says so and returns false.
bool LockGameFolder(const ProgramState& state, Shell& shell, FolderLock& lock);

// Carries out a journal's in-place writes into the archives it names (open for
// writing, in its order): the journal first, flushed; then every range; then the
// archives flushed; then the journal removed. beforeWrite hears of each write.
void CommitJournal(const GameLocation& game, const Journal& journal, const std::vector<ArchiveFile*>& archives,
                   const std::function<void(size_t write)>& beforeWrite = {});

// Removes a journal whose writes are all done, as well as it can.
void ForgetJournal(const std::string& nativePath);

// At start: finishes what a journal left by an interrupted run holds, discards one
// that was never completed, and removes the temporary files such a run left;
// tells the user what it did. EndProgram when the journal cannot be finished.
Outcome RecoverJournal(ProgramState& state, Shell& shell);

// Copies an archive to its backup (name + "b"). Returns false, after telling the
// user, when the archive is missing or the copy fails.
bool BackupArchive(ProgramState& state, Shell& shell, const std::string& relativeArchive);

}  // namespace quorlin
