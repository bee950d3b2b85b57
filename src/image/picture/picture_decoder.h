#pragma once

#include <string>

#include "image/image_buffer.h"

namespace quorlin {

// Pictures larger than this many pixels are refused before they are decoded.
inline constexpr long long kMaxPicturePixels = 64LL * 1024 * 1024;

// Decodes a bitmap, JPEG or PNG file with Qt's image reader into a 24-bit top-down
// blue-green-red buffer. The size is read from the header first, so a huge or
// hostile file is refused cheaply. On failure returns false with a reason that
// names the file, and leaves the buffer alone.
bool DecodePicture(const std::string& nativePath, ImageBuffer& image, std::string& reason);

// Writes a 24-bit buffer as a PNG file. Returns false with a reason on failure.
bool SavePng(const std::string& nativePath, const ImageBuffer& image, std::string& reason);

}  // namespace quorlin
