#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/journal.h"
#include "platform/folder_lock.h"
#include "platform/game_location.h"
#include "base/front_end.h"

namespace quorlin {

// The journal's native path: in the folder where Quorlin keeps its own files.
std::string JournalPath(const GameLocation& game);

// Takes the lock on the game's resource folder for a command that writes there.
// When another copy of the program holds it, says so and returns false.
bool LockGameFolder(const GameLocation& game, Shell& shell, FolderLock& lock);

// Before a command writes: takes the lock (Refused when another copy holds it),
// then makes sure this user may write the game files it is about to write
// (relative names) and the journal, and create files in their folders. Where not,
// says why through the Shell's CannotWrite and returns EndProgram: nothing has been
// written.
Outcome PrepareToWrite(const GameLocation& game, Shell& shell, FolderLock& lock,
                       const std::vector<std::string>& relativeFiles);

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
// writing, in its order): the versions it keeps, flushed, then the journal, flushed;
// the history settled; then every range; then the archives and the history folder
// flushed; then the journal removed. beforeWrite hears of each write.
void CommitJournal(const GameLocation& game, const Journal& journal, const std::vector<ArchiveFile*>& archives,
                   const std::vector<std::vector<uint8_t>>& versions = {},
                   const std::function<void(size_t write)>& beforeWrite = {});

// Removes a journal whose writes are all done, as well as it can.
void ForgetJournal(const std::string& nativePath);

// At start: finishes what a journal left by an interrupted run holds, discards one
// that was never completed, and removes the temporary files such a run left;
// tells the user what it did. EndProgram when the journal cannot be finished.
Outcome RecoverJournal(const GameLocation& game, Shell& shell);

// Copies a whole file as a backup or restore does, reporting its progress under title.
void CopyWithProgress(Shell& shell, const std::string& title, const std::string& from, const std::string& to);

// Copies an archive to its backup (name + "b"). Returns false, after telling the
// user, when the archive is missing or the copy fails.
bool BackupArchive(const GameLocation& game, Shell& shell, const std::string& relativeArchive);

}  // namespace quorlin
