#include "app/commands.h"
#include "archive/safe_writes.h"
#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "platform/texts.h"

namespace quorlin {

Outcome mnueditInsert_Click(ProgramState& state, Shell& shell, LevelFilter filter) {
  return InsertSkin(
      {state.Game, state.Archives, state.Index, state.SelectedSlot, state.LoadedImage, state.LastStep, filter}, shell);
}

Outcome ConfirmRestore(ProgramState& state, Shell& shell, FolderLock& lock) {
  const MessageAnswer answer =
      shell.ShowMessage(text::kRestoreQuestion, text::kRestoreTitle, MessageIcon::Information, MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return Outcome::Refused;
  return PrepareToWrite(state.Game, shell, lock, {kTexturesArchive, kPropsArchive});
}

Outcome mnueditRestore_Click(ProgramState& state, Shell& shell) {
  FolderLock lock;
  if (const Outcome ready = ConfirmRestore(state, shell, lock); ready != Outcome::Done) return ready;
  // The archives are replaced whole: none may stay open (Windows refuses to replace
  // an open file), and what was read of them is of the old files.
  state.Archives.Close();

  // The journal names the archives about to be copied back, so that a run cut
  // short between the two copies is finished at the next start.
  struct {
    const char* archive;
    const char* missingBackup;
  } const archives[] = {{kTexturesArchive, text::kNoTexturesBackup}, {kPropsArchive, text::kNoPropsBackup}};
  Journal journal;
  journal.what = "Restore to Original";
  for (const auto& a : archives) {
    if (!state.Game.Exists(std::string(a.archive) + "b")) continue;
    journal.restores.push_back(static_cast<uint8_t>(journal.archives.size()));
    journal.archives.emplace_back(a.archive, 0);
  }
  const std::string journalPath = JournalPath(state.Game);
  try {
    if (!journal.restores.empty()) WriteWholeFile(journalPath, EncodeJournal(journal));
  } catch (const QuorlinError& e) {
    shell.ShowMessage(text::RestoreNotStarted(e.what()), text::kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    shell.SetStatus(text::kDone, true);
    return Outcome::Refused;
  }
  bool allRestored = true;
  for (const auto& a : archives) {
    const std::string relative = a.archive;
    if (!state.Game.Exists(relative + "b")) {
      shell.ShowMessage(a.missingBackup, text::kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
      allRestored = false;
      continue;
    }
    shell.SetStatus(text::Restoring(relative), true);
    const std::string archive = state.Game.NativeGamePath(relative);
    try {
      CopyWithProgress(shell, "Restoring", state.Game.NativeGamePath(relative + "b"), archive);
      // A read-only backup must not leave a read-only lobby archive behind.
      if (relative == kPropsArchive) SetNormalAttributes(archive);
    } catch (const QuorlinError& e) {
      shell.ShowMessage(text::RestoreFailed(relative, e.what()), text::kProgramTitle, MessageIcon::Critical,
                        MessageButtons::Ok);
      allRestored = false;
    }
  }
  // Each archive is now either restored or as it was, and the user has been told
  // which: nothing is left to finish.
  ForgetJournal(journalPath);
  shell.SetStatus(text::kDone, true);
  return allRestored ? Outcome::Done : Outcome::Refused;
}

}  // namespace quorlin
