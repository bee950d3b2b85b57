#include "archive/archive.h"

#include "platform/error.h"
#include "platform/paths.h"

namespace quorlin {

const DirEntry& ArchiveDirectory::At(long position) const {
  if (position < 0 || static_cast<size_t>(position) >= Directory.size()) {
    throw QuorlinError(kErrSubscriptOutOfRange, "Subscript out of range (directory position " +
                                                    std::to_string(position) + " of " +
                                                    std::to_string(Directory.size()) + ")");
  }
  return Directory[static_cast<size_t>(position)];
}

std::string NormalizeEntryName(const std::string& name) { return TrimSpaces(LowerAscii(name)); }

long ArchiveDirectory::Find(const std::string& expectedLower) const {
  const int count = SearchablePositions();
  for (int p = 0; p < count; ++p) {
    if (NormalizeEntryName(Directory[static_cast<size_t>(p)].Name) == expectedLower) return p;
  }
  return -1;
}

ArchiveDirectory ParseArchiveDirectory(ByteSource& source) {
  ArchiveDirectory result;
  ArchiveHeader& h = result.Header;
  source.Read(h.Tag.data(), h.Tag.size());
  h.Unknown4 = source.U32();
  h.Unknown8 = source.U32();
  h.DataBase = source.U32();
  h.EntryCount = source.I16();
  h.Unknown18 = source.U16();

  // EntryCount - 1 records are read, record 0 always; one empty position follows.
  const int records = h.EntryCount < 2 ? 1 : h.EntryCount - 1;
  result.Directory.resize(static_cast<size_t>(records) + 1);
  for (int i = 0; i < records; ++i) {
    // Past the end of the file every record reads empty; stop reading.
    if (source.Exhausted()) break;
    DirEntry& e = result.Directory[static_cast<size_t>(i)];
    source.Read(e.Unknown0.data(), e.Unknown0.size());
    e.DataLength = source.U32();
    e.DataOffset = source.U32();
    source.Read(e.Unknown20.data(), e.Unknown20.size());
    e.NameLength = source.U8();
    source.Skip(source.U16());
    e.Name.resize(e.NameLength);
    const size_t got = source.Read(reinterpret_cast<uint8_t*>(e.Name.data()), e.NameLength);
    // A name cut off by the end of the file matches nothing: keep what was there.
    if (got < e.NameLength) e.Name.resize(got);
  }
  return result;
}

ArchiveDirectory ParseArchiveDirectory(std::span<const uint8_t> bytes) {
  MemorySource source(bytes);
  return ParseArchiveDirectory(source);
}

ArchiveDirectory ReadArchiveDirectoryNative(const std::string& nativePath) {
  if (!NativeFileExists(nativePath)) {
    ArchiveDirectory empty;
    empty.Directory.resize(2);
    return empty;
  }
  NativeFile file(nativePath, NativeFile::Access::Read);
  FileSource source(file);
  return ParseArchiveDirectory(source);
}

ArchiveDirectory ReadArchiveDirectory(const GameLocation& game, const std::string& relativeArchive) {
  return ReadArchiveDirectoryNative(game.NativeGamePath(relativeArchive));
}

}  // namespace quorlin
