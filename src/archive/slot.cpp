#include "archive/slot.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>

#include "archive/patch.h"
#include "base/error.h"
#include "platform/paths.h"

namespace quorlin {

const char* ArchiveName(ArchiveKind archive) {
  return archive == ArchiveKind::Textures ? kTexturesArchive : kPropsArchive;
}

ArchiveKind EntryArchive(int entry) { return entry == kLobbyEntry ? ArchiveKind::Props : ArchiveKind::Textures; }

int32_t EntrySide(int entry) { return entry == kLobbyEntry ? kLobbySide : 512 >> entry; }

uint32_t PreparedLength(int entry) {
  return entry == kLobbyEntry ? kRequiredLobbyLength : RequiredTextureLength(entry);
}

OpenArchive NotThere() {
  static const ArchiveDirectory empty = ReadArchiveDirectoryNative("");
  return {nullptr, &empty, 0};
}

OpenArchive Opened(ArchiveFile& file) { return {&file, &file.Directory(), file.Length()}; }

OpenArchive OpenArchiveAt(OpenArchives& files, const std::string& nativePath, ArchiveFile::Open mode) {
  if (!NativeFileExists(nativePath)) return NotThere();
  return Opened(files.Get(nativePath, mode));
}

ArchivePair OpenGameArchives(OpenArchives& files, const GameLocation& game, ArchiveFile::Open mode) {
  return {OpenArchiveAt(files, game.NativeGamePath(kTexturesArchive), mode),
          OpenArchiveAt(files, game.NativeGamePath(kPropsArchive), mode)};
}

ArchivePair OpenBackups(OpenArchives& files, const GameLocation& game) {
  return {OpenArchiveAt(files, game.NativeGamePath(std::string(kTexturesArchive) + "b")),
          OpenArchiveAt(files, game.NativeGamePath(std::string(kPropsArchive) + "b"))};
}

SlotPlaces LocateSlot(const ArchivePair& pair, const SkinIndex& index, int slot) {
  if (slot < 0 || slot > kSlotCount) {
    throw QuorlinError(kErrSubscriptOutOfRange, "Subscript out of range (slot " + std::to_string(slot) + ")");
  }
  SlotPlaces places;
  places.Slot = slot;
  for (int e = 0; e < kSlotEntryCount; ++e) {
    const OpenArchive& a = pair[EntryArchive(e)];
    EntryPlace& place = places.Entries[static_cast<size_t>(e)];
    place.Position = e == kLobbyEntry ? index.PropsSkinIndex[static_cast<size_t>(slot)]
                                      : index.TexturesSkinIndex[static_cast<size_t>(slot)][static_cast<size_t>(e)];
    if (!a.File || place.Position < 0 || static_cast<size_t>(place.Position) >= a.Dir->Directory.size()) continue;
    const DirEntry& entry = a.Dir->Directory[static_cast<size_t>(place.Position)];
    place.Offset = ArchiveDirectory::DataPosition(a.Dir->Header, entry);
    place.Length = entry.DataLength;
    place.Name = entry.Name;
    place.Status =
        EntryInsideFile(a.Dir->Header, entry, a.Length) ? EntryPlace::PlaceStatus::Found : EntryPlace::PlaceStatus::OutsideFile;
  }
  return places;
}

SkinIndex IndexByName(const ArchivePair& pair) {
  SkinIndex index;
  for (auto& levels : index.TexturesSkinIndex) levels.fill(-1);
  index.PropsSkinIndex.fill(-1);
  IndexTextures(*pair.Textures.Dir, index, nullptr);
  IndexProps(*pair.Props.Dir, index, nullptr);
  return index;
}

SlotBytes ReadSlot(const ArchivePair& pair, const SlotPlaces& places) {
  SlotBytes bytes;
  for (int e = 0; e < kSlotEntryCount; ++e) {
    const EntryPlace& place = places.Entries[static_cast<size_t>(e)];
    if (place.Found()) bytes[static_cast<size_t>(e)] = pair[EntryArchive(e)].File->ReadAt(place.Offset, place.Length);
  }
  return bytes;
}

namespace {

// Each entry enters the digest as a presence byte and its length, then its bytes.
void DigestEntryHead(XXH3_state_t& state, bool present, uint32_t length) {
  const uint8_t head[5] = {static_cast<uint8_t>(present), static_cast<uint8_t>(length),
                           static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
                           static_cast<uint8_t>(length >> 24)};
  XXH3_128bits_update(&state, head, sizeof head);
}

SlotDigest Finish(XXH3_state_t& state) {
  const XXH128_hash_t h = XXH3_128bits_digest(&state);
  return {h.low64, h.high64};
}

}  // namespace

SlotView ViewOf(const SlotBytes& bytes) {
  SlotView view;
  for (size_t e = 0; e < bytes.size(); ++e) {
    if (bytes[e]) view[e] = std::span<const uint8_t>(*bytes[e]);
  }
  return view;
}

SlotDigest DigestOf(const SlotBytes& bytes) { return DigestOf(ViewOf(bytes)); }

SlotDigest DigestOf(const SlotView& entries) {
  XXH3_state_t state;
  XXH3_128bits_reset(&state);
  for (const auto& entry : entries) {
    DigestEntryHead(state, entry.has_value(), entry ? static_cast<uint32_t>(entry->size()) : 0);
    if (entry) XXH3_128bits_update(&state, entry->data(), entry->size());
  }
  return Finish(state);
}

SlotDigest DigestInPlace(const ArchivePair& pair, const SlotPlaces& places, std::vector<uint8_t>& buffer) {
  constexpr size_t kChunk = 256 * 1024;
  buffer.resize(kChunk);
  XXH3_state_t state;
  XXH3_128bits_reset(&state);
  for (int e = 0; e < kSlotEntryCount; ++e) {
    const EntryPlace& place = places.Entries[static_cast<size_t>(e)];
    DigestEntryHead(state, place.Found(), place.Found() ? place.Length : 0);
    if (!place.Found()) continue;
    ArchiveFile& file = *pair[EntryArchive(e)].File;
    for (uint64_t done = 0; done < place.Length;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, place.Length - done));
      if (file.ReadAt(place.Offset + done, buffer.data(), n) != n) {
        throw QuorlinError(kErrInputPastEnd, "Input past end of file " + file.Path());
      }
      XXH3_128bits_update(&state, buffer.data(), n);
      done += n;
    }
  }
  return Finish(state);
}

uint8_t JournalArchive(Journal& journal, ArchiveKind archive, uint64_t length) {
  const std::string name = ArchiveName(archive);
  for (size_t i = 0; i < journal.Archives.size(); ++i) {
    if (journal.Archives[i].first == name) return static_cast<uint8_t>(i);
  }
  journal.Archives.emplace_back(name, length);
  return static_cast<uint8_t>(journal.Archives.size() - 1);
}

void PlanSlotWrites(Journal& journal, const ArchivePair& pair, const SlotPlaces& places, const SlotBytes& bytes) {
  for (int e = 0; e < kSlotEntryCount; ++e) {
    const EntryPlace& place = places.Entries[static_cast<size_t>(e)];
    const auto& entry = bytes[static_cast<size_t>(e)];
    if (!entry) continue;
    const std::string archive = ArchiveName(EntryArchive(e));
    if (!place.Found()) {
      throw QuorlinError(kErrInputPastEnd, "Input past end of file: entry " + std::to_string(e) + " of skin " +
                                               std::to_string(places.Slot) + " lies outside " + archive);
    }
    if (entry->size() != place.Length) {
      throw QuorlinError(kErrBadRecord, "Entry " + std::string(place.Name) + " of " + archive + " holds " +
                                            std::to_string(place.Length) + " bytes, not " +
                                            std::to_string(entry->size()));
    }
  }
  for (int e = 0; e < kSlotEntryCount; ++e) {
    const auto& entry = bytes[static_cast<size_t>(e)];
    if (!entry) continue;
    const ArchiveKind kind = EntryArchive(e);
    journal.Writes.push_back(
        {JournalArchive(journal, kind, pair[kind].Length), places.Entries[static_cast<size_t>(e)].Offset, *entry});
  }
}

}  // namespace quorlin
