#include "image/bitmap.h"

#include <cstring>
#include <optional>
#include <vector>

#include "base/error.h"
#include "platform/little_endian.h"
#include "platform/native_file.h"
#include "image/picture_size.h"

namespace quorlin {

bool LoadPlainBitmap(const std::string& nativePath, ImageBuffer& image) {
  std::optional<NativeFile> file;
  try {
    file.emplace(nativePath, NativeFile::Access::Read);
  } catch (const QuorlinError&) {
    return false;
  }
  const ByteReader head(*file, 0, 54);
  if (!head.Fits(0, 54) || head.U8At(0) != 'B' || head.U8At(1) != 'M') return false;
  const uint32_t pixelsAt = head.U32At(10), infoSize = head.U32At(14);
  const int64_t width = static_cast<int32_t>(head.U32At(18));
  const int64_t height = static_cast<int32_t>(head.U32At(22));
  const bool plain = (infoSize == 40 || infoSize == 108 || infoSize == 124) && head.U16At(26) == 1 &&
                     head.U16At(28) == 24 && head.U32At(30) == 0 && pixelsAt >= 14 + infoSize && width > 0 &&
                     height != 0;
  if (!plain) return false;
  const int64_t rows = height < 0 ? -height : height;
  RequireLoadableSize(width, rows);

  const size_t rowBytes = static_cast<size_t>(width) * 3, stride = (rowBytes + 3) & ~size_t{3};
  const ByteReader stored(*file, pixelsAt, stride * static_cast<size_t>(rows));
  if (!stored.Fits(0, stride * static_cast<size_t>(rows))) {
    throw QuorlinError(kErrInputPastEnd, "Cannot read " + nativePath + ": the bitmap file is shorter than its pixels");
  }
  ImageBuffer out;
  out.Width = static_cast<int32_t>(width);
  out.Height = static_cast<int32_t>(rows);
  out.BitsPerPixel = 24;
  out.Pixels.resize(rowBytes * static_cast<size_t>(rows));
  for (size_t y = 0; y < static_cast<size_t>(rows); ++y) {
    std::memcpy(out.Pixels.data() + y * rowBytes, stored.Bytes().data() + y * stride, rowBytes);
  }
  if (height > 0) FlipImage(out);  // stored bottom-up unless the height is negative
  image = std::move(out);
  return true;
}

}  // namespace quorlin
