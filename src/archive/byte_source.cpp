#include "archive/byte_source.h"

#include <algorithm>
#include <cstring>

namespace quorlin {

size_t ByteSource::Read(uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n && !exhausted_) {
    const size_t more = Fill(out + got, n - got);
    if (more == 0) exhausted_ = true;
    got += more;
  }
  if (got < n) std::memset(out + got, 0, n - got);
  return got;
}

void ByteSource::Skip(size_t n) {
  uint8_t scratch[4096];
  while (n > 0 && !exhausted_) {
    const size_t step = std::min(n, sizeof scratch);
    Read(scratch, step);
    n -= step;
  }
}

uint8_t ByteSource::U8() {
  uint8_t b = 0;
  Read(&b, 1);
  return b;
}

uint16_t ByteSource::U16() {
  uint8_t b[2];
  Read(b, 2);
  return GetU16(b);
}

int16_t ByteSource::I16() { return static_cast<int16_t>(U16()); }

uint32_t ByteSource::U32() {
  uint8_t b[4];
  Read(b, 4);
  return GetU32(b);
}

size_t MemorySource::Fill(uint8_t* out, size_t n) {
  const size_t take = std::min(n, bytes_.size() - pos_);
  if (take) std::memcpy(out, bytes_.data() + pos_, take);
  pos_ += take;
  return take;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace quorlin
