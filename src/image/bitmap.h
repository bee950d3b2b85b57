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
//
// Reads the header first, then only the pixel rows. Returns false, leaving the
// image alone, for any other kind of file and for one that cannot be opened or
// read (the decoder then says why). Refuses a plain bitmap of a size that cannot
// make a skin with PictureTooLarge (image/picture_size.h), and one shorter than its
// pixel rows with QuorlinError (kErrInputPastEnd).
bool LoadPlainBitmap(const std::string& nativePath, ImageBuffer& image);

}  // namespace quorlin
