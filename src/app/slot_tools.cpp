#include "app/slot_tools.h"

#include <cstring>
#include <filesystem>
#include <optional>

#include "archive/patch.h"
#include "archive/safe_writes.h"
#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "platform/texts.h"

namespace fs = std::filesystem;

namespace quorlin {

namespace {

// The slot's directory positions: six texture levels, then the lobby preview.
struct SlotEntry {
  const char* archive;
  int16_t position;
  std::string fileSuffix;  // "0".."5", "lobby"
};

std::vector<SlotEntry> EntriesOf(const SkinIndex& index, int slot) {
  std::vector<SlotEntry> entries;
  for (int level = 0; level < kLevelCount; ++level) {
    entries.push_back({kTexturesArchive,
                       index.TexturesSkinIndex.at(static_cast<size_t>(slot))[static_cast<size_t>(level)],
                       std::to_string(level)});
  }
  entries.push_back({kPropsArchive, index.PropsSkinIndex.at(static_cast<size_t>(slot)), "lobby"});
  return entries;
}

// Where each slot's entries lie in the backups, found by name in their own
// directories as the skin index is (-1 for a name they lack): a backup made before
// a game update keeps the entries at their old places.
SkinIndex BackupIndex(const ArchiveDirectory& textures, const ArchiveDirectory& props) {
  SkinIndex index;
  for (auto& levels : index.TexturesSkinIndex) levels.fill(-1);
  index.PropsSkinIndex.fill(-1);
  IndexTextures(textures, index, nullptr);
  IndexProps(props, index, nullptr);
  return index;
}

// An archive or backup opened once for the command, with its directory.
struct OpenedArchive {
  ArchiveFile* file = nullptr;  // none when the file is not there
  const ArchiveDirectory* dir = nullptr;
  uint64_t length = 0;
};

OpenedArchive Open(const ProgramState& state, const std::string& relative,
                   ArchiveFile::Open mode = ArchiveFile::Open::Read) {
  static const ArchiveDirectory empty = ReadArchiveDirectoryNative("");
  OpenedArchive a;
  a.dir = &empty;
  const std::string path = state.Game.NativeGamePath(relative);
  if (!NativeFileExists(path)) return a;
  a.file = &state.Archives.Get(path, mode);
  a.dir = &a.file->Directory();
  a.length = a.file->Length();
  return a;
}

// Where an entry's data lies (offset, length), or nothing when the position lies
// outside the directory or the data outside the file.
std::optional<std::pair<uint64_t, uint32_t>> EntryPlace(const OpenedArchive& a, int16_t position) {
  if (!a.file || position < 0 || static_cast<size_t>(position) >= a.dir->Directory.size()) return std::nullopt;
  const DirEntry& e = a.dir->Directory[static_cast<size_t>(position)];
  if (!EntryInsideFile(a.dir->Header, e, a.length)) return std::nullopt;
  return std::pair{ArchiveDirectory::DataPosition(a.dir->Header, e), e.DataLength};
}

std::optional<std::vector<uint8_t>> EntryBytes(OpenedArchive& a, int16_t position) {
  const auto place = EntryPlace(a, position);
  if (!place) return std::nullopt;
  return a.file->ReadAt(place->first, place->second);
}

// Compares byte ranges of two files a chunk at a time, through two buffers that
// serve every comparison. Only the compared bytes are read and nothing is mapped:
// reading page-cached bytes costs less than faulting them into the program and
// giving them back, and none of them count towards the program's memory.
class RangeComparer {
 public:
  bool Same(ArchiveFile& a, uint64_t atA, ArchiveFile& b, uint64_t atB, uint64_t length) {
    bufferA_.resize(kChunk);
    bufferB_.resize(kChunk);
    for (uint64_t done = 0; done < length;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, length - done));
      if (a.ReadAt(atA + done, bufferA_.data(), n) != n || b.ReadAt(atB + done, bufferB_.data(), n) != n ||
          std::memcmp(bufferA_.data(), bufferB_.data(), n) != 0) {
        return false;
      }
      done += n;
    }
    return true;
  }

 private:
  static constexpr size_t kChunk = 256 * 1024;
  std::vector<uint8_t> bufferA_, bufferB_;
};

// A backup opened for comparing with its archive. A backup made of an unchanged
// archive starts with the same header and records, and then shares its parsed
// directory instead of being parsed anew.
OpenedArchive OpenBackup(const ProgramState& state, const std::string& relative, OpenedArchive& original,
                         RangeComparer& comparer) {
  const std::string path = state.Game.NativeGamePath(relative + "b");
  if (!original.file || original.dir->Bytes == 0 || !NativeFileExists(path)) return Open(state, relative + "b");
  OpenedArchive b;
  b.file = &state.Archives.Get(path, ArchiveFile::Open::Read);
  b.length = b.file->Length();
  const uint64_t bytes = original.dir->Bytes;
  if (b.length >= bytes && comparer.Same(*original.file, 0, *b.file, 0, bytes)) {
    b.dir = original.dir;
  } else {
    b.dir = &b.file->Directory();
  }
  return b;
}

// Whether an entry of an archive and one of its backup hold the same bytes (or
// neither is there).
bool SameEntry(const OpenedArchive& a, int16_t atA, const OpenedArchive& b, int16_t atB, RangeComparer& comparer) {
  const auto pa = EntryPlace(a, atA);
  const auto pb = EntryPlace(b, atB);
  if (!pa || !pb) return !pa && !pb;
  return pa->second == pb->second && comparer.Same(*a.file, pa->first, *b.file, pb->first, pa->second);
}

bool Prepared(const ArchiveDirectory& dir, const SkinIndex& index, const char* archive, int slot) {
  try {
    return archive == kTexturesArchive ? CheckPatch(dir, index, slot) : CheckPatchedProps(dir, index, slot);
  } catch (const QuorlinError&) {
    return false;  // a position outside the directory: not usable
  }
}

}  // namespace

std::vector<SlotStatus> ReadSlotStatus(const ProgramState& state) {
  OpenedArchive textures = Open(state, kTexturesArchive);
  OpenedArchive props = Open(state, kPropsArchive);
  const bool backups =
      state.Game.Exists(std::string(kTexturesArchive) + "b") && state.Game.Exists(std::string(kPropsArchive) + "b");
  RangeComparer comparer;
  OpenedArchive texturesBackup = backups ? OpenBackup(state, kTexturesArchive, textures, comparer) : OpenedArchive{};
  OpenedArchive propsBackup = backups ? OpenBackup(state, kPropsArchive, props, comparer) : OpenedArchive{};
  std::vector<SlotStatus> rows;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    SlotStatus row;
    row.slot = slot;
    row.texturesPrepared = Prepared(*textures.dir, state.Index, kTexturesArchive, slot);
    row.propsPrepared = Prepared(*props.dir, state.Index, kPropsArchive, slot);
    rows.push_back(row);
  }
  if (!backups) return rows;

  // Backups that share the archives' directories have their entries at the same places.
  const bool shared = texturesBackup.dir == textures.dir && propsBackup.dir == props.dir;
  const SkinIndex backupIndex = shared ? state.Index : BackupIndex(*texturesBackup.dir, *propsBackup.dir);
  for (SlotStatus& row : rows) {
    const auto entries = EntriesOf(state.Index, row.slot), inBackups = EntriesOf(backupIndex, row.slot);
    row.differsFromBackup = false;
    for (size_t i = 0; i < entries.size() && !*row.differsFromBackup; ++i) {
      const bool inTextures = entries[i].archive == kTexturesArchive;
      row.differsFromBackup = !SameEntry(inTextures ? textures : props, entries[i].position,
                                         inTextures ? texturesBackup : propsBackup, inBackups[i].position, comparer);
    }
  }
  return rows;
}

Outcome ExtractSlot(ProgramState& state, Shell& shell, int slot, const std::string& outDir, const PngWriter& png) {
  try {
    std::error_code ec;
    fs::create_directories(FsPath(outDir), ec);
    if (ec) throw QuorlinError(kErrPathNotFound, "Cannot create " + outDir + ": " + ec.message());
    OpenedArchive textures = Open(state, kTexturesArchive);
    OpenedArchive props = Open(state, kPropsArchive);
    for (const SlotEntry& entry : EntriesOf(state.Index, slot)) {
      const auto bytes = EntryBytes(entry.archive == kTexturesArchive ? textures : props, entry.position);
      const std::string what =
          "The entry for skin " + std::to_string(slot) + " (" + entry.fileSuffix + ") in " + std::string(entry.archive);
      if (!bytes) throw QuorlinError(kErrInputPastEnd, what + " lies outside the file");
      const std::string base = FromFsPath(FsPath(outDir) / ("skin" + std::to_string(slot) + "_" + entry.fileSuffix));
      if (png) {
        ImageBuffer image;
        TgaHeader header;
        try {
          DecodeTGA(*bytes, image, header, what);
        } catch (const QuorlinError&) {
          throw QuorlinError(kErrBadRecord, what + " is not an uncompressed 24-bit Targa image");
        }
        png(base + ".png", image);
      } else {
        WriteWholeFile(base + ".tga", *bytes);
      }
    }
  } catch (const QuorlinError& e) {
    shell.ShowMessage(text::ErrorReport(e.number(), e.what()), text::kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    return Outcome::Refused;
  }
  return Outcome::Done;
}

Outcome RestoreSlot(ProgramState& state, Shell& shell, int slot) {
  FolderLock lock;
  if (const Outcome ready = ConfirmRestore(state, shell, lock); ready != Outcome::Done) return ready;

  Journal journal;
  journal.what = "restore of slot " + std::to_string(slot);
  try {
    // Every check first: both backups there, the slot prepared in the archives,
    // each entry inside both files and of the same length in both; and both
    // archives open for writing before either is written.
    OpenedArchive archives[2], backups[2];
    const char* const names[2] = {kTexturesArchive, kPropsArchive};
    for (int i = 0; i < 2; ++i) {
      const std::string relative = names[i];
      if (!state.Game.Exists(relative + "b")) {
        shell.ShowMessage(i == 0 ? text::kNoTexturesBackup : text::kNoPropsBackup, text::kProgramTitle,
                          MessageIcon::Critical, MessageButtons::Ok);
        return Outcome::Refused;
      }
      if (!state.Game.Exists(relative)) {
        shell.ShowMessage(text::kPathInvalid, text::kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
        return Outcome::Refused;
      }
      archives[i] = Open(state, relative, ArchiveFile::Open::ReadWrite);
      backups[i] = Open(state, relative + "b");
      if (!Prepared(*archives[i].dir, state.Index, names[i], slot)) {
        shell.ShowMessage(text::kZandelRequired, i == 0 ? text::kTexturesNotPatched : text::kPropsNotPatched,
                          MessageIcon::None, MessageButtons::Ok);
        return Outcome::Refused;
      }
      journal.archives.emplace_back(relative, archives[i].length);
    }
    const auto entries = EntriesOf(state.Index, slot);
    const auto inBackups = EntriesOf(BackupIndex(*backups[0].dir, *backups[1].dir), slot);
    for (size_t e = 0; e < entries.size(); ++e) {
      const uint8_t i = entries[e].archive == kTexturesArchive ? 0 : 1;
      const OpenedArchive& current = archives[i];
      const DirEntry& target = current.dir->At(entries[e].position);
      const std::string relative = names[i];
      if (!EntryInsideFile(current.dir->Header, target, current.length)) {
        throw QuorlinError(kErrInputPastEnd,
                           "Input past end of file: entry " + std::string(target.Name) + " of " + relative);
      }
      auto bytes = EntryBytes(backups[i], inBackups[e].position);
      if (!bytes || bytes->size() != target.DataLength) {
        throw QuorlinError(kErrBadRecord, "The backup " + relative + "b has no entry like " + std::string(target.Name));
      }
      journal.writes.push_back({i, ArchiveDirectory::DataPosition(current.dir->Header, target), std::move(*bytes)});
    }
    int shown = -1;
    CommitJournal(state.Game, journal, {archives[0].file, archives[1].file}, [&](size_t i) {
      const int archive = journal.writes[i].archive;
      if (archive != shown) shell.SetStatus(text::Restoring(journal.archives[archive].first), true);
      shown = archive;
    });
  } catch (const QuorlinError& e) {
    shell.ShowMessage(text::ErrorReport(e.number(), e.what()), text::kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    return Outcome::Refused;
  }
  shell.SetStatus(text::kDone, true);
  return Outcome::Done;
}

}  // namespace quorlin
