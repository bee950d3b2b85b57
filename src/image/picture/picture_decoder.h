#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "image/image_buffer.h"
#include "image/picture_size.h"

namespace quorlin {

// Decodes a bitmap, JPEG or PNG file with the platform's decoder (Qt's image
// reader; the Windows Imaging Component on Windows) into a 24-bit top-down
// blue-green-red buffer. The size is read from the header first, so a size that
// cannot make a skin is refused with PictureTooLarge before anything is decoded. On
// other failures throws QuorlinError whose description is the message to show
// (naming the file), and leaves the buffer alone.
void DecodePicture(const std::string& nativePath, ImageBuffer& image);

// The same into memory that `allocate` hands out once the size is known (width x
// height x 3 bytes; nullptr when there is none), so that a large picture is written
// once, where it is kept.
using PixelAllocator = std::function<uint8_t*(int32_t width, int32_t height, size_t bytes)>;
void DecodePictureInto(const std::string& nativePath, const PixelAllocator& allocate);

inline void DecodePicture(const std::string& nativePath, ImageBuffer& image) {
  ImageBuffer decoded;
  DecodePictureInto(nativePath, [&decoded](int32_t width, int32_t height, size_t bytes) {
    decoded.Width = width;
    decoded.Height = height;
    decoded.BitsPerPixel = 24;
    decoded.Pixels.resize(bytes);
    return decoded.Pixels.data();
  });
  image = std::move(decoded);
}

// Writes a 24-bit buffer as a PNG file; QuorlinError (kErrPathFileAccess) naming the
// file on failure.
void SavePng(const std::string& nativePath, const ImageBuffer& image);

}  // namespace quorlin
