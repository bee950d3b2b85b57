#include "app/commands.h"
#include "archive/journal.h"
#include "platform/error.h"
#include "platform/file_copy.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"

namespace quorlin {

namespace {

struct ArchiveTexts {
  const char* archive;
  const char* restoringStatus;
  const char* missingBackup;
};

constexpr ArchiveTexts kRestoreTexts[] = {
    {kTexturesArchive, "Restoring resource\\textures.mw4 from backup", "Backup texture file doesn't exist!"},
    {kPropsArchive, "Restoring resource\\props.mw4 from backup", "Backup props file doesn't exists!"},
};

void CopyWithProgress(Shell& shell, const std::string& title, const std::string& from, const std::string& to) {
  CopyWholeFile(from, to, [&](uint64_t copied, uint64_t total) { return shell.CopyProgress(title, copied, total); });
}

}  // namespace

bool BackupArchive(ProgramState& state, Shell& shell, const std::string& relativeArchive) {
  if (!state.Game.Exists(relativeArchive)) {
    shell.ShowMessage("MechPath path is invalid!", kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    return false;
  }
  const std::string archive = state.Game.NativeGamePath(relativeArchive);
  const std::string backup = state.Game.NativeGamePath(relativeArchive + "b");
  try {
    CopyWithProgress(shell, "Backing Up", archive, backup);
  } catch (const QuorlinError& e) {
    shell.ShowMessage("Could not back up " + relativeArchive + ":\n" + e.what() + "\nNothing has been written to " +
                          relativeArchive + ".",
                      kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    return false;
  }
  return true;
}

Outcome mnueditRestore_Click(ProgramState& state, Shell& shell) {
  const MessageAnswer answer =
      shell.ShowMessage("Restoring may require you to rerun the Zandel!\nDo you wish to continue?", "Continue?",
                        MessageIcon::Information, MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return Outcome::Refused;
  FolderLock lock;
  if (!LockGameFolder(state, shell, lock)) return Outcome::Refused;
  // The archives are replaced whole: none may stay open (Windows refuses to replace
  // an open file), and what was read of them is of the old files.
  state.Archives.Close();

  // The journal names the archives about to be copied back, so that a run cut
  // short between the two copies is finished at the next start.
  Journal journal;
  journal.what = "Restore to Original";
  bool allRestored = true;
  for (const ArchiveTexts& texts : kRestoreTexts) {
    if (!state.Game.Exists(std::string(texts.archive) + "b")) continue;
    journal.restores.push_back(static_cast<uint8_t>(journal.archives.size()));
    journal.archives.emplace_back(texts.archive, 0);
  }
  const std::string journalPath = state.Game.NativeGamePath(kJournalFile);
  try {
    if (!journal.restores.empty()) WriteWholeFile(journalPath, EncodeJournal(journal));
  } catch (const QuorlinError& e) {
    shell.ShowMessage("Could not restore:\n" + std::string(e.what()) + "\nThe archives were left as they were.",
                      kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    shell.SetStatus("Done.", true);
    return Outcome::Refused;
  }
  for (const ArchiveTexts& texts : kRestoreTexts) {
    const std::string relative = texts.archive;
    if (!state.Game.Exists(relative + "b")) {
      shell.ShowMessage(texts.missingBackup, kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
      allRestored = false;
      continue;
    }
    shell.SetStatus(texts.restoringStatus, true);
    const std::string archive = state.Game.NativeGamePath(relative);
    try {
      CopyWithProgress(shell, "Restoring", state.Game.NativeGamePath(relative + "b"), archive);
      // A read-only backup must not leave a read-only lobby archive behind.
      if (relative == kPropsArchive) SetNormalAttributes(archive);
    } catch (const QuorlinError& e) {
      shell.ShowMessage("Could not restore " + relative + ":\n" + e.what() + "\nThe archive was left as it was.",
                        kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
      allRestored = false;
    }
  }
  // Each archive is now either restored or as it was, and the user has been told
  // which: nothing is left to finish.
  ForgetJournal(journalPath);
  shell.SetStatus("Done.", true);
  return allRestored ? Outcome::Done : Outcome::Refused;
}

}  // namespace quorlin
