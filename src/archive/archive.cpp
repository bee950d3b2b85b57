#include "base/strings.h"
#include "archive/archive.h"

#include <algorithm>

#include "base/error.h"
#include "platform/little_endian.h"
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

std::string NormalizeEntryName(std::string_view name) { return TrimSpaces(LowerAscii(std::string(name))); }

namespace {

// Archive bytes from the first byte, handed to the parser a few at a time through
// a window that refills with one read of many records and jumps over skipped bytes
// without reading them. Every buffer read stays until the directory is done with:
// the records' names point into them, so no name is copied.
template <class Source>
class Window {
 public:
  explicit Window(Source& source) : source_(source), size_(source.Size()) {}
  // Up to n bytes at pos, contiguous; got tells how many the archive has there.
  const uint8_t* Get(uint64_t pos, size_t n, size_t& got) {
    if (pos >= base_ && pos + n <= base_ + Current().size()) {
      got = n;
      return Current().data() + (pos - base_);
    }
    return Refill(pos, n, got);
  }
  // The directory ends about here (DataBase): read that far at once, within reason.
  void Expect(uint64_t end) { expectedEnd_ = std::min<uint64_t>(end, kMaxRead); }
  // The bytes at pos that are at hand without reading: the rest of the buffer.
  const uint8_t* Span(uint64_t pos, size_t& avail) {
    if (pos < base_ || pos >= base_ + Current().size()) {
      avail = 0;
      return nullptr;
    }
    avail = static_cast<size_t>(base_ + Current().size() - pos);
    return Current().data() + (pos - base_);
  }
  // Everything read, to be kept as long as the names pointing into it.
  std::shared_ptr<const void> Keep() {
    return std::make_shared<std::vector<std::vector<uint8_t>>>(std::move(buffers_));
  }

 private:
  const std::vector<uint8_t>& Current() const { return buffers_.back(); }
  // Reads again from pos into a new buffer: at least the next chunk, and the whole
  // of the directory the header announced if that is larger.
  const uint8_t* Refill(uint64_t pos, size_t n, size_t& got) {
    got = pos >= size_ ? 0 : static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
    const uint64_t want = std::max<uint64_t>({kChunk, got, expectedEnd_ > pos ? expectedEnd_ - pos : 0});
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(want, size_ - std::min(pos, size_))));
    buffer.resize(source_.ReadAt(pos, buffer.data(), buffer.size()));
    base_ = pos;
    buffers_.push_back(std::move(buffer));  // moving a vector keeps its bytes where they are
    got = std::min(got, Current().size());
    return Current().data();
  }
  static constexpr uint64_t kChunk = 256 * 1024;
  static constexpr uint64_t kMaxRead = 16 * 1024 * 1024;
  Source& source_;
  uint64_t size_;
  uint64_t base_ = 0;
  uint64_t expectedEnd_ = 0;
  std::vector<std::vector<uint8_t>> buffers_ = std::vector<std::vector<uint8_t>>(1);  // an empty one to start
};

// Archive bytes in memory, read as a file is.
class BytesInMemory {
 public:
  explicit BytesInMemory(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const { return bytes_.size(); }
  size_t ReadAt(uint64_t pos, uint8_t* out, size_t n) const {
    const size_t got = pos >= bytes_.size() ? 0 : static_cast<size_t>(std::min<uint64_t>(n, bytes_.size() - pos));
    std::copy_n(bytes_.data() + pos, got, out);
    return got;
  }

 private:
  std::span<const uint8_t> bytes_;
};

// The fixed part of a record (its first 25 bytes) into an entry; returns the skip count.
uint16_t ReadRecord(const uint8_t* r, DirEntry& e) {
  const ByteReader fields(std::span<const uint8_t>(r, kDirEntryFixedSize));
  std::copy(r, r + 12, e.Unknown0.begin());
  e.DataLength = fields.U32At(12);
  e.DataOffset = fields.U32At(16);
  e.Unknown20 = {r[20], r[21]};
  e.NameLength = r[22];
  return fields.U16At(23);
}

// Reads EntryCount - 1 records (record 0 always) after the 20-byte header; one
// empty position follows them. Past the end of the file the missing bytes read as
// zero and no further record is read, so a cut-off name matches nothing.
template <class Window>
ArchiveDirectory Parse(Window& window) {
  ArchiveDirectory result;
  uint64_t pos = 0;
  bool exhausted = false;
  uint8_t scratch[kDirEntryFixedSize];
  // n fixed bytes at pos (n <= 25), zero-filled past the end.
  const auto fixed = [&](size_t n) {
    size_t got = 0;
    const uint8_t* p = window.Get(pos, n, got);
    pos += got;
    if (got == n) return p;
    exhausted = true;
    std::fill(std::copy(p, p + got, scratch), scratch + n, uint8_t{0});
    return static_cast<const uint8_t*>(scratch);
  };
  ArchiveHeader& h = result.Header;
  const uint8_t* b = fixed(kArchiveHeaderSize);
  const ByteReader header(std::span<const uint8_t>(b, kArchiveHeaderSize));
  std::copy(b, b + 4, h.Tag.begin());
  h.Unknown4 = header.U32At(4);
  h.Unknown8 = header.U32At(8);
  h.DataBase = header.U32At(12);
  h.EntryCount = header.I16At(16);
  h.Unknown18 = header.U16At(18);
  window.Expect(h.DataBase);

  const int records = h.EntryCount < 2 ? 1 : h.EntryCount - 1;
  result.Directory.resize(static_cast<size_t>(records) + 1);
  int read = 0;
  // Records wholly inside the bytes at hand are read straight from them; the one
  // that crosses their end (or the file's) goes the careful way below.
  const auto fast = [&] {
    size_t avail = 0;
    const uint8_t* const start = window.Span(pos, avail);
    const uint8_t* r = start;
    const uint8_t* const end = start + avail;
    for (; read < records && end - r >= static_cast<std::ptrdiff_t>(kDirEntryFixedSize); ++read) {
      DirEntry& e = result.Directory[static_cast<size_t>(read)];
      const size_t skip = ReadRecord(r, e);
      if (static_cast<size_t>(end - r) < kDirEntryFixedSize + skip + e.NameLength) break;  // the careful way
      e.Name = std::string_view(reinterpret_cast<const char*>(r + kDirEntryFixedSize + skip), e.NameLength);
      r += kDirEntryFixedSize + skip + e.NameLength;
    }
    pos += static_cast<uint64_t>(r - start);
  };
  fast();
  while (read < records && !exhausted) {
    const int i = read++;
    DirEntry& e = result.Directory[static_cast<size_t>(i)];
    pos += ReadRecord(fixed(kDirEntryFixedSize), e);  // skipped bytes, never looked at
    size_t got = 0;
    const uint8_t* name = window.Get(pos, e.NameLength, got);
    e.Name = std::string_view(reinterpret_cast<const char*>(name), got);
    pos += got;
    exhausted = exhausted || got < e.NameLength;
    if (!exhausted) fast();
  }
  result.Names = window.Keep();
  result.Bytes = exhausted ? 0 : pos;
  return result;
}

}  // namespace

ArchiveDirectory ParseArchiveDirectory(std::span<const uint8_t> bytes) {
  BytesInMemory source(bytes);
  Window window(source);
  return Parse(window);
}

ArchiveDirectory ReadArchiveDirectory(NativeFile& file) {
  Window window(file);
  return Parse(window);
}

ArchiveDirectory ReadArchiveDirectoryNative(const std::string& nativePath) {
  if (!NativeFileExists(nativePath)) {
    ArchiveDirectory empty;
    empty.Directory.resize(2);
    return empty;
  }
  NativeFile file(nativePath, NativeFile::Access::Read);
  return ReadArchiveDirectory(file);
}

}  // namespace quorlin
