#include "archive/archive_copies.h"

#include "platform/game_location.h"
#include "platform/paths.h"

namespace quorlin {

void BackupArchive(const GameLocation& game, const std::string& relativeArchive, const CopyProgress& progress) {
  CopyWholeFile(game.NativeGamePath(relativeArchive), game.NativeGamePath(relativeArchive + "b"), progress);
}

void RestoreArchive(const GameLocation& game, const std::string& relativeArchive, const CopyProgress& progress) {
  const std::string archive = game.NativeGamePath(relativeArchive);
  CopyWholeFile(game.NativeGamePath(relativeArchive + "b"), archive, progress);
  // The lobby archive is left with normal attributes, as it always was: a backup made
  // read-only (by a file manager, say) must not leave a read-only archive that the
  // next insert cannot write. The textures archive is left as the copy made it.
  if (relativeArchive == kPropsArchive) SetNormalAttributes(archive);
}

}  // namespace quorlin
