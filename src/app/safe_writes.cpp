#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/commands.h"
#include "archive/journal.h"
#include "insert/archive_file.h"
#include "platform/error.h"
#include "platform/file_copy.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"

namespace quorlin {

namespace {

constexpr const char* kBusy =
    "Another copy of Quorlin is writing to the game's files right now. Nothing has been changed; try again when it "
    "has finished.";

std::string JournalPath(const GameLocation& game) { return game.NativeGamePath(kJournalFile); }
std::string PartialJournalPath(const GameLocation& game) { return JournalPath(game) + kTemporaryMark + "tmp"; }

// Temporary files an interrupted run of ours left beside the archives.
std::vector<std::string> Leftovers(const GameLocation& game) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(game.NativeGamePath("resource"), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().find(kTemporaryMark) != std::string::npos) found.push_back(it->path().string());
  }
  return found;
}

void Finish(ProgramState& state, const Journal& journal) {
  // Only the archives written into are opened: one copied back whole may be missing.
  std::vector<std::optional<ArchiveFile>> files(journal.archives.size());
  for (const auto& w : journal.writes) {
    auto& file = files[w.archive];
    if (!file) file.emplace(state.Game.NativeGamePath(journal.archives[w.archive].first), ArchiveFile::Open::ReadWrite);
    file->WriteAt(w.position, w.bytes);
  }
  for (auto& file : files) {
    if (file) file->Sync();
  }
  for (const uint8_t r : journal.restores) {
    const std::string& archive = journal.archives[r].first;
    CopyWholeFile(state.Game.NativeGamePath(archive + "b"), state.Game.NativeGamePath(archive));
    if (archive == kPropsArchive) SetNormalAttributes(state.Game.NativeGamePath(archive));
  }
}

// Why a journal cannot be used for these archives, or nothing when it can: the
// archives it writes into must still have the lengths they had.
std::optional<std::string> Mismatch(const ProgramState& state, const Journal& journal) {
  for (size_t i = 0; i < journal.archives.size(); ++i) {
    const bool written = std::any_of(journal.writes.begin(), journal.writes.end(),
                                     [i](const Journal::Write& w) { return w.archive == i; });
    const std::string path = state.Game.NativeGamePath(journal.archives[i].first);
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

bool LockGameFolder(const ProgramState& state, Shell& shell, FolderLock& lock) {
  if (lock.Held() || lock.TryLock(state.Game.NativeGamePath("resource"))) return true;
  shell.ShowMessage(kBusy, kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
  return false;
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

Outcome RecoverJournal(ProgramState& state, Shell& shell) {
  const std::string journalPath = JournalPath(state.Game);
  const bool journal = NativeFileExists(journalPath);
  const std::vector<std::string> leftovers = Leftovers(state.Game);
  if (!journal && leftovers.empty()) return Outcome::Done;
  // Another copy that holds the lock is still writing: what it left is its own.
  FolderLock lock;
  if (!lock.TryLock(state.Game.NativeGamePath("resource"))) return Outcome::Done;
  std::string what = "write";
  try {
    for (const std::string& file : leftovers) {
      RemoveFile(file);
      if (file == PartialJournalPath(state.Game)) {
        shell.Notice(
            "A journal that an interrupted run had not finished writing was discarded; the archives had "
            "not been touched.");
      }
    }
    if (!journal) return Outcome::Done;
    const std::optional<Journal> found = DecodeJournal(ReadWholeFile(journalPath));
    if (!found) {
      shell.Notice(std::string("A damaged journal (") + kJournalFile + ") was found and discarded.");
    } else if (const auto changed = Mismatch(state, *found)) {
      shell.Notice("The journal of an interrupted " + found->what + " no longer fits " + *changed +
                   ", which has changed since; it was discarded and nothing was written.");
    } else {
      what = found->what;
      Finish(state, *found);
      shell.Notice("The interrupted " + what + " was finished from its journal.");
    }
    ForgetJournal(journalPath);
  } catch (const QuorlinError& e) {
    shell.ShowMessage(
        "Could not finish the interrupted " + what + ":\n" + e.what() + "\nIt is tried again when Quorlin next starts.",
        kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    return Outcome::EndProgram;
  }
  return Outcome::Done;
}

}  // namespace quorlin
