#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/game_location.h"
#include "platform/native_file.h"

namespace quorlin {

// Resource archive layout (little-endian, offsets from the start of the file):
//
//   0   ArchiveHeader (20 bytes)
//        0 Tag[4]  4 u32  8 u32  12 u32 DataBase  16 i16 EntryCount  18 u16
//   20  DirEntry records, back to back:
//        0 bytes[12]  12 u32 DataLength  16 u32 DataOffset  20 bytes[2]
//        22 u8 NameLength  23 u16 skip count L  25 L skipped bytes  then Name
//   an entry's data lies at DataBase + DataOffset, DataLength bytes long.
//
// Only DataBase, EntryCount, DataLength, DataOffset and Name mean anything here;
// the rest belongs to the game and is kept as read.
struct ArchiveHeader {
  std::array<uint8_t, 4> Tag{};
  uint32_t Unknown4 = 0;
  uint32_t Unknown8 = 0;
  uint32_t DataBase = 0;
  int16_t EntryCount = 0;
  uint16_t Unknown18 = 0;
};
inline constexpr size_t kArchiveHeaderSize = 20;
inline constexpr size_t kDirEntryFixedSize = 25;

struct DirEntry {
  std::array<uint8_t, 12> Unknown0{};
  uint32_t DataLength = 0;
  uint32_t DataOffset = 0;
  std::array<uint8_t, 2> Unknown20{};
  uint8_t NameLength = 0;
  // The stored name, cut short where the file ends inside it. It points into the
  // bytes its ArchiveDirectory keeps (Names), so it lives as long as they do.
  std::string_view Name;
};

// The header and directory of one archive, as a value. Directory holds positions
// 0..max(EntryCount, 2) - 1: the records read (EntryCount - 1 of them, at least
// one), then one empty record.
struct ArchiveDirectory {
  ArchiveHeader Header;
  std::vector<DirEntry> Directory;
  // What the records' names point into: the bytes read for the directory.
  std::shared_ptr<const void> Names;
  // How many bytes header and records take when all of them were in the file (0
  // when it ended first): any archive beginning with the same bytes has this
  // directory.
  uint64_t Bytes = 0;

  // The positions that take part in a name search: 0..EntryCount-2.
  int SearchablePositions() const { return Header.EntryCount < 2 ? 0 : Header.EntryCount - 1; }

  // The record at a position; throws QuorlinError (subscript out of range) when the
  // position lies outside Directory.
  const DirEntry& At(long position) const;

  // File offset of an entry's data: DataBase + DataOffset, without overflow.
  static uint64_t DataPosition(const ArchiveHeader& header, const DirEntry& entry) {
    return static_cast<uint64_t>(header.DataBase) + entry.DataOffset;
  }
};

// Reads header and directory from an archive's bytes, or from an open archive with
// one pass of large reads.
ArchiveDirectory ParseArchiveDirectory(std::span<const uint8_t> bytes);
ArchiveDirectory ReadArchiveDirectory(NativeFile& file);

// Reads the archive at a native path. A missing archive reads as an empty
// directory; one that exists but cannot be opened throws QuorlinError.
ArchiveDirectory ReadArchiveDirectoryNative(const std::string& nativePath);

// The stored name as names are compared: lower-cased, spaces trimmed.
std::string NormalizeEntryName(std::string_view name);

}  // namespace quorlin
