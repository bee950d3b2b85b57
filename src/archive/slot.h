#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_file.h"
#include "archive/journal.h"
#include "archive/skin_index.h"
#include "platform/game_location.h"

namespace quorlin {

// Which of the game's two archives something belongs to.
enum class ArchiveKind : uint8_t { Textures = 0, Props = 1 };

// "resource\textures.mw4", "resource\props.mw4".
const char* ArchiveName(ArchiveKind archive);

// A skin slot's seven entries: texture levels 0..5 in resource\textures.mw4, then the
// lobby preview in resource\props.mw4. A prepared entry holds an uncompressed 24-bit
// Targa image of a square EntrySide(entry) pixels wide, PreparedLength(entry) bytes.
inline constexpr int kSlotEntryCount = 7;
inline constexpr int kLobbyEntry = 6;
ArchiveKind EntryArchive(int entry);
int32_t EntrySide(int entry);
uint32_t PreparedLength(int entry);

// One archive or backup open for a command, with its directory and length. No file
// when it is not there: its directory is then empty and nothing is found in it.
struct OpenArchive {
  ArchiveFile* File = nullptr;
  const ArchiveDirectory* Dir = nullptr;
  uint64_t Length = 0;
};
OpenArchive OpenArchiveAt(OpenArchives& files, const std::string& nativePath,
                          ArchiveFile::Open mode = ArchiveFile::Open::Read);
// One already open, and one that is not there.
OpenArchive Opened(ArchiveFile& file);
OpenArchive NotThere();

// The game's two archives, or their two backups.
struct ArchivePair {
  OpenArchive Textures, Props;
  const OpenArchive& operator[](ArchiveKind kind) const { return kind == ArchiveKind::Textures ? Textures : Props; }
};
ArchivePair OpenGameArchives(OpenArchives& files, const GameLocation& game,
                             ArchiveFile::Open mode = ArchiveFile::Open::Read);
ArchivePair OpenBackups(OpenArchives& files, const GameLocation& game);

// Where one of a slot's entries lies in its archive.
struct EntryPlace {
  enum class PlaceStatus : uint8_t { Found, OutsideDirectory, OutsideFile };
  PlaceStatus Status = PlaceStatus::OutsideDirectory;
  int16_t Position = -1;
  uint64_t Offset = 0;    // DataBase + DataOffset
  uint32_t Length = 0;    // DataLength
  std::string_view Name;  // as stored; points into the archive's directory
  bool Found() const { return Status == PlaceStatus::Found; }
};

struct SlotPlaces {
  int Slot = 0;
  std::array<EntryPlace, kSlotEntryCount> Entries;
};

// The slot's entries at the positions an index gives: the game's skin index for the
// game's archives, IndexByName for backups.
SlotPlaces LocateSlot(const ArchivePair& pair, const SkinIndex& index, int slot);

// Each slot's positions found by name in the pair's own directories, as the skin
// index is built (-1 for a name they lack): a backup made before a game update keeps
// the entries at their old places.
SkinIndex IndexByName(const ArchivePair& pair);

// The bytes of the entries found; none for the others.
using SlotBytes = std::array<std::optional<std::vector<uint8_t>>, kSlotEntryCount>;
SlotBytes ReadSlot(const ArchivePair& pair, const SlotPlaces& places);

// A 128-bit digest of a slot's contents: each entry's length and bytes in order, an
// entry not found counted as such. Equal digests mean equal contents.
struct SlotDigest {
  uint64_t Low = 0, High = 0;
  bool operator==(const SlotDigest&) const = default;
};
// The same over entries held elsewhere (in a version file being made, say).
using SlotView = std::array<std::optional<std::span<const uint8_t>>, kSlotEntryCount>;
SlotView ViewOf(const SlotBytes& bytes);
SlotDigest DigestOf(const SlotView& entries);
SlotDigest DigestOf(const SlotBytes& bytes);
// The same, read straight from the files through a buffer of the caller's.
SlotDigest DigestInPlace(const ArchivePair& pair, const SlotPlaces& places, std::vector<uint8_t>& buffer);

// Adds to a journal the writes that put each entry of `bytes` over the entry at its
// place, naming the archives in the journal as it goes. Every entry with bytes must
// be found and of the same length. Throws QuorlinError naming the entry otherwise,
// with nothing added.
void PlanSlotWrites(Journal& journal, const ArchivePair& pair, const SlotPlaces& places, const SlotBytes& bytes);

// The journal's number for an archive, added with its current length if not yet named.
uint8_t JournalArchive(Journal& journal, ArchiveKind archive, uint64_t length);

}  // namespace quorlin
