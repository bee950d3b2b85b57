#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "platform/game_location.h"

namespace quorlin {

inline constexpr int kSlotCount = 37;  // slots 1..37
inline constexpr int kLevelCount = 6;  // texture levels 0..5
inline constexpr int kFirstMenuSlot = 9;
inline constexpr int kLastMenuSlot = 37;
inline constexpr size_t kTexturesIndexFileSize = 444;
inline constexpr size_t kPropsIndexFileSize = 74;


// Directory positions of each slot's entries. Slot 0 is never filled.
struct SkinIndex {
  std::array<std::array<int16_t, kLevelCount>, kSlotCount + 1> TexturesSkinIndex{};
  std::array<int16_t, kSlotCount + 1> PropsSkinIndex{};
};

// "0".."9" for 0..9, "a".."z" for 10..35.
std::string SlotChar(int n);
// textures\skinXL.tga (slot 37: textures\skin_L.tga), lower case.
std::string ExpectedTextureName(int slot, int level);
// shellscripts\graphics\multiplayer\lobbyskins\skinX4.tga (slot 37: skin_4.tga).
std::string ExpectedLobbyName(int slot);

// Index files: 16-bit signed little-endian values, back to back.
std::vector<uint8_t> EncodeTexturesIndex(const SkinIndex& index);
std::vector<uint8_t> EncodePropsIndex(const SkinIndex& index);
// A short file fills the values it lacks with -1, which every check reports as
// stale; bytes beyond the table are ignored.
void DecodeTexturesIndex(std::span<const uint8_t> bytes, SkinIndex& index);
void DecodePropsIndex(std::span<const uint8_t> bytes, SkinIndex& index);

// Fills the texture table by name search in a directory. Calls onMissing(slot,
// level) for every name not found, leaving that value as it was. The first (lowest)
// matching position wins.
void IndexTextures(const ArchiveDirectory& dir, SkinIndex& index,
                   const std::function<void(int slot, int level)>& onMissing);
void IndexProps(const ArchiveDirectory& dir, SkinIndex& index, const std::function<void(int slot)>& onMissing);

// The range pass then the name pass over one archive's table.
bool TexturesIndexStale(const ArchiveDirectory& dir, const SkinIndex& index);
bool PropsIndexStale(const ArchiveDirectory& dir, const SkinIndex& index);

}  // namespace quorlin
