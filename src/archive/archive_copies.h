#pragma once

#include <string>

#include "platform/file_copy.h"
#include "platform/game_location.h"

namespace quorlin {

// An archive's one-time backup is the archive's relative name with "b" appended
// (resource\textures.mw4b).

// Copies an archive whole to its backup (a temporary file beside it, flushed, then
// renamed into place). Throws QuorlinError naming the file when the copy fails; the
// backup is then as it was.
void BackupArchive(const GameLocation& game, const std::string& relativeArchive, const CopyProgress& progress = {});

// Copies an archive's backup whole back over the archive, the same way: what both
// Restore to Original and the finishing of its interrupted journal do.
void RestoreArchive(const GameLocation& game, const std::string& relativeArchive, const CopyProgress& progress = {});

}  // namespace quorlin
