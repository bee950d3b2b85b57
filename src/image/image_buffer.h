#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorlin {

// An image in memory: rows top-down, no row padding, each pixel blue, green, red.
// BitsPerPixel is 24 when the buffer holds an image and 0 when it holds none.
struct ImageBuffer {
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t BitsPerPixel = 0;
  std::vector<uint8_t> Pixels;

  // Byte offset of pixel (x, y).
  size_t Offset(int x, int y) const {
    return (static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) * 3;
  }
};

// Bytes a 24-bit image of this size needs, or 0 when the size is not positive or
// the count would not fit a 32-bit signed number.
size_t PixelBytes(int64_t width, int64_t height);

// Reverses the order of the rows in place.
void FlipImage(ImageBuffer& image);

// Nearest-neighbour resampling into out (newWidth * newHeight * 3 bytes), the
// source left as it is: output (x, y) takes input (round(x * W / W2),
// round(y * H / H2)), rounding halves to even, positions past the last column or
// row clamped to it.
void ResizeImage(const ImageBuffer& image, int32_t newWidth, int32_t newHeight, uint8_t* out);

// Box-filter reduction into out: each output pixel is the rounded average of the
// block of input pixels it stands for. For whole-number ratios only; other sizes
// fall back to ResizeImage.
void BoxResizeImage(const ImageBuffer& image, int32_t newWidth, int32_t newHeight, uint8_t* out);

}  // namespace quorlin
