#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/image_buffer.h"

namespace quorlin {

// Targa layout (little-endian):
//   0 IdLength  1 ColorMapType  2 ImageType  3 ColorMapSpec[5] (first index u16,
//   length u16, entry bits u8)  8 XOrigin  10 YOrigin  12 width  14 height
//   16 PixelDepth  17 ImageDescriptor (bit 5: rows stored top first)
//   18 image ID (IdLength bytes), colour map, then pixel data.
// Written images: type 2, 24 bits, descriptor 0x20, no ID, no colour map.
struct TgaHeader {
  uint8_t IdLength = 0;
  uint8_t ColorMapType = 0;
  uint8_t ImageType = 0;
  std::array<uint8_t, 5> ColorMapSpec{};
  uint16_t XOrigin = 0;
  uint16_t YOrigin = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t PixelDepth = 0;
  uint8_t ImageDescriptor = 0;
};
inline constexpr size_t kTgaHeaderSize = 18;

// The Targa image of a 24-bit buffer, as it is written over an archive entry or
// into a file. Throws QuorlinError when the size does not fit 16 bits or the buffer
// holds fewer pixels than its size.
std::vector<uint8_t> SaveTGA(const ImageBuffer& image);

// The 18-byte header of such an image, written at out.
void EncodeTgaHeader(int32_t width, int32_t height, uint8_t* out);

// Reads the 18-byte header; true when ImageType is 2 and PixelDepth 24. The size
// in the header is left alone.
bool CheckTGA(std::span<const uint8_t> bytes, TgaHeader& header);
bool CheckTGA(const std::string& nativePath, TgaHeader& header);

// Decodes an uncompressed 24-bit Targa into a top-down buffer, honouring the image
// ID length, the colour map and the origin bits (top first, right to left). What
// it cannot load it refuses with QuorlinError naming the file (name), leaving the
// buffer untouched:
//   kErrBadFileFormat  ImageType is not 2 or PixelDepth is not 24
//   kErrOverflow       width or height 0 or negative, or too many pixels
//   kErrInputPastEnd   shorter than its header, ID, colour map or pixels
void DecodeTGA(std::span<const uint8_t> bytes, ImageBuffer& image, TgaHeader& header, const std::string& name);
// The file form reads the header first and then only the bytes the image needs,
// so that a header claiming a huge size costs nothing: a size that cannot make a
// skin is refused from the header with PictureTooLarge (image/picture_size.h).
void LoadTGA(const std::string& nativePath, ImageBuffer& image, TgaHeader& header);

}  // namespace quorlin
