#include "image/targa.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "base/error.h"
#include "platform/little_endian.h"
#include "platform/native_file.h"
#include "image/picture_size.h"
#include "base/texts.h"

namespace quorlin {

namespace {

void CheckEncodable(const ImageBuffer& image) {
  if (image.Width <= 0 || image.Height <= 0 || image.Width > 32767 || image.Height > 32767) {
    throw QuorlinError(kErrOverflow, "Overflow: a Targa image cannot be " + std::to_string(image.Width) + "x" +
                                         std::to_string(image.Height) + " pixels");
  }
  if (image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
    throw QuorlinError(kErrSubscriptOutOfRange, "Subscript out of range: the image holds fewer pixels than its size");
  }
}

void ParseHeader(std::span<const uint8_t> bytes, TgaHeader& header) {
  const ByteReader b(bytes.first(kTgaHeaderSize));
  header.IdLength = b.U8At(0);
  header.ColorMapType = b.U8At(1);
  header.ImageType = b.U8At(2);
  std::copy_n(bytes.begin() + 3, 5, header.ColorMapSpec.begin());
  header.XOrigin = b.U16At(8);
  header.YOrigin = b.U16At(10);
  // Width and height pass through a 16-bit signed value: 32768 and up read negative.
  header.Width = b.I16At(12);
  header.Height = b.I16At(14);
  header.PixelDepth = b.U8At(16);
  header.ImageDescriptor = b.U8At(17);
}

// The bytes of the colour map that may lie between the image ID and the pixels.
uint64_t ColorMapBytes(const TgaHeader& h) {
  if (h.ColorMapType == 0) return 0;
  const uint64_t entries = ByteReader(h.ColorMapSpec).U16At(2);
  return entries * ((h.ColorMapSpec[4] + 7u) / 8u);
}

[[noreturn]] void Refuse(int number, const std::string& name, const char* why) {
  throw QuorlinError(number, "Cannot read " + name + ": " + why);
}

}  // namespace

void EncodeTgaHeader(int32_t width, int32_t height, uint8_t* h) {
  std::fill(h, h + kTgaHeaderSize, uint8_t{0});
  h[2] = 2;  // uncompressed true-colour
  h[12] = static_cast<uint8_t>(width);
  h[13] = static_cast<uint8_t>(width >> 8);
  h[14] = static_cast<uint8_t>(height);
  h[15] = static_cast<uint8_t>(height >> 8);
  h[16] = 24;
  h[17] = 0x20;  // rows stored top first
}

std::vector<uint8_t> SaveTGA(const ImageBuffer& image) {
  CheckEncodable(image);
  const size_t pixels = PixelBytes(image.Width, image.Height);
  std::vector<uint8_t> out(kTgaHeaderSize);
  out.reserve(kTgaHeaderSize + pixels);
  EncodeTgaHeader(image.Width, image.Height, out.data());
  out.insert(out.end(), image.Pixels.begin(), image.Pixels.begin() + static_cast<std::ptrdiff_t>(pixels));
  return out;
}

bool CheckTGA(std::span<const uint8_t> bytes, TgaHeader& header) {
  if (bytes.size() < kTgaHeaderSize) return false;
  const int32_t width = header.Width;
  const int32_t height = header.Height;
  ParseHeader(bytes, header);
  header.Width = width;  // CheckTGA leaves the size alone
  header.Height = height;
  return header.ImageType == 2 && header.PixelDepth == 24;
}

bool CheckTGA(const std::string& nativePath, TgaHeader& header) {
  std::ifstream in(nativePath, std::ios::binary);
  uint8_t b[kTgaHeaderSize] = {};
  if (!in.read(reinterpret_cast<char*>(b), sizeof b)) return false;
  return CheckTGA(std::span<const uint8_t>(b, sizeof b), header);
}

void DecodeTGA(std::span<const uint8_t> bytes, ImageBuffer& image, TgaHeader& header, const std::string& name) {
  if (bytes.size() < kTgaHeaderSize) Refuse(kErrInputPastEnd, name, "the Targa file is shorter than its pixels.");
  ParseHeader(bytes, header);
  if (header.ImageType != 2 || header.PixelDepth != 24) throw QuorlinError(kErrBadFileFormat, text::kTargaNot24);
  const size_t pixelBytes = PixelBytes(header.Width, header.Height);
  if (pixelBytes == 0) Refuse(kErrOverflow, name, "the Targa image's width or height is not usable.");

  // Pixel data follows the image ID and the colour map, if any.
  const uint64_t start = kTgaHeaderSize + header.IdLength + ColorMapBytes(header);
  if (start > bytes.size() || bytes.size() - start < pixelBytes) {
    Refuse(kErrInputPastEnd, name, "the Targa file is shorter than its pixels.");
  }
  const size_t row = static_cast<size_t>(header.Width) * 3;
  const auto rows = static_cast<size_t>(header.Height);
  const bool topFirst = (header.ImageDescriptor & 0x20) != 0;
  const bool rightToLeft = (header.ImageDescriptor & 0x10) != 0;
  std::vector<uint8_t> pixels(pixelBytes);
  for (size_t r = 0; r < rows; ++r) {
    const size_t target = topFirst ? r : rows - 1 - r;
    uint8_t* out = pixels.data() + target * row;
    const uint8_t* in = bytes.data() + start + r * row;
    if (!rightToLeft) {
      std::memcpy(out, in, row);
      continue;
    }
    for (size_t x = 0; x < row; x += 3) std::memcpy(out + row - 3 - x, in + x, 3);
  }
  image.BitsPerPixel = 24;
  image.Width = header.Width;
  image.Height = header.Height;
  image.Pixels = std::move(pixels);
}

void LoadTGA(const std::string& nativePath, ImageBuffer& image, TgaHeader& header) {
  NativeFile file(nativePath, NativeFile::Access::Read);
  std::vector<uint8_t> bytes(kTgaHeaderSize);
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  if (bytes.size() == kTgaHeaderSize) {
    TgaHeader h;
    ParseHeader(bytes, h);
    const size_t pixels = PixelBytes(h.Width, h.Height);
    if (h.ImageType == 2 && h.PixelDepth == 24 && pixels != 0) {
      RequireLoadableSize(h.Width, h.Height);
      bytes.resize(std::min<uint64_t>(file.Size(), kTgaHeaderSize + h.IdLength + ColorMapBytes(h) + pixels));
      bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
    }
  }
  DecodeTGA(bytes, image, header, nativePath);
}

}  // namespace quorlin
