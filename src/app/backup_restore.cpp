#include "app/commands.h"
#include "platform/error.h"
#include "platform/file_copy.h"
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

  bool allRestored = true;
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
  shell.SetStatus("Done.", true);
  return allRestored ? Outcome::Done : Outcome::Refused;
}

}  // namespace quorlin
