#pragma once

#include <cstdint>

#include "archive/archive.h"
#include "archive/skin_index.h"

namespace quorlin {

// Stored length a prepared entry must have: 18 + side * side * 3.
uint32_t RequiredTextureLength(int level);  // 786450 ... 786
inline constexpr uint32_t kRequiredLobbyLength = 3090;
inline constexpr int kLobbySide = 32;

// The patch checks: whether an archive is prepared for a slot, from the stored
// lengths alone. A position outside Directory throws QuorlinError (subscript out
// of range).
bool CheckPatch(const ArchiveDirectory& dir, const SkinIndex& index, int slot);
bool CheckPatchedProps(const ArchiveDirectory& dir, const SkinIndex& index, int slot);

// True when DataBase + DataOffset + DataLength of the entry lies within the file.
bool EntryInsideFile(const ArchiveHeader& header, const DirEntry& entry, uint64_t fileLength);

}  // namespace quorlin
