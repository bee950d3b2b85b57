#include "archive/safe_writes.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "archive/skin_index.h"
#include "platform/error.h"
#include "platform/file_copy.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "platform/texts.h"

namespace quorlin {

namespace {}  // namespace

std::string JournalPath(const GameLocation& game) { return game.NativeWorkPath(kJournalName); }

namespace {

std::string PartialJournalPath(const GameLocation& game) { return JournalPath(game) + kTemporaryMark + "tmp"; }

// Temporary files an interrupted run of ours left beside the archives.
std::vector<std::string> Leftovers(const GameLocation& game) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(FsPath(game.NativeWorkFolder()), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string path = FromFsPath(it->path());
    if (FromFsPath(it->path().filename()).find(kTemporaryMark) != std::string::npos) found.push_back(path);
  }
  return found;
}

void Finish(const GameLocation& game, const Journal& journal) {
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
  std::vector<std::string> paths = {JournalPath(game)};
  for (const std::string& relative : relativeFiles) paths.push_back(game.NativeGamePath(relative));
  const auto refusal = CannotWrite(paths);
  if (!refusal) return Outcome::Done;
  shell.CannotWrite(text::CannotWrite(refusal->folder, refusal->reason));
  return Outcome::EndProgram;
}

void CommitJournal(const GameLocation& game, const Journal& journal, const std::vector<ArchiveFile*>& archives,
                   const std::function<void(size_t)>& beforeWrite) {
  const std::string path = JournalPath(game);
  try {
    WriteWholeFile(path, EncodeJournal(journal));
    for (size_t i = 0; i < journal.writes.size(); ++i) {
      if (beforeWrite) beforeWrite(i);
      archives[journal.writes[i].archive]->WriteAt(journal.writes[i].position, journal.writes[i].bytes);
    }
    for (ArchiveFile* archive : archives) archive->Sync();
  } catch (const QuorlinError& e) {
    if (!NativeFileExists(path)) throw;  // nothing was written
    throw QuorlinError(e.number(), std::string(e.what()) + " (" + kJournalFile +
                                       " keeps the rest; it is finished when Quorlin next starts)");
  }
  ForgetJournal(path);
}

Outcome RecoverJournal(const GameLocation& game, Shell& shell) {
  const std::string journalPath = JournalPath(game);
  const bool journal = NativeFileExists(journalPath);
  const std::vector<std::string> leftovers = Leftovers(game);
  if (!journal && leftovers.empty()) return Outcome::Done;
  // Another copy that holds the lock is still writing: what it left is its own.
  FolderLock lock;
  if (!lock.TryLock(game.NativeWorkFolder())) return Outcome::Done;
  std::string what = "write";
  try {
    for (const std::string& file : leftovers) {
      RemoveFile(file);
      if (file == PartialJournalPath(game)) shell.Notice(text::kPartialJournalDiscarded);
    }
    if (!journal) return Outcome::Done;
    const std::optional<Journal> found = DecodeJournal(ReadWholeFile(journalPath));
    if (!found) {
      shell.Notice(text::kDamagedJournalDiscarded);
    } else if (const auto changed = Mismatch(game, *found)) {
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
