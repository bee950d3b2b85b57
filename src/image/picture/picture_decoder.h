#pragma once

#include <cstdint>
#include <string>

#include "image/image_buffer.h"

namespace quorlin {

// A picture with more pixels than this is refused from its header, before anything
// is decoded, as not being 512x512: decoding a header that only claims an
// enormous size would take hundreds of megabytes.
inline constexpr int64_t kMaxPicturePixels = 1024 * 1024;

// Decodes a bitmap, JPEG or PNG file with the platform's decoder (Qt's image
// reader; the Windows Imaging Component on Windows) into a 24-bit top-down
// blue-green-red buffer. The size is read from the header first, so a huge or
// hostile file is refused cheaply. On failure throws QuorlinError whose
// description is the message to show (naming the file), and leaves the buffer alone.
void DecodePicture(const std::string& nativePath, ImageBuffer& image);

// Writes a 24-bit buffer as a PNG file; QuorlinError (kErrPathFileAccess) naming the
// file on failure.
void SavePng(const std::string& nativePath, const ImageBuffer& image);

}  // namespace quorlin
