#include "archive/patch.h"

#include "base/error.h"

namespace quorlin {

uint32_t RequiredTextureLength(int level) {
  const uint32_t side = 512u >> level;
  return 18 + side * side * 3;
}

namespace {
void CheckSlot(int slot) {
  if (slot < 0 || slot > kSlotCount) {
    throw QuorlinError(kErrSubscriptOutOfRange, "Subscript out of range (slot " + std::to_string(slot) + ")");
  }
}
}  // namespace

bool CheckPatch(const ArchiveDirectory& dir, const SkinIndex& index, int slot) {
  CheckSlot(slot);
  for (int level = 0; level < kLevelCount; ++level) {
    if (dir.At(index.TexturesSkinIndex[slot][level]).DataLength != RequiredTextureLength(level)) return false;
  }
  return true;
}

bool CheckPatchedProps(const ArchiveDirectory& dir, const SkinIndex& index, int slot) {
  CheckSlot(slot);
  return dir.At(index.PropsSkinIndex[slot]).DataLength == kRequiredLobbyLength;
}

bool EntryInsideFile(const ArchiveHeader& header, const DirEntry& entry, uint64_t fileLength) {
  return ArchiveDirectory::DataPosition(header, entry) + entry.DataLength <= fileLength;
}

}  // namespace quorlin
