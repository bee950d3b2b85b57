#include "app/slot_tools.h"

#include <filesystem>
#include <fstream>

#include "archive/patch.h"
#include "insert/archive_file.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace quorlin {

namespace {

// The slot's directory positions: six texture levels, then the lobby preview.
struct SlotEntry {
  const char* archive;
  int16_t position;
  std::string fileSuffix;  // "0".."5", "lobby"
};

std::vector<SlotEntry> EntriesOf(const ProgramState& state, int slot) {
  std::vector<SlotEntry> entries;
  for (int level = 0; level < kLevelCount; ++level) {
    entries.push_back({kTexturesArchive,
                       state.Index.TexturesSkinIndex.at(static_cast<size_t>(slot))[static_cast<size_t>(level)],
                       std::to_string(level)});
  }
  entries.push_back({kPropsArchive, state.Index.PropsSkinIndex.at(static_cast<size_t>(slot)), "lobby"});
  return entries;
}

// An entry's bytes, or nothing when the position lies outside the directory or
// the data outside the file.
std::optional<std::vector<uint8_t>> EntryBytes(const std::string& nativePath, const ArchiveDirectory& dir,
                                               uint64_t fileLength, int16_t position) {
  if (position < 0 || static_cast<size_t>(position) >= dir.Directory.size()) return std::nullopt;
  const DirEntry& e = dir.Directory[static_cast<size_t>(position)];
  if (!EntryInsideFile(dir.Header, e, fileLength)) return std::nullopt;
  return ReadFileRange(nativePath, ArchiveDirectory::DataPosition(dir.Header, e), e.DataLength);
}

struct OpenedArchive {
  std::string path;
  ArchiveDirectory dir;
  uint64_t length = 0;
};

OpenedArchive Open(const ProgramState& state, const std::string& relative) {
  OpenedArchive a;
  a.path = state.Game.NativeGamePath(relative);
  a.dir = ReadArchiveDirectoryNative(a.path);
  a.length = NativeFileExists(a.path) ? NativeFileSize(a.path) : 0;
  return a;
}

bool Prepared(const ArchiveDirectory& dir, const SkinIndex& index, const char* archive, int slot) {
  try {
    return archive == kTexturesArchive ? TexturesPrepared(dir, index, slot) : PropsPrepared(dir, index, slot);
  } catch (const QuorlinError&) {
    return false;  // a position outside the directory: not usable
  }
}

}  // namespace

std::vector<SlotStatus> ReadSlotStatus(const ProgramState& state) {
  const OpenedArchive textures = Open(state, kTexturesArchive);
  const OpenedArchive props = Open(state, kPropsArchive);
  const bool backups =
      state.Game.Exists(std::string(kTexturesArchive) + "b") && state.Game.Exists(std::string(kPropsArchive) + "b");
  OpenedArchive texturesBackup;
  OpenedArchive propsBackup;
  if (backups) {
    texturesBackup = Open(state, std::string(kTexturesArchive) + "b");
    propsBackup = Open(state, std::string(kPropsArchive) + "b");
  }
  std::vector<SlotStatus> rows;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    SlotStatus row;
    row.slot = slot;
    row.texturesPrepared = Prepared(textures.dir, state.Index, kTexturesArchive, slot);
    row.propsPrepared = Prepared(props.dir, state.Index, kPropsArchive, slot);
    if (backups) {
      bool differs = false;
      for (const SlotEntry& entry : EntriesOf(state, slot)) {
        const bool isTextures = entry.archive == kTexturesArchive;
        const OpenedArchive& a = isTextures ? textures : props;
        const OpenedArchive& b = isTextures ? texturesBackup : propsBackup;
        if (EntryBytes(a.path, a.dir, a.length, entry.position) !=
            EntryBytes(b.path, b.dir, b.length, entry.position)) {
          differs = true;
          break;
        }
      }
      row.differsFromBackup = differs;
    }
    rows.push_back(row);
  }
  return rows;
}

Outcome ExtractSlot(ProgramState& state, Shell& shell, int slot, const std::string& outDir, const PngWriter& png) {
  try {
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) throw QuorlinError(kErrPathNotFound, "Cannot create " + outDir + ": " + ec.message());
    const OpenedArchive textures = Open(state, kTexturesArchive);
    const OpenedArchive props = Open(state, kPropsArchive);
    for (const SlotEntry& entry : EntriesOf(state, slot)) {
      const OpenedArchive& a = entry.archive == kTexturesArchive ? textures : props;
      const auto bytes = EntryBytes(a.path, a.dir, a.length, entry.position);
      if (!bytes) {
        throw QuorlinError(kErrInputPastEnd, "The entry for skin " + std::to_string(slot) + " (" + entry.fileSuffix +
                                                 ") lies outside " + std::string(entry.archive));
      }
      const std::string base = (fs::path(outDir) / ("skin" + std::to_string(slot) + "_" + entry.fileSuffix)).string();
      if (png) {
        ImageBuffer image;
        TgaHeader header;
        if (DecodeTGA(*bytes, image, header) != TgaStatus::Ok) {
          throw QuorlinError(kErrBadRecord, "The entry for skin " + std::to_string(slot) + " (" + entry.fileSuffix +
                                                ") in " + std::string(entry.archive) +
                                                " is not an uncompressed 24-bit Targa image");
        }
        std::string reason;
        if (!png(base + ".png", image, reason)) throw QuorlinError(kErrPathFileAccess, reason);
      } else {
        std::ofstream out(base + ".tga", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        out.close();
        if (!out) throw QuorlinError(kErrPathFileAccess, "Cannot write " + base + ".tga");
      }
    }
  } catch (const QuorlinError& e) {
    shell.ShowMessage("Error " + std::to_string(e.number()) + "\n" + e.what(), kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    return Outcome::Refused;
  }
  return Outcome::Done;
}

Outcome RestoreSlot(ProgramState& state, Shell& shell, int slot) {
  const MessageAnswer answer =
      shell.ShowMessage("Restoring may require you to rerun the Zandel!\nDo you wish to continue?", "Continue?",
                        MessageIcon::Information, MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return Outcome::Refused;

  struct Pending {
    const char* archive;
    uint64_t position;
    std::vector<uint8_t> bytes;
  };
  std::vector<Pending> pending;
  try {
    // Every check first: both backups there, the slot prepared in the archives,
    // each entry inside both files and of the same length in both.
    for (const char* archive : {kTexturesArchive, kPropsArchive}) {
      const std::string relative = archive;
      if (!state.Game.Exists(relative + "b")) {
        shell.ShowMessage(
            archive == kTexturesArchive ? "Backup texture file doesn't exist!" : "Backup props file doesn't exists!",
            kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
        return Outcome::Refused;
      }
      if (!state.Game.Exists(relative)) {
        shell.ShowMessage("Mechwarrior path is invalid!", kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
        return Outcome::Refused;
      }
      const OpenedArchive current = Open(state, relative);
      const OpenedArchive backup = Open(state, relative + "b");
      if (!Prepared(current.dir, state.Index, archive, slot)) {
        shell.ShowMessage("The Zandel is required to use the Quorlin tool!",
                          archive == kTexturesArchive ? "textures.mw4 not patched!" : "props.mw4 not patched!",
                          MessageIcon::None, MessageButtons::Ok);
        return Outcome::Refused;
      }
      for (const SlotEntry& entry : EntriesOf(state, slot)) {
        if (entry.archive != archive) continue;
        const DirEntry& target = current.dir.At(entry.position);
        if (!EntryInsideFile(current.dir.Header, target, current.length)) {
          throw QuorlinError(kErrInputPastEnd, "Input past end of file: entry " + target.Name + " of " + relative);
        }
        auto bytes = EntryBytes(backup.path, backup.dir, backup.length, entry.position);
        if (!bytes || bytes->size() != target.DataLength) {
          throw QuorlinError(kErrBadRecord, "The backup " + relative + "b has no entry like " + target.Name);
        }
        pending.push_back({archive, ArchiveDirectory::DataPosition(current.dir.Header, target), std::move(*bytes)});
      }
    }
    // Both archives open for writing before either is written, so a read-only
    // lobby archive cannot leave the textures restored alone.
    ArchiveFile texturesFile(state.Game.NativeGamePath(kTexturesArchive), state.Game.GamePath(kTexturesArchive));
    ArchiveFile propsFile(state.Game.NativeGamePath(kPropsArchive), state.Game.GamePath(kPropsArchive));
    for (const char* archive : {kTexturesArchive, kPropsArchive}) {
      shell.SetStatus("Restoring " + std::string(archive) + " from backup", true);
      ArchiveFile& file = archive == kTexturesArchive ? texturesFile : propsFile;
      for (const Pending& p : pending) {
        if (p.archive == archive) file.WriteAt(p.position, p.bytes);
      }
      file.Close();
    }
  } catch (const QuorlinError& e) {
    shell.ShowMessage("Error " + std::to_string(e.number()) + "\n" + e.what(), kProgramTitle, MessageIcon::Critical,
                      MessageButtons::Ok);
    return Outcome::Refused;
  }
  shell.SetStatus("Done.", true);
  return Outcome::Done;
}

}  // namespace quorlin
