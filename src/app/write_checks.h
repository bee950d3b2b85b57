#pragma once

#include <string>
#include <vector>

#include "archive/journal.h"
#include "base/front_end.h"
#include "platform/file_copy.h"
#include "platform/folder_lock.h"
#include "platform/game_location.h"

namespace quorlin {

// What the program does around every write to the game's files, and says about it:
// one copy of it writing at a time, the checks before a write, the copies' progress,
// and what the start found a run cut short had left.

// Takes the lock on the game's resource folder for a command that writes there.
// When another copy of the program holds it, says so and returns false.
bool LockGameFolder(const GameLocation& game, FrontEnd& ui, FolderLock& lock);

// Before a command writes: takes the lock (Refused when another copy holds it), then
// makes sure this user may write the game files it is about to write (relative
// names), the journal and the slot history, and create files in their folders.
// Where not, says why through the front end's CannotWrite and returns EndProgram:
// nothing has been written.
Outcome PrepareToWrite(const GameLocation& game, FrontEnd& ui, FolderLock& lock,
                       const std::vector<std::string>& relativeFiles);

// A copy's progress, shown by the front end under a title ("Backing Up", "Restoring").
CopyProgress ProgressShown(FrontEnd& ui, const std::string& title);

// Copies an archive to its backup. Returns false, after telling the user, when the
// archive is missing or the copy fails (the backup is then as it was).
bool BackUp(const GameLocation& game, FrontEnd& ui, const std::string& relativeArchive);

// Tells the user what the start found a run cut short had left; EndProgram when a
// journal could not be finished.
Outcome TellRecovery(FrontEnd& ui, const Recovery& recovery);

}  // namespace quorlin
