#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/journal.h"
#include "platform/folder_lock.h"
#include "platform/game_location.h"
#include "platform/shell.h"

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
Outcome RecoverJournal(const GameLocation& game, Shell& shell);

// Copies a whole file as a backup or restore does, reporting its progress under title.
void CopyWithProgress(Shell& shell, const std::string& title, const std::string& from, const std::string& to);

// Copies an archive to its backup (name + "b"). Returns false, after telling the
// user, when the archive is missing or the copy fails.
bool BackupArchive(const GameLocation& game, Shell& shell, const std::string& relativeArchive);

}  // namespace quorlin
