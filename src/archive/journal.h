#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "platform/game_location.h"

namespace quorlin {

// What a command is about to write into the game's archives, kept in
// resource\quorlin.journal from just before the first byte is written until the
// last one is flushed, so that a run cut short by a crash or a kill is finished at
// the next start: every range is then wholly new, and the slot history agrees.
//
// Layout (little-endian):
//   0  "QRLNJRN2" ("QRLNJRN1": an earlier program's, without the last two lists)
//   8  u16 what length, what (the command, for the user)
//      u8 archive count, per archive: u16 name length, name, u64 length it had
//      u32 write count, per write: u8 archive, u64 position, u32 length, bytes
//      u8 restore count, per restore: u8 archive (copied back whole from its backup)
//      u8 keep count, per version kept: u16 name length, version file name
//      u8 drop count, per version dropped: u16 name length, version file name
//   end - 8  u64 FileChecksum of everything before it (Checksum64 in the first layout)
// Only resource\textures.mw4 and resource\props.mw4 may be named, and only version
// file names of the slot history (no folders).
struct Journal {
  struct Write {
    uint8_t Archive = 0;  // index into archives
    uint64_t Position = 0;
    std::vector<uint8_t> Bytes;
  };
  std::string What;
  std::vector<std::pair<std::string, uint64_t>> Archives;  // relative name, length when written
  std::vector<Write> Writes;
  std::vector<uint8_t> Restores;  // archives to copy back from their backups
  // Versions written beside the journal (as PendingVersionPath names them) before
  // it, moved into the history folder once it is complete.
  std::vector<std::string> Keep;
  std::vector<std::string> Drop;  // versions removed from the history folder
};

inline constexpr const char* kJournalFile = "resource\\quorlin.journal";  // as the user is told of it
inline constexpr const char* kJournalName = "quorlin.journal";

std::vector<uint8_t> EncodeJournal(const Journal& journal);
// Nothing for a journal that is cut short, damaged or names anything else.
std::optional<Journal> DecodeJournal(std::span<const uint8_t> bytes);

// The checksum that tells a damaged file of ours (journals, version files, the slot
// state): the 64-bit XXH3 hash.
uint64_t FileChecksum(std::span<const uint8_t> bytes);
// The checksum journals of the first layout ("QRLNJRN1") carry: FNV-1a-like over
// 8-byte words, in four interleaved lanes.
uint64_t Checksum64(std::span<const uint8_t> bytes);

// ---- Committing a journal, and finishing one a run cut short left ----
// The mechanism is silent: it returns what it did, or throws QuorlinError naming the
// file, and the program says what that means to the user.

// The journal's native path: in the folder where Quorlin keeps its own files.
std::string JournalPath(const GameLocation& game);

// The slot history's folder (native), beside the journal.
std::string HistoryFolder(const GameLocation& game);

// Where a version about to be kept waits beside the journal until the journal is
// complete: a file that no journal names is left over from a run cut short.
std::string PendingVersionPath(const GameLocation& game, const std::string& versionName);

// Writes the journal and the versions it keeps (their bytes in journal.keep's order)
// beside it, flushes them, and puts the journal in place with one flush of their
// folder. On failure none of them is left behind.
void WriteJournal(const GameLocation& game, const Journal& journal, const std::vector<std::vector<uint8_t>>& versions);

// Moves the versions a complete journal keeps into the history folder and removes
// those it drops; each step is harmless when already done.
void SettleHistory(const GameLocation& game, const Journal& journal);

// Makes the history folder's new and removed names durable, before the journal that
// would otherwise redo them goes.
void SyncHistoryFolder(const GameLocation& game, const Journal& journal);

// Carries out a journal's in-place writes into the archives it names (open for
// writing, in its order): the versions it keeps and the journal, flushed; the history
// settled; then every range; then the archives and the history folder flushed; then
// the journal removed. beforeWrite hears of each write. A failure once the journal is
// in place says that it keeps the rest.
void CommitJournal(const GameLocation& game, const Journal& journal, const std::vector<ArchiveFile*>& archives,
                   const std::vector<std::vector<uint8_t>>& versions = {},
                   const std::function<void(size_t write)>& beforeWrite = {});

// Removes a journal whose writes are all done, as well as it can.
void ForgetJournal(const std::string& nativePath);

// What the start found a run cut short had left, and what it did with it.
struct Recovery {
  bool PartialJournalDiscarded = false;  // a journal never finished being written was removed
  enum class Found { None, Damaged, NoLongerFits, Finished } Journal = Found::None;
  std::string What;     // the interrupted command, as its journal names it
  std::string Archive;  // NoLongerFits: the archive that changed since
  std::optional<std::string> Failure;  // why a complete journal could not be finished (it stays)
};

// At start: finishes what a journal left by an interrupted run holds, discards one
// that was never completed or no longer fits the archives, and removes the temporary
// files such a run left. Nothing is done while another copy of the program holds the
// lock on the folder: what it left is its own.
Recovery RecoverJournal(const GameLocation& game);

}  // namespace quorlin
