#include "platform/little_endian.h"

#include "base/error.h"
#include "platform/native_file.h"

namespace quorlin {

ByteReader::ByteReader(NativeFile& file, uint64_t position, size_t n) : owned_(n) {
  owned_.resize(file.ReadAt(position, owned_.data(), n));
  bytes_ = owned_;
}

void ByteReader::PastEnd() { throw QuorlinError(kErrInputPastEnd, "Input past end of file"); }

std::span<const uint8_t> ByteReader::Take(size_t n) {
  if (!Fits(position_, n)) PastEnd();
  position_ += n;
  return bytes_.subspan(position_ - n, n);
}

namespace {
void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}
}  // namespace

void PutU16(std::vector<uint8_t>& out, uint16_t value) { Put(out, value, 2); }
void PutU32(std::vector<uint8_t>& out, uint32_t value) { Put(out, value, 4); }
void PutU64(std::vector<uint8_t>& out, uint64_t value) { Put(out, value, 8); }

}  // namespace quorlin
