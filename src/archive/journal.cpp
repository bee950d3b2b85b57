#include "archive/journal.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <filesystem>

#include "archive/archive_copies.h"
#include "archive/skin_index.h"
#include "archive/slot_history.h"
#include "base/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "platform/little_endian.h"

namespace quorlin {

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'L', 'N', 'J', 'R', 'N', '2'};
constexpr char kMagicWithoutHistory[8] = {'Q', 'R', 'L', 'N', 'J', 'R', 'N', '1'};

void PutText(std::vector<uint8_t>& out, const std::string& text) {
  PutU16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

bool KnownArchive(const std::string& name) { return name == kTexturesArchive || name == kPropsArchive; }

// Where the journal is written before it is put in place (named as a leftover).
std::string PartialJournalPath(const GameLocation& game) { return JournalPath(game) + kTemporaryMark + "tmp"; }

std::string InHistory(const GameLocation& game, const std::string& versionName) {
  return FromFsPath(FsPath(HistoryFolder(game)) / FsPath(versionName));
}

void RemovePending(const GameLocation& game, const Journal& journal) {
  for (const std::string& name : journal.Keep) std::remove(PendingVersionPath(game, name).c_str());
}

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
  std::vector<std::optional<ArchiveFile>> files(journal.Archives.size());
  for (const auto& w : journal.Writes) {
    auto& file = files[w.Archive];
    if (!file) file.emplace(game.NativeGamePath(journal.Archives[w.Archive].first), ArchiveFile::Open::ReadWrite);
    file->WriteAt(w.Position, w.Bytes);
  }
  for (auto& file : files) {
    if (file) file->Sync();
  }
  for (const uint8_t r : journal.Restores) RestoreArchive(game, journal.Archives[r].first);
  SyncHistoryFolder(game, journal);
}

// Why a journal cannot be used for these archives, or nothing when it can: the
// archives it writes into must still have the lengths they had.
std::optional<std::string> Mismatch(const GameLocation& game, const Journal& journal) {
  for (size_t i = 0; i < journal.Archives.size(); ++i) {
    const bool written = std::any_of(journal.Writes.begin(), journal.Writes.end(),
                                     [i](const Journal::Write& w) { return w.Archive == i; });
    const std::string path = game.NativeGamePath(journal.Archives[i].first);
    if (written && (!NativeFileExists(path) || NativeFileSize(path) != journal.Archives[i].second)) {
      return journal.Archives[i].first;
    }
  }
  return std::nullopt;
}

}  // namespace

uint64_t FileChecksum(std::span<const uint8_t> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

uint64_t Checksum64(std::span<const uint8_t> bytes) {
  constexpr uint64_t kBasis = 0xcbf29ce484222325ull, kPrime = 0x100000001b3ull;
  const auto word = [&bytes](size_t at) {
    uint64_t w = 0;
    for (int k = 7; k >= 0; --k) w = w << 8 | bytes[at + static_cast<size_t>(k)];
    return w;
  };
  const auto mix = [](uint64_t h, uint64_t w) {
    h = (h ^ w) * kPrime;
    return h ^ (h >> 29);
  };
  // Four lanes over interleaved words keep the multiplier busy; then folded.
  uint64_t lane[4] = {kBasis, kBasis ^ 1, kBasis ^ 2, kBasis ^ 3};
  size_t i = 0;
  for (; i + 32 <= bytes.size(); i += 32) {
    for (size_t j = 0; j < 4; ++j) lane[j] = mix(lane[j], word(i + 8 * j));
  }
  uint64_t h = mix(mix(mix(lane[0], lane[1]), lane[2]), lane[3]);
  for (; i + 8 <= bytes.size(); i += 8) h = mix(h, word(i));
  for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * kPrime;
  return h;
}

std::vector<uint8_t> EncodeJournal(const Journal& journal) {
  size_t size = 64 + journal.What.size();
  for (const auto& w : journal.Writes) size += 13 + w.Bytes.size();
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  out.reserve(size);
  PutText(out, journal.What);
  out.push_back(static_cast<uint8_t>(journal.Archives.size()));
  for (const auto& [name, length] : journal.Archives) {
    PutText(out, name);
    PutU64(out, length);
  }
  PutU32(out, static_cast<uint32_t>(journal.Writes.size()));
  for (const auto& w : journal.Writes) {
    out.push_back(w.Archive);
    PutU64(out, w.Position);
    PutU32(out, static_cast<uint32_t>(w.Bytes.size()));
    out.insert(out.end(), w.Bytes.begin(), w.Bytes.end());
  }
  out.push_back(static_cast<uint8_t>(journal.Restores.size()));
  out.insert(out.end(), journal.Restores.begin(), journal.Restores.end());
  for (const auto* names : {&journal.Keep, &journal.Drop}) {
    out.push_back(static_cast<uint8_t>(names->size()));
    for (const std::string& name : *names) PutText(out, name);
  }
  PutU64(out, FileChecksum(out));
  return out;
}

std::optional<Journal> DecodeJournal(std::span<const uint8_t> bytes) {
  if (bytes.size() < sizeof kMagic + 8) return {};
  const bool history = std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin());
  if (!history && !std::equal(kMagicWithoutHistory, kMagicWithoutHistory + sizeof kMagic, bytes.begin())) return {};
  const auto body = bytes.first(bytes.size() - 8);
  if ((history ? FileChecksum(body) : Checksum64(body)) != ByteReader(bytes.last(8)).U64At(0)) return {};
  try {
    ByteReader in(body.subspan(sizeof kMagic));
    const auto text = [&in] {
      const auto chars = in.Take(in.U16());
      return std::string(chars.begin(), chars.end());
    };
    Journal journal;
    journal.What = text();
    for (int n = in.U8(); n > 0; --n) {
      std::string name = text();
      const uint64_t length = in.U64();
      if (!KnownArchive(name)) return {};
      journal.Archives.emplace_back(std::move(name), length);
    }
    for (uint32_t writes = in.U32(); writes > 0; --writes) {
      Journal::Write w;
      w.Archive = in.U8();
      w.Position = in.U64();
      const auto data = in.Take(in.U32());
      if (w.Archive >= journal.Archives.size()) return {};
      w.Bytes.assign(data.begin(), data.end());
      journal.Writes.push_back(std::move(w));
    }
    for (int n = in.U8(); n > 0; --n) {
      journal.Restores.push_back(in.U8());
      if (journal.Restores.back() >= journal.Archives.size()) return {};
    }
    for (auto* names : {&journal.Keep, &journal.Drop}) {
      for (int n = history ? in.U8() : 0; n > 0; --n) {
        names->push_back(text());
        if (!ParseVersionFileName(names->back())) return {};  // nothing but a version file of ours
      }
    }
    if (in.Position() != in.Size()) return {};  // nothing may follow
    return journal;
  } catch (const QuorlinError&) {
    return {};  // cut short
  }
}

std::string JournalPath(const GameLocation& game) { return game.NativeWorkPath(kJournalName); }

std::string HistoryFolder(const GameLocation& game) { return game.NativeWorkPath(kHistoryFolder); }


std::string PendingVersionPath(const GameLocation& game, const std::string& versionName) {
  return game.NativeWorkPath(versionName + kTemporaryMark + "kept");
}


void SyncHistoryFolder(const GameLocation& game, const Journal& journal) {
  if (!journal.Keep.empty() || !journal.Drop.empty()) SyncFolderOf(InHistory(game, "any"));
}

void WriteJournal(const GameLocation& game, const Journal& journal, const std::vector<std::vector<uint8_t>>& versions) {
  const std::string path = JournalPath(game), temp = PartialJournalPath(game);
  try {
    std::vector<NativeFile> files;
    // Each file's writing begins as soon as it is handed over, so that the flushes
    // below wait for little more than the slowest of them.
    for (size_t i = 0; i < journal.Keep.size(); ++i) {
      files.emplace_back(PendingVersionPath(game, journal.Keep[i]), NativeFile::Access::Create);
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
  if (journal.Keep.empty() && journal.Drop.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(FsPath(HistoryFolder(game)), ec);
  if (ec) throw ErrorFromErrno(ec.value(), "Cannot create the folder", HistoryFolder(game));
  for (const std::string& name : journal.Drop) RemoveFile(InHistory(game, name));
  for (const std::string& name : journal.Keep) {
    const std::string pending = PendingVersionPath(game, name);
    if (NativeFileExists(pending)) RenameOver(pending, InHistory(game, name));
  }
}


void ForgetJournal(const std::string& nativePath) {
  // Everything it held is written and flushed: a journal that stays (or comes back
  // after a power cut, as its removal is not flushed) is only finished once more at
  // the next start, harmlessly.
  try {
    RemoveFile(nativePath);
  } catch (const QuorlinError&) {
  }
}

void CommitJournal(const GameLocation& game, const Journal& journal, const std::vector<ArchiveFile*>& archives,
                   const std::vector<std::vector<uint8_t>>& versions, const std::function<void(size_t)>& beforeWrite) {
  const std::string path = JournalPath(game);
  try {
    WriteJournal(game, journal, versions);
    SettleHistory(game, journal);
    for (size_t i = 0; i < journal.Writes.size(); ++i) {
      if (beforeWrite) beforeWrite(i);
      archives[journal.Writes[i].Archive]->WriteAt(journal.Writes[i].Position, journal.Writes[i].Bytes);
    }
    for (ArchiveFile* archive : archives) archive->Sync();
    SyncHistoryFolder(game, journal);
  } catch (const QuorlinError& e) {
    if (!NativeFileExists(path)) {  // nothing was written
      RemovePending(game, journal);
      throw;
    }
    throw QuorlinError(e.Number(), std::string(e.what()) + " (" + kJournalFile +
                                       " keeps the rest; it is finished when Quorlin next starts)");
  }
  ForgetJournal(path);
}

Recovery RecoverJournal(const GameLocation& game) {
  Recovery recovery;
  const std::string journalPath = JournalPath(game);
  const bool journal = NativeFileExists(journalPath);
  std::vector<std::string> leftovers = Leftovers(game);
  if (!journal && leftovers.empty()) return recovery;
  FolderLock lock;
  if (!lock.TryLock(game.NativeWorkFolder())) return recovery;
  recovery.What = "write";
  try {
    std::optional<Journal> found;
    std::optional<std::string> changed;
    if (journal) {
      found = DecodeJournal(ReadWholeFile(journalPath));
      if (found) changed = Mismatch(game, *found);
      // The versions a journal that is to be finished keeps are not left over.
      if (found && !changed) {
        for (const std::string& name : found->Keep) std::erase(leftovers, PendingVersionPath(game, name));
      }
    }
    for (const std::string& file : leftovers) {
      RemoveFile(file);
      if (file == PartialJournalPath(game)) recovery.PartialJournalDiscarded = true;
    }
    if (!journal) return recovery;
    if (!found) {
      recovery.Journal = Recovery::Found::Damaged;
    } else if (changed) {
      recovery.Journal = Recovery::Found::NoLongerFits;
      recovery.What = found->What;
      recovery.Archive = *changed;
    } else {
      recovery.What = found->What;
      Finish(game, *found);
      recovery.Journal = Recovery::Found::Finished;
    }
    ForgetJournal(journalPath);
  } catch (const QuorlinError& e) {
    recovery.Failure = e.what();
  }
  return recovery;
}

}  // namespace quorlin
