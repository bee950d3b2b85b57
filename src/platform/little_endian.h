#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorlin {

class NativeFile;

// Little-endian fields of bytes that come from outside the program (archives,
// index files, journals, pictures, registry values), all read through this one
// bounds-checked reader: a field that would lie past the end of the bytes is never
// read, it throws QuorlinError (input past end) instead. The memory form views
// bytes held elsewhere; the file form reads them from a file first.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  // Up to n bytes at a file offset (fewer where the file ends first), kept here.
  ByteReader(NativeFile& file, uint64_t position, size_t n);
  ByteReader(ByteReader&&) = default;
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // Fields at an offset from the first byte.
  uint8_t U8At(size_t at) const { return static_cast<uint8_t>(Field(at, 1)); }
  uint16_t U16At(size_t at) const { return static_cast<uint16_t>(Field(at, 2)); }
  int16_t I16At(size_t at) const { return static_cast<int16_t>(U16At(at)); }
  uint32_t U32At(size_t at) const { return static_cast<uint32_t>(Field(at, 4)); }
  uint64_t U64At(size_t at) const { return Field(at, 8); }
  // The same read in order from the position, which they advance.
  uint8_t U8() { return static_cast<uint8_t>(Next(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Next(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Next(4)); }
  uint64_t U64() { return Next(8); }
  std::span<const uint8_t> Take(size_t n);

  // Whether n bytes lie at an offset.
  bool Fits(size_t at, size_t n) const { return at <= bytes_.size() && n <= bytes_.size() - at; }
  size_t Size() const { return bytes_.size(); }
  size_t Position() const { return position_; }
  std::span<const uint8_t> Bytes() const { return bytes_; }

 private:
  // Inline: the archive directory reads three fields of each of up to 32,766 records.
  uint64_t Field(size_t at, size_t n) const {
    if (!Fits(at, n)) PastEnd();
    uint64_t value = 0;
    for (size_t k = n; k-- > 0;) value = value << 8 | bytes_[at + k];
    return value;
  }
  [[noreturn]] static void PastEnd();
  uint64_t Next(size_t n) {
    const uint64_t value = Field(position_, n);
    position_ += n;
    return value;
  }
  std::vector<uint8_t> owned_;  // the file form's bytes
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// The writers' side: fields appended little-endian.
void PutU16(std::vector<uint8_t>& out, uint16_t value);
void PutU32(std::vector<uint8_t>& out, uint32_t value);
void PutU64(std::vector<uint8_t>& out, uint64_t value);

}  // namespace quorlin
