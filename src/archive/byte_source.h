#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorlin {

// A forward-only source of bytes. Reading past its end yields zero bytes and marks
// the source exhausted, so a short file reads as records that match nothing.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to n bytes; returns how many were available. Missing bytes are zeroed.
  size_t Read(uint8_t* out, size_t n);
  // Skips n bytes (or to the end).
  void Skip(size_t n);
  bool Exhausted() const { return exhausted_; }

  uint8_t U8();
  uint16_t U16();
  int16_t I16();
  uint32_t U32();

 protected:
  // Supplies up to n bytes; returns 0 only at the end.
  virtual size_t Fill(uint8_t* out, size_t n) = 0;

 private:
  bool exhausted_ = false;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}

 protected:
  size_t Fill(uint8_t* out, size_t n) override;

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// Little-endian helpers for writers and tests.
void PutU16(std::vector<uint8_t>& out, uint16_t v);
void PutU32(std::vector<uint8_t>& out, uint32_t v);
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace quorlin
