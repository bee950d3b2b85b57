#include "image/picture_checks.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/error.h"
#include "platform/little_endian.h"
#include "platform/native_file.h"

namespace quorlin {

namespace {

// An uncompressed bitmap must hold all of its pixel rows after their offset.
bool BitmapLongEnough(const ByteReader& head, uint64_t size) {
  if (head.U32At(14) < 40) return true;  // old OS/2 headers: left to the decoder
  const uint32_t compression = head.U32At(30);
  if (compression != 0 && compression != 3) return true;  // run-length data has no fixed size
  const int64_t width = static_cast<int32_t>(head.U32At(18));
  const int64_t height = static_cast<int32_t>(head.U32At(22));
  const int bits = head.U16At(28);
  // Sizes beyond any picture we load are left to the decoder's size limit; this
  // also keeps the arithmetic below far from overflow.
  if (width < -(1LL << 24) || width > (1LL << 24) || height < -(1LL << 24) || height > (1LL << 24)) return true;
  const int64_t stride = ((width < 0 ? -width : width) * bits + 31) / 32 * 4;
  return static_cast<int64_t>(size) >= static_cast<int64_t>(head.U32At(10)) + stride * (height < 0 ? -height : height);
}

// A complete JPEG ends with the end-of-image marker FF D9, perhaps followed by a
// little padding: it must be within the last 64 KiB.
bool JpegComplete(NativeFile& file, uint64_t size) {
  const uint64_t start = size > 65536 ? size - 65536 : 0;
  std::vector<uint8_t> tail(size - start);
  tail.resize(file.ReadAt(start, tail.data(), tail.size()));
  for (size_t i = 0; i + 1 < tail.size(); ++i) {
    if (tail[i] == 0xFF && tail[i + 1] == 0xD9) return true;
  }
  return false;
}

}  // namespace

void RefuseBeforeDecoding(const std::string& nativePath) {
  NativeFile file(nativePath, NativeFile::Access::Read);
  const uint64_t size = file.Size();
  const ByteReader head(file, 0, 34);
  const auto starts = [&head](uint8_t a, uint8_t b) {
    return head.Fits(0, 2) && head.U8At(0) == a && head.U8At(1) == b;
  };
  if (head.Fits(0, 34) && starts('B', 'M') && !BitmapLongEnough(head, size)) {
    throw QuorlinError(kErrInputPastEnd, "Cannot read " + nativePath + ": the bitmap file is shorter than its pixels");
  }
  if (starts(0xFF, 0xD8) && !JpegComplete(file, size)) {
    throw QuorlinError(kErrInputPastEnd,
                       "Cannot read " + nativePath + ": the JPEG file is cut short (it has no end-of-image marker)");
  }
}

}  // namespace quorlin
