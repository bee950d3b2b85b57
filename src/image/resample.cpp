#include "image/resample.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "base/error.h"

// stb_image_resize (version 1, Debian's libstb-dev), compiled here and nowhere
// else. Its include folder is a system one, so its own warnings stay quiet.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

namespace quorlin {

namespace {

std::string Size(int64_t width, int64_t height) { return std::to_string(width) + "x" + std::to_string(height); }

void CheckScalable(const ImageBuffer& picture, int32_t side) {
  const std::string what =
      "Cannot scale the " + Size(picture.Width, picture.Height) + " picture down to " + Size(side, side);
  if (picture.BitsPerPixel != 24 || picture.Width <= 0 || picture.Height <= 0) {
    throw QuorlinError(kErrBadFileFormat, what + ": it is not a 24-bit picture");
  }
  if (picture.Width != picture.Height) {
    throw QuorlinError(kErrBadFileFormat, what + ": it is not square");
  }
  if (picture.Width > kLargestScalableSide) {
    throw QuorlinError(kErrOverflow, what + ": it is larger than " + Size(kLargestScalableSide, kLargestScalableSide));
  }
  const size_t needed = PixelBytes(picture.Width, picture.Height);
  if (picture.Pixels.size() < needed) {
    throw QuorlinError(kErrInputPastEnd, what + ": its pixels are cut short (" + std::to_string(picture.Pixels.size()) +
                                             " of " + std::to_string(needed) + " bytes)");
  }
  if (side < 1 || side > picture.Width) {
    throw QuorlinError(kErrOverflow, what + ": the new side must be between 1 and " + std::to_string(picture.Width));
  }
}

}  // namespace

// Memory: besides the result (side * side * 3 bytes), stb makes one allocation
// for the whole run and frees it before returning: the filter weights of every
// row and column, one decoded input row in floats, and a ring of output rows in
// floats as tall as the filter reaches (4 x the reduction + 1 rows). For
// 4096 -> 512 that is 456,576 bytes, with the 786,432-byte result 1.24 MB at the
// peak (bench/RESULTS.md has it measured); the picture is never copied, in floats
// (which would be 201 MB) or otherwise.
ImageBuffer ScaleDownInLinearLight(const ImageBuffer& picture, int32_t side) {
  CheckScalable(picture, side);
  const auto outOfMemory = [&picture, side] {
    return QuorlinError(kErrOutOfMemory, "Not enough memory to scale the " + Size(picture.Width, picture.Height) +
                                             " picture down to " + Size(side, side));
  };
  const size_t bytes = PixelBytes(side, side);
  ImageBuffer scaled;
  try {
    scaled.Pixels.resize(bytes);
  } catch (const std::bad_alloc&) {
    throw outOfMemory();
  }
  if (side == picture.Width) {
    std::copy_n(picture.Pixels.begin(), bytes, scaled.Pixels.begin());
  } else {
    // No alpha channel: all three channels go through the sRGB curve alike. Its
    // arguments are checked above, so only its allocation can fail.
    if (!stbir_resize_uint8_generic(picture.Pixels.data(), picture.Width, picture.Height, 0, scaled.Pixels.data(), side,
                                    side, 0, 3, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_CATMULLROM,
                                    STBIR_COLORSPACE_SRGB, nullptr)) {
      throw outOfMemory();
    }
  }
  scaled.Width = side;
  scaled.Height = side;
  scaled.BitsPerPixel = 24;
  return scaled;
}

}  // namespace quorlin
