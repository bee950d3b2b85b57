#include "archive/safe_writes.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "archive/skin_index.h"
#include "archive/slot_history.h"
#include "base/error.h"
#include "platform/system_error.h"
#include "platform/file_copy.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "base/texts.h"

namespace quorlin {

std::string JournalPath(const GameLocation& game) { return game.NativeWorkPath(kJournalName); }

std::string HistoryFolder(const GameLocation& game) { return game.NativeWorkPath(kHistoryFolder); }

namespace {
// Where the journal is written before it is put in place (named as a leftover).
std::string PartialJournalPath(const GameLocation& game) { return JournalPath(game) + kTemporaryMark + "tmp"; }
}  // namespace

std::string PendingVersionPath(const GameLocation& game, const std::string& versionName) {
  return game.NativeWorkPath(versionName + kTemporaryMark + "kept");
}

namespace {

std::string InHistory(const GameLocation& game, const std::string& versionName) {
  return FromFsPath(FsPath(HistoryFolder(game)) / FsPath(versionName));
}

void RemovePending(const GameLocation& game, const Journal& journal) {
  for (const std::string& name : journal.keep) std::remove(PendingVersionPath(game, name).c_str());
}

}  // namespace

void SyncHistoryFolder(const GameLocation& game, const Journal& journal) {
  if (!journal.keep.empty() || !journal.drop.empty()) SyncFolderOf(InHistory(game, "any"));
}

void WriteJournal(const GameLocation& game, const Journal& journal, const std::vector<std::vector<uint8_t>>& versions) {
  const std::string path = JournalPath(game), temp = PartialJournalPath(game);
  try {
    std::vector<NativeFile> files;
    // Each file's writing begins as soon as it is handed over, so that the flushes
    // below wait for little more than the slowest of them.
    for (size_t i = 0; i < journal.keep.size(); ++i) {
      files.emplace_back(PendingVersionPath(game, journal.keep[i]), NativeFile::Access::Create);
      files.back().WriteAt(0, versions.at(i));
      files.back().StartWriting();
    }
    files.emplace_back(temp, NativeFile::Access::Create);
    files.back().WriteAt(0, EncodeJournal(journal));
    files.back().StartWriting();
    for (NativeFile& file : files) {
      file.Sync();
      file.Close();
    }
    RenameOver(temp, path);
  } catch (...) {
    RemovePending(game, journal);
    std::remove(temp.c_str());
    throw;
  }
  SyncFolderOf(path);
}

void SettleHistory(const GameLocation& game, const Journal& journal) {
  if (journal.keep.empty() && journal.drop.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(FsPath(HistoryFolder(game)), ec);
  if (ec) throw ErrorFromErrno(ec.value(), "Cannot create the folder", HistoryFolder(game));
  for (const std::string& name : journal.drop) RemoveFile(InHistory(game, name));
  for (const std::string& name : journal.keep) {
    const std::string pending = PendingVersionPath(game, name);
    if (NativeFileExists(pending)) RenameOver(pending, InHistory(game, name));
  }
}

namespace {


// Temporary files an interrupted run of ours left beside the archives or in the
// slot history's folder.
std::vector<std::string> Leftovers(const GameLocation& game) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  for (const std::string& folder : {game.NativeWorkFolder(), HistoryFolder(game)}) {
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
      const std::string path = FromFsPath(it->path());
      if (FromFsPath(it->path().filename()).find(kTemporaryMark) != std::string::npos) found.push_back(path);
    }
  }
  return found;
}

void Finish(const GameLocation& game, const Journal& journal) {
  SettleHistory(game, journal);
  // Only the archives written into are opened: one copied back whole may be missing.
  std::vector<std::optional<ArchiveFile>> files(journal.archives.size());
  for (const auto& w : journal.writes) {
    auto& file = files[w.archive];
    if (!file) file.emplace(game.NativeGamePath(journal.archives[w.archive].first), ArchiveFile::Open::ReadWrite);
    file->WriteAt(w.position, w.bytes);
  }
  for (auto& file : files) {
    if (file) file->Sync();
  }
  for (const uint8_t r : journal.restores) {
    const std::string& archive = journal.archives[r].first;
    CopyWholeFile(game.NativeGamePath(archive + "b"), game.NativeGamePath(archive));
    if (archive == kPropsArchive) SetNormalAttributes(game.NativeGamePath(archive));
  }
  SyncHistoryFolder(game, journal);
}

// Why a journal cannot be used for these archives, or nothing when it can: the
// archives it writes into must still have the lengths they had.
std::optional<std::string> Mismatch(const GameLocation& game, const Journal& journal) {
  for (size_t i = 0; i < journal.archives.size(); ++i) {
    const bool written = std::any_of(journal.writes.begin(), journal.writes.end(),
                                     [i](const Journal::Write& w) { return w.archive == i; });
    const std::string path = game.NativeGamePath(journal.archives[i].first);
    if (written && (!NativeFileExists(path) || NativeFileSize(path) != journal.archives[i].second)) {
      return journal.archives[i].first;
    }
  }
  return std::nullopt;
}

}  // namespace

void ForgetJournal(const std::string& nativePath) {
  // Everything it held is written and flushed: a journal that stays (or comes back
  // after a power cut, as its removal is not flushed) is only finished once more at
  // the next start, harmlessly.
  try {
    RemoveFile(nativePath);
  } catch (const QuorlinError&) {
  }
}

bool LockGameFolder(const GameLocation& game, Shell& shell, FolderLock& lock) {
  if (lock.Held() || lock.TryLock(game.NativeWorkFolder())) return true;
  shell.ShowMessage(text::kBusy, text::kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
  return false;
}

Outcome PrepareToWrite(const GameLocation& game, Shell& shell, FolderLock& lock,
                       const std::vector<std::string>& relativeFiles) {
  if (!LockGameFolder(game, shell, lock)) return Outcome::Refused;
  // The journal and the files themselves; the history folder, where versions are kept
  // and dropped, is ours and lies in the journal's.
  std::vector<std::string> paths = {JournalPath(game)};
  for (const std::string& relative : relativeFiles) paths.push_back(game.NativeGamePath(relative));
  auto refusal = CannotWrite(paths);
  if (!refusal && !FolderWritable(HistoryFolder(game))) {
    refusal = WriteRefusal{HistoryFolder(game), "this user may not change the slot history in it"};
  }
  if (!refusal) return Outcome::Done;
  shell.CannotWrite(text::CannotWrite(refusal->folder, refusal->reason));
  return Outcome::EndProgram;
}

void CommitJournal(const GameLocation& game, const Journal& journal, const std::vector<ArchiveFile*>& archives,
                   const std::vector<std::vector<uint8_t>>& versions, const std::function<void(size_t)>& beforeWrite) {
  const std::string path = JournalPath(game);
  try {
    WriteJournal(game, journal, versions);
    SettleHistory(game, journal);
    for (size_t i = 0; i < journal.writes.size(); ++i) {
      if (beforeWrite) beforeWrite(i);
      archives[journal.writes[i].archive]->WriteAt(journal.writes[i].position, journal.writes[i].bytes);
    }
    for (ArchiveFile* archive : archives) archive->Sync();
    SyncHistoryFolder(game, journal);
  } catch (const QuorlinError& e) {
    if (!NativeFileExists(path)) {  // nothing was written
      RemovePending(game, journal);
      throw;
    }
    throw QuorlinError(e.number(), std::string(e.what()) + " (" + kJournalFile +
                                       " keeps the rest; it is finished when Quorlin next starts)");
  }
  ForgetJournal(path);
}

Outcome RecoverJournal(const GameLocation& game, Shell& shell) {
  const std::string journalPath = JournalPath(game);
  const bool journal = NativeFileExists(journalPath);
  std::vector<std::string> leftovers = Leftovers(game);
  if (!journal && leftovers.empty()) return Outcome::Done;
  // Another copy that holds the lock is still writing: what it left is its own.
  FolderLock lock;
  if (!lock.TryLock(game.NativeWorkFolder())) return Outcome::Done;
  std::string what = "write";
  try {
    std::optional<Journal> found;
    std::optional<std::string> changed;
    if (journal) {
      found = DecodeJournal(ReadWholeFile(journalPath));
      if (found) changed = Mismatch(game, *found);
      // The versions a journal that is to be finished keeps are not left over.
      if (found && !changed) {
        for (const std::string& name : found->keep) std::erase(leftovers, PendingVersionPath(game, name));
      }
    }
    for (const std::string& file : leftovers) {
      RemoveFile(file);
      if (file == PartialJournalPath(game)) shell.Notice(text::kPartialJournalDiscarded);
    }
    if (!journal) return Outcome::Done;
    if (!found) {
      shell.Notice(text::kDamagedJournalDiscarded);
    } else if (changed) {
      shell.Notice(text::JournalNoLongerFits(found->what, *changed));
    } else {
      what = found->what;
      Finish(game, *found);
      shell.Notice(text::JournalFinished(what));
    }
    ForgetJournal(journalPath);
  } catch (const QuorlinError& e) {
    shell.ShowMessage(text::JournalNotFinished(what, e.what()), text::kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    return Outcome::EndProgram;
  }
  return Outcome::Done;
}

void CopyWithProgress(Shell& shell, const std::string& title, const std::string& from, const std::string& to) {
  CopyWholeFile(from, to, [&](uint64_t copied, uint64_t total) { return shell.CopyProgress(title, copied, total); });
}

bool BackupArchive(const GameLocation& game, Shell& shell, const std::string& relativeArchive) {
  if (!game.Exists(relativeArchive)) {
    shell.ShowMessage(text::kMechPathInvalid, text::kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    return false;
  }
  try {
    CopyWithProgress(shell, "Backing Up", game.NativeGamePath(relativeArchive),
                     game.NativeGamePath(relativeArchive + "b"));
  } catch (const QuorlinError& e) {
    shell.ShowMessage(text::BackupFailed(relativeArchive, e.what()), text::kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    return false;
  }
  return true;
}

}  // namespace quorlin
