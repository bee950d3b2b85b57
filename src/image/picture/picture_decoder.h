#pragma once

#include <string>

#include "app/commands.h"
#include "image/image_buffer.h"

namespace quorlin {

// A picture larger than kMaxPicturePixels is refused from its header, with the
// reason kNot512, before anything is decoded.

// Decodes a bitmap, JPEG or PNG file with Qt's image reader into a 24-bit top-down
// blue-green-red buffer. The size is read from the header first, so a huge or
// hostile file is refused cheaply. On failure returns false with a reason that
// names the file, and leaves the buffer alone.
bool DecodePicture(const std::string& nativePath, ImageBuffer& image, std::string& reason);

// Writes a 24-bit buffer as a PNG file. Returns false with a reason on failure.
bool SavePng(const std::string& nativePath, const ImageBuffer& image, std::string& reason);

}  // namespace quorlin
