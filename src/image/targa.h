#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
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

// 18 + width * height * 3.
inline constexpr uint32_t TgaImageBytes(uint32_t side) { return 18 + side * side * 3; }

// The whole Targa image of a 24-bit buffer.
std::vector<uint8_t> EncodeTGA(const ImageBuffer& image);

// The 18-byte header of such an image, written at out.
void EncodeTgaHeader(int32_t width, int32_t height, uint8_t* out);

// Writes the Targa image at the current position of an open file, advancing it.
// Throws QuorlinError when the write fails or the size does not fit 16 bits.
void SaveTGA(std::FILE* file, const ImageBuffer& image);

// Writes the Targa image to a native path: the file ends up holding exactly the
// image (written to a temporary file, then renamed over the path).
void SaveTGAFile(const std::string& nativePath, const ImageBuffer& image);

enum class TgaStatus {
  Ok,
  NotTrueColor24,  // ImageType is not 2 or PixelDepth is not 24
  BadSize,         // width or height 0 or negative, or too many pixels
  Truncated,       // the file is shorter than its header, ID, colour map or pixels
  TooLarge,        // more than maxPixels pixels (LoadTGA only), refused from the header
};

// Reads the 18-byte header; true when ImageType is 2 and PixelDepth 24.
bool CheckTGA(std::span<const uint8_t> bytes, TgaHeader& header);
bool CheckTGA(const std::string& nativePath, TgaHeader& header);

// Decodes an uncompressed 24-bit Targa into a top-down buffer, honouring the image
// ID length, the colour map and the origin bits (top first, right to left). On anything but Ok the buffer is
// left untouched.
TgaStatus DecodeTGA(std::span<const uint8_t> bytes, ImageBuffer& image, TgaHeader& header);
// The file form reads the header first and then only the bytes the image needs,
// so that a header claiming a huge size costs nothing.
TgaStatus LoadTGA(const std::string& nativePath, ImageBuffer& image, TgaHeader& header, int64_t maxPixels);

}  // namespace quorlin
