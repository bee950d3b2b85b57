#include "image/bitmap.h"

#include <cstring>
#include <vector>

#include "platform/native_file.h"

namespace quorlin {

namespace {

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

PlainBitmap LoadPlainBitmap(const std::string& nativePath, ImageBuffer& image, int64_t maxPixels) {
  NativeFile file(nativePath, NativeFile::Access::Read);
  uint8_t head[54] = {};
  if (file.ReadAt(0, head, sizeof head) != sizeof head || head[0] != 'B' || head[1] != 'M') {
    return PlainBitmap::NotPlain;
  }
  const uint32_t pixelsAt = U32(head + 10), infoSize = U32(head + 14);
  const int64_t width = static_cast<int32_t>(U32(head + 18));
  const int64_t height = static_cast<int32_t>(U32(head + 22));
  const bool plain = (infoSize == 40 || infoSize == 108 || infoSize == 124) && U16(head + 26) == 1 &&
                     U16(head + 28) == 24 && U32(head + 30) == 0 && pixelsAt >= 14 + infoSize && width > 0 &&
                     height != 0;
  if (!plain) return PlainBitmap::NotPlain;
  const int64_t rows = height < 0 ? -height : height;
  if (width > maxPixels || rows > maxPixels || width * rows > maxPixels) return PlainBitmap::TooLarge;

  const size_t rowBytes = static_cast<size_t>(width) * 3, stride = (rowBytes + 3) & ~size_t{3};
  std::vector<uint8_t> stored(stride * static_cast<size_t>(rows));
  if (file.ReadAt(pixelsAt, stored.data(), stored.size()) != stored.size()) return PlainBitmap::Truncated;

  ImageBuffer out;
  out.Width = static_cast<int32_t>(width);
  out.Height = static_cast<int32_t>(rows);
  out.BitsPerPixel = 24;
  out.Pixels.resize(rowBytes * static_cast<size_t>(rows));
  for (int64_t y = 0; y < rows; ++y) {
    const int64_t from = height < 0 ? y : rows - 1 - y;  // bottom-up unless the height is negative
    std::memcpy(out.Pixels.data() + static_cast<size_t>(y) * rowBytes, stored.data() + static_cast<size_t>(from) * stride,
                rowBytes);
  }
  image = std::move(out);
  return PlainBitmap::Ok;
}

}  // namespace quorlin
