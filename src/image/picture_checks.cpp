#include "image/picture_checks.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/error.h"
#include "platform/native_file.h"

namespace quorlin {

namespace {

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// An uncompressed bitmap must hold all of its pixel rows after their offset.
bool BitmapLongEnough(const uint8_t* head, uint64_t size) {
  if (U32(head + 14) < 40) return true;  // old OS/2 headers: left to the decoder
  const uint32_t compression = U32(head + 30);
  if (compression != 0 && compression != 3) return true;  // run-length data has no fixed size
  const int64_t width = static_cast<int32_t>(U32(head + 18));
  const int64_t height = static_cast<int32_t>(U32(head + 22));
  const int bits = head[28] | (head[29] << 8);
  // Sizes beyond any picture we load are left to the decoder's size limit; this
  // also keeps the arithmetic below far from overflow.
  if (width < -(1LL << 24) || width > (1LL << 24) || height < -(1LL << 24) || height > (1LL << 24)) return true;
  const int64_t stride = ((width < 0 ? -width : width) * bits + 31) / 32 * 4;
  return static_cast<int64_t>(size) >= static_cast<int64_t>(U32(head + 10)) + stride * (height < 0 ? -height : height);
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

std::string RefuseBeforeDecoding(const std::string& nativePath) {
  try {
    NativeFile file(nativePath, NativeFile::Access::Read);
    const uint64_t size = file.Size();
    uint8_t head[34] = {};
    const size_t got = file.ReadAt(0, head, sizeof head);
    if (got == sizeof head && head[0] == 'B' && head[1] == 'M' && !BitmapLongEnough(head, size)) {
      return "Cannot read " + nativePath + ": the bitmap file is shorter than its pixels";
    }
    if (got >= 2 && head[0] == 0xFF && head[1] == 0xD8 && !JpegComplete(file, size)) {
      return "Cannot read " + nativePath + ": the JPEG file is cut short (it has no end-of-image marker)";
    }
  } catch (const QuorlinError& e) {
    return e.what();
  }
  return {};
}

}  // namespace quorlin
