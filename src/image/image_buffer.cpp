#include "image/image_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/error.h"

namespace quorlin {

size_t PixelBytes(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return 0;
  if (width > std::numeric_limits<int32_t>::max() / 3 / height) return 0;
  return static_cast<size_t>(width * height * 3);
}

void FlipImage(ImageBuffer& image) {
  const size_t row = static_cast<size_t>(image.Width) * 3;
  if (row == 0 || image.Height <= 1) return;
  const auto rows = static_cast<size_t>(image.Height);
  if (image.Pixels.size() < row * rows) return;
  std::vector<uint8_t> flipped(row * rows);
  for (size_t i = 0; i < rows; ++i) {
    std::memcpy(flipped.data() + (rows - 1 - i) * row, image.Pixels.data() + i * row, row);
  }
  std::copy(flipped.begin(), flipped.end(), image.Pixels.begin());
}

namespace {

// round(index * ratio), halves to even, clamped to [0, last].
int32_t SourceIndex(int32_t index, double ratio, int32_t last) {
  const double position = std::nearbyint(static_cast<double>(index) * ratio);  // default mode: ties to even
  if (position <= 0) return 0;
  if (position >= last) return last;
  return static_cast<int32_t>(position);
}

void CheckResize(const ImageBuffer& image, int32_t newWidth, int32_t newHeight) {
  if (PixelBytes(newWidth, newHeight) == 0 || PixelBytes(image.Width, image.Height) == 0 ||
      image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
    throw QuorlinError(kErrOverflow, "Cannot resize a " + std::to_string(image.Width) + "x" +
                                         std::to_string(image.Height) + " image to " + std::to_string(newWidth) + "x" +
                                         std::to_string(newHeight));
  }
}

}  // namespace

void ResizeImage(const ImageBuffer& image, int32_t newWidth, int32_t newHeight, uint8_t* out) {
  CheckResize(image, newWidth, newHeight);
  const double rx = static_cast<double>(image.Width) / newWidth;
  const double ry = static_cast<double>(image.Height) / newHeight;
  const size_t inRow = static_cast<size_t>(image.Width) * 3;
  // Source columns are the same for every row: work them out once.
  std::vector<size_t> columns(static_cast<size_t>(newWidth));
  for (int32_t x = 0; x < newWidth; ++x) {
    columns[static_cast<size_t>(x)] = static_cast<size_t>(SourceIndex(x, rx, image.Width - 1)) * 3;
  }
  for (int32_t y = 0; y < newHeight; ++y) {
    const uint8_t* row = image.Pixels.data() + static_cast<size_t>(SourceIndex(y, ry, image.Height - 1)) * inRow;
    for (const size_t sx : columns) {
      out[0] = row[sx];
      out[1] = row[sx + 1];
      out[2] = row[sx + 2];
      out += 3;
    }
  }
}

void BoxResizeImage(const ImageBuffer& image, int32_t newWidth, int32_t newHeight, uint8_t* out) {
  CheckResize(image, newWidth, newHeight);
  if (image.Width % newWidth != 0 || image.Height % newHeight != 0) {
    ResizeImage(image, newWidth, newHeight, out);
    return;
  }
  const int32_t bw = image.Width / newWidth;
  const int32_t bh = image.Height / newHeight;
  const uint32_t count = static_cast<uint32_t>(bw) * static_cast<uint32_t>(bh);
  for (int32_t y = 0; y < newHeight; ++y) {
    for (int32_t x = 0; x < newWidth; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int32_t j = 0; j < bh; ++j) {
        const uint8_t* q = image.Pixels.data() + image.Offset(x * bw, y * bh + j);
        for (int32_t i = 0; i < bw; ++i, q += 3) {
          sum[0] += q[0];
          sum[1] += q[1];
          sum[2] += q[2];
        }
      }
      for (int c = 0; c < 3; ++c) *out++ = static_cast<uint8_t>((sum[c] + count / 2) / count);
    }
  }
}

}  // namespace quorlin
