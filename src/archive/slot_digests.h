#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/slot.h"
#include "platform/game_location.h"
#include "platform/native_file.h"

namespace quorlin {

// What is known of each slot's contents, kept in resource\quorlin.slots: a digest of
// the seven entries of each slot 9..37 in the game's archives and in the backups,
// with the identities of the files (and the entry positions) they were taken of, and
// the name of the picture that made each slot's contents. Like a version-control
// index, it answers whether a slot differs from its backup from a small file for as
// long as neither archive nor backup has changed, instead of reading some sixty
// megabytes of entries. It is only ever a cache: missing, damaged or outdated, it is
// made anew from the files.
//
// Layout (little-endian):
//   0  "QRLNSLT1"
//   8  per pair (the game's archives, then the backups): u8 known; when known,
//      per file (textures, props) u64 device, u64 file, u64 size, i64 modified,
//      i64 changed; u64 positions; per slot 9..37 u64 low, u64 high
//      per slot 9..37: u64 low, u64 high (the contents the name is of), u16 length,
//      picture name
//   end - 8  u64 FileChecksum of everything before it
struct PairDigests {
  FileIdentity Textures, Props;
  uint64_t Positions = 0;  // FileChecksum of the entry positions the digests were taken at
  std::array<SlotDigest, kSlotCount + 1> BySlot{};
  bool operator==(const PairDigests&) const = default;
};

// The picture whose insert made a slot's contents, while the slot holds them.
struct SlotSource {
  SlotDigest Contents;
  std::string Picture;
  bool operator==(const SlotSource&) const = default;
};

struct SlotState {
  std::optional<PairDigests> Game, Backups;
  std::array<SlotSource, kSlotCount + 1> Sources{};
  bool operator==(const SlotState&) const = default;
};

inline constexpr const char* kSlotStateName = "quorlin.slots";

std::vector<uint8_t> EncodeSlotState(const SlotState& state);
// Nothing for bytes that are cut, damaged or not such a file.
std::optional<SlotState> DecodeSlotState(std::span<const uint8_t> bytes);

// The checksum of the positions a pair's slot digests are taken at.
uint64_t PositionsChecksum(const SkinIndex& index);

// Whether digests known of a pair were taken of these very files.
bool TakenOf(const std::optional<PairDigests>& known, const FileIdentity& textures, const FileIdentity& props);

// Takes every slot's digest of a pair anew (both files there), at an index's positions.
PairDigests TakeDigests(const ArchivePair& pair, const SkinIndex& index);

// The state file of a game: what it holds (nothing known when it is missing or
// damaged), and writing it back, which never fails a command: a state that cannot be
// written is made anew next time.
SlotState LoadSlotState(const GameLocation& game);
void SaveSlotState(const GameLocation& game, const SlotState& state);

// After a command changed a slot in the game's archives, which had the identities
// `before` when the command read them and have `after` now: the slot holds contents
// with digest `now`, made by `picture` (empty: none known). The other slots' digests
// stay known only if nothing else changed the archives meanwhile.
void RecordSlotChange(SlotState& state, int slot, const SlotDigest& now, const std::string& picture,
                      const std::pair<FileIdentity, FileIdentity>& before,
                      const std::pair<FileIdentity, FileIdentity>& after);

// The picture that made contents with this digest in the slot, if known.
std::string SourceOf(const SlotState& state, int slot, const SlotDigest& contents);

}  // namespace quorlin
