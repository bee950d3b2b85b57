#include "archive/skin_index.h"

#include <unordered_map>

#include "platform/little_endian.h"

namespace quorlin {

std::string SlotChar(int n) {
  if (n >= 0 && n <= 9) return std::string(1, static_cast<char>('0' + n));
  return std::string(1, static_cast<char>(n - 10 + 97));
}

std::string ExpectedTextureName(int slot, int level) {
  const std::string digit(1, static_cast<char>('0' + level));
  if (slot == kSlotCount) return "textures\\skin_" + digit + ".tga";
  return "textures\\skin" + SlotChar(slot - 1) + digit + ".tga";
}

std::string ExpectedLobbyName(int slot) {
  const std::string folder = "shellscripts\\graphics\\multiplayer\\lobbyskins\\";
  if (slot == kSlotCount) return folder + "skin_4.tga";
  return folder + "skin" + SlotChar(slot - 1) + "4.tga";
}

namespace {

void PutI16(std::vector<uint8_t>& out, int16_t v) { PutU16(out, static_cast<uint16_t>(v)); }

// The value at a byte offset, or -1 past the end of the file.
int16_t ValueAt(const ByteReader& file, size_t offset) { return file.Fits(offset, 2) ? file.I16At(offset) : -1; }

// Maps each trimmed, lower-cased name to its first searchable position, so that
// 259 lookups need one pass over the directory instead of one each.
std::unordered_map<std::string, long> FirstPositions(const ArchiveDirectory& dir) {
  std::unordered_map<std::string, long> first;
  const int count = dir.SearchablePositions();
  first.reserve(static_cast<size_t>(count));
  for (int p = 0; p < count; ++p) {
    first.emplace(NormalizeEntryName(dir.Directory[static_cast<size_t>(p)].Name), p);
  }
  return first;
}

// The name at a position, as names compare; empty outside Directory.
bool NameAtMatches(const ArchiveDirectory& dir, int16_t position, const std::string& expected) {
  if (position < 0 || static_cast<size_t>(position) >= dir.Directory.size()) return false;
  return NormalizeEntryName(dir.Directory[static_cast<size_t>(position)].Name) == expected;
}

// Range pass: a value above EntryCount - 1 or below 0 is out of range.
bool OutOfRange(const ArchiveDirectory& dir, int16_t position) {
  return position < 0 || position > dir.Header.EntryCount - 1;
}

}  // namespace

std::vector<uint8_t> EncodeTexturesIndex(const SkinIndex& index) {
  std::vector<uint8_t> out;
  out.reserve(kTexturesIndexFileSize);
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) PutI16(out, index.TexturesSkinIndex[s][l]);
  }
  return out;
}

std::vector<uint8_t> EncodePropsIndex(const SkinIndex& index) {
  std::vector<uint8_t> out;
  out.reserve(kPropsIndexFileSize);
  for (int s = 1; s <= kSlotCount; ++s) PutI16(out, index.PropsSkinIndex[s]);
  return out;
}

void DecodeTexturesIndex(std::span<const uint8_t> bytes, SkinIndex& index) {
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      index.TexturesSkinIndex[s][l] = ValueAt(ByteReader(bytes), static_cast<size_t>(((s - 1) * kLevelCount + l) * 2));
    }
  }
}

void DecodePropsIndex(std::span<const uint8_t> bytes, SkinIndex& index) {
  for (int s = 1; s <= kSlotCount; ++s)
    index.PropsSkinIndex[s] = ValueAt(ByteReader(bytes), static_cast<size_t>((s - 1) * 2));
}

void IndexTextures(const ArchiveDirectory& dir, SkinIndex& index,
                   const std::function<void(int slot, int level)>& onMissing) {
  const auto first = FirstPositions(dir);
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      const auto it = first.find(ExpectedTextureName(s, l));
      if (it != first.end()) {
        index.TexturesSkinIndex[s][l] = static_cast<int16_t>(it->second);
      } else if (onMissing) {
        onMissing(s, l);
      }
    }
  }
}

void IndexProps(const ArchiveDirectory& dir, SkinIndex& index, const std::function<void(int slot)>& onMissing) {
  const auto first = FirstPositions(dir);
  for (int s = 1; s <= kSlotCount; ++s) {
    const auto it = first.find(ExpectedLobbyName(s));
    if (it != first.end()) {
      index.PropsSkinIndex[s] = static_cast<int16_t>(it->second);
    } else if (onMissing) {
      onMissing(s);
    }
  }
}

bool TexturesIndexStale(const ArchiveDirectory& dir, const SkinIndex& index) {
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      if (OutOfRange(dir, index.TexturesSkinIndex[s][l])) return true;
    }
  }
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      if (!NameAtMatches(dir, index.TexturesSkinIndex[s][l], ExpectedTextureName(s, l))) return true;
    }
  }
  return false;
}

bool PropsIndexStale(const ArchiveDirectory& dir, const SkinIndex& index) {
  for (int s = 1; s <= kSlotCount; ++s) {
    if (OutOfRange(dir, index.PropsSkinIndex[s])) return true;
  }
  for (int s = 1; s <= kSlotCount; ++s) {
    if (!NameAtMatches(dir, index.PropsSkinIndex[s], ExpectedLobbyName(s))) return true;
  }
  return false;
}

}  // namespace quorlin
