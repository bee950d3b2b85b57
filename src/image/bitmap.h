#pragma once

#include <cstdint>
#include <string>

#include "image/image_buffer.h"

namespace quorlin {

// The kind of bitmap nearly every paint program writes: a BITMAPINFOHEADER (or a
// later version of it), one plane, 24 bits per pixel, no compression, rows bottom-up
// (positive height) or top-down (negative height), each padded to 4 bytes. Reading
// it here spares loading the platform's picture decoder for the most common skin
// file; every other bitmap is left to that decoder, which gives the same pixels.
enum class PlainBitmap {
  NotPlain,   // another kind of bitmap, or not a bitmap: for the platform decoder
  Ok,         // image holds the picture
  TooLarge,   // more than maxPixels pixels, refused from the header
  Truncated,  // the file is shorter than its pixel rows
};

// Reads the header first, then only the pixel rows. On anything but Ok the image
// is left untouched; QuorlinError when the file cannot be opened or read.
PlainBitmap LoadPlainBitmap(const std::string& nativePath, ImageBuffer& image, int64_t maxPixels);

}  // namespace quorlin
