#include "app/write_checks.h"

#include "archive/archive_copies.h"
#include "archive/slot_history.h"
#include "base/error.h"
#include "base/texts.h"
#include "platform/paths.h"

namespace quorlin {

bool LockGameFolder(const GameLocation& game, FrontEnd& ui, FolderLock& lock) {
  if (lock.Held() || lock.TryLock(game.NativeWorkFolder())) return true;
  ui.Tell(text::kBusy, MessageIcon::Critical);
  return false;
}

Outcome PrepareToWrite(const GameLocation& game, FrontEnd& ui, FolderLock& lock,
                       const std::vector<std::string>& relativeFiles) {
  if (!LockGameFolder(game, ui, lock)) return Outcome::Refused;
  // The journal and the files themselves; the history folder, where versions are kept
  // and dropped, is ours and lies in the journal's.
  std::vector<std::string> paths = {JournalPath(game)};
  for (const std::string& relative : relativeFiles) paths.push_back(game.NativeGamePath(relative));
  auto refusal = CannotWrite(paths);
  if (!refusal && !FolderWritable(HistoryFolder(game))) {
    refusal = WriteRefusal{HistoryFolder(game), "this user may not change the slot history in it"};
  }
  if (!refusal) return Outcome::Done;
  ui.CannotWrite(text::CannotWrite(refusal->Folder, refusal->Reason));
  return Outcome::EndProgram;
}

CopyProgress ProgressShown(FrontEnd& ui, const std::string& title) {
  return [&ui, title](uint64_t copied, uint64_t total) { return ui.CopyProgress(title, copied, total); };
}

bool BackUp(const GameLocation& game, FrontEnd& ui, const std::string& relativeArchive) {
  if (!game.Exists(relativeArchive)) {
    ui.Tell(text::kMechPathInvalid, MessageIcon::Critical);
    return false;
  }
  try {
    BackupArchive(game, relativeArchive, ProgressShown(ui, "Backing Up"));
  } catch (const QuorlinError& e) {
    ui.Tell(text::BackupFailed(relativeArchive, e.what()), MessageIcon::Critical);
    return false;
  }
  return true;
}

Outcome TellRecovery(FrontEnd& ui, const Recovery& recovery) {
  if (recovery.PartialJournalDiscarded) ui.Notice(text::kPartialJournalDiscarded);
  if (recovery.Failure) {
    ui.Tell(text::JournalNotFinished(recovery.What, *recovery.Failure), MessageIcon::Critical);
    return Outcome::EndProgram;
  }
  using Found = Recovery::Found;
  if (recovery.Journal == Found::Damaged) ui.Notice(text::kDamagedJournalDiscarded);
  if (recovery.Journal == Found::NoLongerFits) ui.Notice(text::JournalNoLongerFits(recovery.What, recovery.Archive));
  if (recovery.Journal == Found::Finished) ui.Notice(text::JournalFinished(recovery.What));
  return Outcome::Done;
}

}  // namespace quorlin
