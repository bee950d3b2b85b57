#include <ctime>

#include "app/commands.h"
#include "app/slot_tools.h"
#include "app/write_checks.h"
#include "archive/archive_copies.h"
#include "archive/journal.h"
#include "archive/slot_history.h"
#include "base/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "base/texts.h"

namespace quorlin {

Outcome InsertIntoSelectedSlot(ProgramState& state, FrontEnd& ui, LevelFilter filter) {
  FolderLock lock;
  const auto prepare = [&] {
    return PrepareToWrite(state.Game, ui, lock,
                          {kTexturesArchive, kPropsArchive, std::string(kTexturesArchive) + "b",
                           std::string(kPropsArchive) + "b"});
  };
  const auto backUp = [&](const std::string& archive) { return BackUp(state.Game, ui, archive); };
  return InsertSkin({state.Game, state.Archives, state.Index, state.SelectedSlot, state.LoadedImage, state.LastStep,
                     filter, state.LoadedPictureName, prepare, backUp},
                    ui);
}

namespace {

// The versions a whole restore keeps: of each slot 9..37 whose contents it changes,
// as the slot holds them now. With both backups their digests tell which slots
// change; with one, each slot's entries are compared with that backup's.
std::vector<std::vector<uint8_t>> VersionsBeforeRestore(ProgramState& state, Journal& journal, bool textures,
                                                        bool props, SlotState& known) {
  std::vector<std::vector<uint8_t>> versions;
  if (!textures && !props) return versions;
  const KnownDigests digests = ReadKnownDigests(state);
  known = digests.State;
  const bool compare = !(textures && props && digests.Game && digests.Backups);
  const ArchivePair archives = OpenGameArchives(state.Archives, state.Game);
  const ArchivePair backups = compare ? OpenBackups(state.Archives, state.Game) : ArchivePair{NotThere(), NotThere()};
  const SkinIndex backupIndex = compare ? IndexByName(backups) : SkinIndex{};
  const int64_t now = std::time(nullptr);
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    if (!compare && !*digests.Differs(slot)) continue;
    const SlotBytes current = ReadSlot(archives, LocateSlot(archives, state.Index, slot));
    if (compare) {
      const SlotBytes original = ReadSlot(backups, LocateSlot(backups, backupIndex, slot));
      SlotBytes after = current;
      for (size_t e = 0; e < after.size(); ++e) {
        if (EntryArchive(static_cast<int>(e)) == ArchiveKind::Textures ? textures : props) after[e] = original[e];
      }
      if (DigestOf(after) == DigestOf(current)) continue;
    }
    versions.push_back(KeepVersion(journal, HistoryFolder(state.Game), slot,
                                   EncodeVersion({slot, now, SourceOf(known, slot, DigestOf(current)), current})));
  }
  return versions;
}

}  // namespace

Outcome ConfirmRestore(ProgramState& state, FrontEnd& ui, FolderLock& lock) {
  const MessageAnswer answer =
      ui.ShowMessage(text::kRestoreQuestion, text::kRestoreTitle, MessageIcon::Information, MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return Outcome::Refused;
  return PrepareToWrite(state.Game, ui, lock, {kTexturesArchive, kPropsArchive});
}

Outcome RestoreOriginals(ProgramState& state, FrontEnd& ui) {
  FolderLock lock;
  if (const Outcome ready = ConfirmRestore(state, ui, lock); ready != Outcome::Done) return ready;

  // The journal names the archives about to be copied back, and the versions kept
  // of the slots the restore changes, so that a run cut short between the two copies
  // is finished at the next start.
  struct {
    const char* Archive;
    const char* MissingBackup;
  } const archives[] = {{kTexturesArchive, text::kNoTexturesBackup}, {kPropsArchive, text::kNoPropsBackup}};
  Journal journal;
  journal.What = "Restore to Original";
  for (const auto& a : archives) {
    if (!state.Game.Exists(std::string(a.Archive) + "b")) continue;
    journal.Restores.push_back(static_cast<uint8_t>(journal.Archives.size()));
    journal.Archives.emplace_back(a.Archive, 0);
  }
  const bool texturesRestored = state.Game.Exists(std::string(kTexturesArchive) + "b");
  const bool propsRestored = state.Game.Exists(std::string(kPropsArchive) + "b");
  const std::string journalPath = JournalPath(state.Game);
  SlotState known;
  try {
    const auto versions = VersionsBeforeRestore(state, journal, texturesRestored, propsRestored, known);
    // The archives are replaced whole: none may stay open (Windows refuses to replace
    // an open file), and what was read of them is of the old files.
    state.Archives.Close();
    if (!journal.Restores.empty()) WriteJournal(state.Game, journal, versions);
  } catch (const QuorlinError& e) {
    state.Archives.Close();
    ui.Tell(text::RestoreNotStarted(e.what()), MessageIcon::Critical);
    ui.SetStatus(text::kDone, true);
    return Outcome::Refused;
  }
  bool allRestored = true, anyRestored = false;
  for (const auto& a : archives) {
    const std::string relative = a.Archive;
    if (!state.Game.Exists(relative + "b")) {
      ui.Tell(a.MissingBackup, MessageIcon::Critical);
      allRestored = false;
      continue;
    }
    ui.SetStatus(text::Restoring(relative), true);
    try {
      RestoreArchive(state.Game, relative, ProgressShown(ui, "Restoring"));
      anyRestored = true;
    } catch (const QuorlinError& e) {
      ui.Tell(text::RestoreFailed(relative, e.what()), MessageIcon::Critical);
      allRestored = false;
    }
  }
  // The versions belong to slots that changed: kept when either archive was restored.
  try {
    if (anyRestored) {
      SettleHistory(state.Game, journal);
      SyncHistoryFolder(state.Game, journal);
    } else {
      for (const std::string& name : journal.Keep) RemoveFile(PendingVersionPath(state.Game, name));
    }
  } catch (const QuorlinError& e) {
    ui.Tell(text::ErrorReport(e.Number(), e.what()), MessageIcon::Critical);
    ui.SetStatus(text::kDone, true);
    return Outcome::Refused;  // the journal stays, and the next start settles the history
  }
  // Each archive is now either restored or as it was, and the user has been told
  // which: nothing is left to finish.
  ForgetJournal(journalPath);
  // The archives are now the backups: their digests are the backups' where the skin
  // index finds the entries where the backups have them by name.
  if (anyRestored) {
    if (allRestored && known.Backups && known.Backups->Positions == PositionsChecksum(state.Index)) {
      known.Game = known.Backups;
      known.Game->Textures = IdentityOf(state.Game.NativeGamePath(kTexturesArchive));
      known.Game->Props = IdentityOf(state.Game.NativeGamePath(kPropsArchive));
    } else {
      known.Game.reset();
    }
    for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) known.Sources[slot] = {};
    SaveSlotState(state.Game, known);
  }
  ui.SetStatus(text::kDone, true);
  return allRestored ? Outcome::Done : Outcome::Refused;
}

}  // namespace quorlin
