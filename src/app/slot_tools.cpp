#include "app/slot_tools.h"

#include <ctime>
#include <filesystem>
#include <optional>

#include "archive/patch.h"
#include "archive/journal.h"
#include "archive/slot_history.h"
#include "image/targa.h"
#include "base/error.h"
#include "platform/folder_lock.h"
#include "platform/native_file.h"
#include "platform/paths.h"
#include "base/texts.h"

namespace fs = std::filesystem;

namespace quorlin {

namespace {

bool Prepared(const ArchiveDirectory& dir, const SkinIndex& index, ArchiveKind archive, int slot) {
  try {
    return archive == ArchiveKind::Textures ? CheckPatch(dir, index, slot) : CheckPatchedProps(dir, index, slot);
  } catch (const QuorlinError&) {
    return false;  // a position outside the directory: not usable
  }
}

// An archive's identity as the commands see the file: none for one they count as
// missing (on Windows a hidden file, which they never open).
FileIdentity ArchiveIdentity(const std::string& nativePath) {
  return NativeFileExists(nativePath) ? IdentityOf(nativePath) : FileIdentity{};
}

// The two archives' identities, or with suffix "b" their backups'.
std::pair<FileIdentity, FileIdentity> GameIdentities(const ProgramState& state, const char* suffix = "") {
  return {ArchiveIdentity(state.Game.NativeGamePath(kTexturesArchive + std::string(suffix))),
          ArchiveIdentity(state.Game.NativeGamePath(kPropsArchive + std::string(suffix)))};
}

// What a command that changed one slot leaves the slot state knowing.
void Record(const ProgramState& state, SlotState known, int slot, const SlotBytes& now, const std::string& picture,
            const std::pair<FileIdentity, FileIdentity>& before) {
  RecordSlotChange(known, slot, DigestOf(now), picture, before, GameIdentities(state));
  SaveSlotState(state.Game, known);
}

// The contents a slot has once `changes` (entries with bytes) are written over `current`.
SlotBytes Changed(const SlotBytes& current, const SlotBytes& changes) {
  SlotBytes after = current;
  for (size_t e = 0; e < after.size(); ++e) {
    if (changes[e]) after[e] = changes[e];
  }
  return after;
}

// Commits a journal that changes one slot, keeping what the slot held as a version
// first when the contents change (dropping `dropped` from the history), and tells the
// status line which archive it restores, as the restores do.
void CommitSlotChange(ProgramState& state, FrontEnd& ui, int slot, Journal& journal, const ArchivePair& archives,
                      const SlotBytes& current, const SlotBytes& after, const SlotState& known,
                      const std::vector<std::string>& dropped, const std::string& statusText = {}) {
  std::vector<std::vector<uint8_t>> versions;
  const SlotDigest was = DigestOf(current);
  journal.Drop = dropped;
  if (was != DigestOf(after)) {
    versions.push_back(KeepVersion(
        journal, HistoryFolder(state.Game), slot,
        EncodeVersion({slot, static_cast<int64_t>(std::time(nullptr)), SourceOf(known, slot, was), current}), dropped));
  }
  std::vector<ArchiveFile*> files;
  for (const auto& [name, length] : journal.Archives) {
    files.push_back(archives[name == kTexturesArchive ? ArchiveKind::Textures : ArchiveKind::Props].File);
  }
  int shown = -1;
  if (!statusText.empty()) ui.SetStatus(statusText, true);
  CommitJournal(state.Game, journal, files, versions, [&](size_t i) {
    const int archive = journal.Writes[i].Archive;
    if (statusText.empty() && archive != shown) ui.SetStatus(text::Restoring(journal.Archives[archive].first), true);
    shown = archive;
  });
}

Outcome Report(FrontEnd& ui, const QuorlinError& e) { return ui.Refuse(text::ErrorReport(e.Number(), e.what())); }

}  // namespace

std::optional<bool> KnownDigests::Differs(int slot) const {
  if (!Game || !Backups) return std::nullopt;
  return Game->BySlot[slot] != Backups->BySlot[slot];
}

KnownDigests ReadKnownDigests(const ProgramState& state) {
  KnownDigests known;
  known.State = LoadSlotState(state.Game);
  bool retaken = false;
  const auto [textures, props] = GameIdentities(state);
  if (textures.File != 0 && props.File != 0) {
    if (TakenOf(known.State.Game, textures, props) && known.State.Game->Positions == PositionsChecksum(state.Index)) {
      known.Game = known.State.Game;
    } else {
      known.Game = TakeDigests(OpenGameArchives(state.Archives, state.Game), state.Index);
      retaken = true;
    }
  }
  const auto [texturesBackup, propsBackup] = GameIdentities(state, "b");
  if (texturesBackup.File != 0 && propsBackup.File != 0) {
    if (TakenOf(known.State.Backups, texturesBackup, propsBackup)) {
      known.Backups = known.State.Backups;
    } else {
      const ArchivePair backups = OpenBackups(state.Archives, state.Game);
      known.Backups = TakeDigests(backups, IndexByName(backups));
      retaken = true;
    }
  }
  if (retaken) {
    known.State.Game = known.Game;
    known.State.Backups = known.Backups;
    SaveSlotState(state.Game, known.State);
  }
  return known;
}

std::vector<SlotStatus> ReadSlotStatus(const ProgramState& state) {
  const ArchivePair archives = OpenGameArchives(state.Archives, state.Game);
  const KnownDigests known = ReadKnownDigests(state);
  std::vector<SlotStatus> rows;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    rows.push_back({slot, Prepared(*archives.Textures.Dir, state.Index, ArchiveKind::Textures, slot),
                    Prepared(*archives.Props.Dir, state.Index, ArchiveKind::Props, slot), known.Differs(slot)});
  }
  return rows;
}

std::vector<SlotLook> ReadSlotLooks(const ProgramState& state) {
  const ArchivePair archives = OpenGameArchives(state.Archives, state.Game);
  const KnownDigests known = ReadKnownDigests(state);
  std::vector<SlotLook> looks;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    SlotLook look{slot, std::nullopt, known.Differs(slot)};
    const SlotPlaces places = LocateSlot(archives, state.Index, slot);
    const EntryPlace& lobby = places.Entries[kLobbyEntry];
    try {
      if (lobby.Found() && lobby.Length == kRequiredLobbyLength) {
        ImageBuffer preview;
        TgaHeader header;
        DecodeTGA(archives.Props.File->ReadAt(lobby.Offset, lobby.Length), preview, header, kPropsArchive);
        if (preview.Width == kLobbySide && preview.Height == kLobbySide) look.Preview = std::move(preview);
      }
    } catch (const QuorlinError&) {
      // not a picture the menu can show: no icon
    }
    looks.push_back(std::move(look));
  }
  return looks;
}

Outcome ExtractSlot(ProgramState& state, FrontEnd& ui, int slot, const std::string& outDir, const PngWriter& png) {
  try {
    std::error_code ec;
    fs::create_directories(FsPath(outDir), ec);
    if (ec) throw QuorlinError(kErrPathNotFound, "Cannot create " + outDir + ": " + ec.message());
    const ArchivePair archives = OpenGameArchives(state.Archives, state.Game);
    const SlotPlaces places = LocateSlot(archives, state.Index, slot);
    for (int e = 0; e < kSlotEntryCount; ++e) {
      const std::string suffix = e == kLobbyEntry ? "lobby" : std::to_string(e);
      const std::string what = "The entry for skin " + std::to_string(slot) + " (" + suffix + ") in " +
                               ArchiveName(EntryArchive(e));
      const EntryPlace& place = places.Entries[static_cast<size_t>(e)];
      if (!place.Found()) throw QuorlinError(kErrInputPastEnd, what + " lies outside the file");
      const auto bytes = archives[EntryArchive(e)].File->ReadAt(place.Offset, place.Length);
      const std::string base = FromFsPath(FsPath(outDir) / ("skin" + std::to_string(slot) + "_" + suffix));
      if (png) {
        ImageBuffer image;
        TgaHeader header;
        try {
          DecodeTGA(bytes, image, header, what);
        } catch (const QuorlinError&) {
          throw QuorlinError(kErrBadRecord, what + " is not an uncompressed 24-bit Targa image");
        }
        png(base + ".png", image);
      } else {
        WriteWholeFile(base + ".tga", bytes);
      }
    }
  } catch (const QuorlinError& e) {
    return Report(ui, e);
  }
  return Outcome::Done;
}

Outcome RestoreSlot(ProgramState& state, FrontEnd& ui, int slot) {
  FolderLock lock;
  if (const Outcome ready = ConfirmRestore(state, ui, lock); ready != Outcome::Done) return ready;

  Journal journal;
  journal.What = "restore of slot " + std::to_string(slot);
  try {
    // Every check first: both backups there, the slot prepared in the archives,
    // each entry inside both files and of the same length in both; and both
    // archives open for writing before either is written.
    for (const ArchiveKind kind : {ArchiveKind::Textures, ArchiveKind::Props}) {
      const std::string relative = ArchiveName(kind);
      if (!state.Game.Exists(relative + "b")) {
        return ui.Refuse(kind == ArchiveKind::Textures ? text::kNoTexturesBackup : text::kNoPropsBackup);
      }
      if (!state.Game.Exists(relative)) return ui.Refuse(text::kPathInvalid);
    }
    const ArchivePair archives = OpenGameArchives(state.Archives, state.Game, ArchiveFile::Open::ReadWrite);
    const ArchivePair backups = OpenBackups(state.Archives, state.Game);
    for (const ArchiveKind kind : {ArchiveKind::Textures, ArchiveKind::Props}) {
      if (!Prepared(*archives[kind].Dir, state.Index, kind, slot)) {
        ui.ShowMessage(text::kZandelRequired,
                          kind == ArchiveKind::Textures ? text::kTexturesNotPatched : text::kPropsNotPatched,
                          MessageIcon::None, MessageButtons::Ok);
        return Outcome::Refused;
      }
    }
    const SlotPlaces places = LocateSlot(archives, state.Index, slot);
    const SlotPlaces inBackups = LocateSlot(backups, IndexByName(backups), slot);
    for (int e = 0; e < kSlotEntryCount; ++e) {
      const EntryPlace& target = places.Entries[static_cast<size_t>(e)];
      const EntryPlace& source = inBackups.Entries[static_cast<size_t>(e)];
      const std::string relative = ArchiveName(EntryArchive(e));
      if (!target.Found()) {
        throw QuorlinError(kErrInputPastEnd,
                           "Input past end of file: entry " + std::string(target.Name) + " of " + relative);
      }
      if (!source.Found() || source.Length != target.Length) {
        throw QuorlinError(kErrBadRecord, "The backup " + relative + "b has no entry like " + std::string(target.Name));
      }
    }
    const SlotBytes original = ReadSlot(backups, inBackups);
    const SlotBytes current = ReadSlot(archives, places);
    PlanSlotWrites(journal, archives, places, original);
    const SlotState known = LoadSlotState(state.Game);
    const auto before = GameIdentities(state);
    CommitSlotChange(state, ui, slot, journal, archives, current, original, known, {});
    Record(state, known, slot, original, "", before);
  } catch (const QuorlinError& e) {
    return Report(ui, e);
  }
  ui.SetStatus(text::kDone, true);
  return Outcome::Done;
}

Outcome UndoLastChange(ProgramState& state, FrontEnd& ui, int slot) {
  FolderLock lock;
  if (const Outcome ready = ConfirmRestore(state, ui, lock); ready != Outcome::Done) return ready;
  try {
    const std::vector<KeptVersion> versions = ListVersions(HistoryFolder(state.Game), slot);
    if (versions.empty()) return ui.Refuse(text::NothingToUndo(slot), MessageIcon::Information);
    const KeptVersion& newest = versions.front();
    VersionFault fault = VersionFault::None;
    const std::optional<SlotVersion> version = DecodeVersion(ReadWholeFile(newest.Path), fault);
    if (!version) {
      return ui.Refuse(
          text::VersionUnusable(newest.Path, fault == VersionFault::Cut ? text::kVersionCut : text::kVersionDamaged));
    }
    if (version->Slot != slot) return ui.Refuse(text::VersionUnusable(newest.Path, text::VersionOfOtherSlot(slot)));
    if (!state.Game.Exists(kTexturesArchive) || !state.Game.Exists(kPropsArchive)) {
      return ui.Refuse(text::kPathInvalid);
    }
    const ArchivePair archives = OpenGameArchives(state.Archives, state.Game, ArchiveFile::Open::ReadWrite);
    const SlotPlaces places = LocateSlot(archives, state.Index, slot);
    for (int e = 0; e < kSlotEntryCount; ++e) {
      const auto& kept = version->Entries[static_cast<size_t>(e)];
      const EntryPlace& place = places.Entries[static_cast<size_t>(e)];
      if (kept && (!place.Found() || place.Length != kept->size())) {
        return ui.Refuse(
            text::VersionUnusable(newest.Path, text::VersionForOtherEntries(slot, ArchiveName(EntryArchive(e)))));
      }
    }
    const SlotBytes current = ReadSlot(archives, places);
    Journal journal;
    journal.What = "undo of slot " + std::to_string(slot);
    PlanSlotWrites(journal, archives, places, version->Entries);
    const SlotState known = LoadSlotState(state.Game);
    const auto before = GameIdentities(state);
    const SlotBytes after = Changed(current, version->Entries);
    CommitSlotChange(state, ui, slot, journal, archives, current, after, known,
                     {FromFsPath(FsPath(newest.Path).filename())}, text::UndoingSlot(slot));
    Record(state, known, slot, after, version->Picture, before);
  } catch (const QuorlinError& e) {
    return Report(ui, e);
  }
  ui.SetStatus(text::kDone, true);
  return Outcome::Done;
}

std::vector<VersionInfo> ListSlotHistory(const ProgramState& state, int slot) {
  const KnownDigests known = ReadKnownDigests(state);
  std::vector<VersionInfo> list;
  for (const KeptVersion& kept : ListVersions(HistoryFolder(state.Game), slot)) {
    VersionInfo info;
    info.Number = kept.Number;
    info.Path = kept.Path;
    VersionFault fault = VersionFault::None;
    std::optional<SlotVersion> version;
    try {
      version = DecodeVersion(ReadWholeFile(kept.Path), fault);
    } catch (const QuorlinError& e) {
      info.Fault = std::string("cannot be read (") + e.what() + ")";
    }
    if (version && version->Slot != slot) info.Fault = text::VersionOfOtherSlot(slot);
    if (version && info.Fault.empty()) {
      info.Time = version->Time;
      info.Picture = version->Picture;
      if (known.Backups) info.Original = DigestOf(version->Entries) == known.Backups->BySlot[slot];
    } else if (info.Fault.empty()) {
      info.Fault = fault == VersionFault::Cut ? text::kVersionCut : text::kVersionDamaged;
    }
    list.push_back(std::move(info));
  }
  return list;
}

}  // namespace quorlin
