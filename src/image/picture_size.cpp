#include "image/picture_size.h"

namespace quorlin {

bool LoadableSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return true;  // no pixels: the reader refuses it for that
  if (width == height && width <= kLargestScalableSide) return true;
  return width <= kMaxPicturePixels && height <= kMaxPicturePixels && width * height <= kMaxPicturePixels;
}

void RequireLoadableSize(int64_t width, int64_t height) {
  if (!LoadableSize(width, height)) throw PictureTooLarge(width, height);
}

}  // namespace quorlin
