#pragma once

#include <cstdint>
#include <string>

#include "base/error.h"

namespace quorlin {

// The pictures a skin can be made from, judged by the size their header gives before
// anything is decoded: any picture of up to 1024x1024 pixels (one that is not
// 512x512 is then refused once seen), and square ones of up to 4096x4096, which can
// be scaled down to 512x512. A header that only claims a larger size would otherwise
// cost hundreds of megabytes.
inline constexpr int64_t kMaxPicturePixels = 1024 * 1024;
inline constexpr int32_t kLargestScalableSide = 4096;
bool LoadableSize(int64_t width, int64_t height);

// What the readers refuse a larger picture with, its size from the header; the
// program tells the user in its own words.
class PictureTooLarge : public QuorlinError {
 public:
  PictureTooLarge(int64_t w, int64_t h)
      : QuorlinError(kErrOutOfMemory, "picture too large: " + std::to_string(w) + " x " + std::to_string(h)),
        Width(w),
        Height(h) {}
  int64_t Width, Height;
};

// Throws PictureTooLarge unless LoadableSize.
void RequireLoadableSize(int64_t width, int64_t height);

}  // namespace quorlin
