#include "image/targa.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/error.h"
#include "platform/native_file.h"

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

std::array<uint8_t, kTgaHeaderSize> EncodeHeader(const ImageBuffer& image) {
  std::array<uint8_t, kTgaHeaderSize> h{};
  EncodeTgaHeader(image.Width, image.Height, h.data());
  return h;
}

void ParseHeader(const uint8_t* b, TgaHeader& header) {
  header.IdLength = b[0];
  header.ColorMapType = b[1];
  header.ImageType = b[2];
  std::memcpy(header.ColorMapSpec.data(), b + 3, 5);
  header.XOrigin = static_cast<uint16_t>(b[8] | (b[9] << 8));
  header.YOrigin = static_cast<uint16_t>(b[10] | (b[11] << 8));
  // Width and height pass through a 16-bit signed value: 32768 and up read negative.
  header.Width = static_cast<int16_t>(b[12] | (b[13] << 8));
  header.Height = static_cast<int16_t>(b[14] | (b[15] << 8));
  header.PixelDepth = b[16];
  header.ImageDescriptor = b[17];
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

std::vector<uint8_t> EncodeTGA(const ImageBuffer& image) {
  CheckEncodable(image);
  const auto header = EncodeHeader(image);
  const size_t pixels = PixelBytes(image.Width, image.Height);
  std::vector<uint8_t> out;
  out.reserve(kTgaHeaderSize + pixels);
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), image.Pixels.begin(), image.Pixels.begin() + static_cast<std::ptrdiff_t>(pixels));
  return out;
}

void SaveTGA(std::FILE* file, const ImageBuffer& image) {
  CheckEncodable(image);
  const auto header = EncodeHeader(image);
  const size_t row = static_cast<size_t>(image.Width) * 3;
  bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
  for (int32_t y = 0; ok && y < image.Height; ++y) {
    ok = std::fwrite(image.Pixels.data() + static_cast<size_t>(y) * row, 1, row, file) == row;
  }
  if (!ok) throw ErrorFromErrno(errno ? errno : EIO, "Cannot write a Targa image to", "the open file");
}

void SaveTGAFile(const std::string& nativePath, const ImageBuffer& image) {
  WriteWholeFile(nativePath, EncodeTGA(image));
}

bool CheckTGA(std::span<const uint8_t> bytes, TgaHeader& header) {
  if (bytes.size() < kTgaHeaderSize) return false;
  const int32_t width = header.Width;
  const int32_t height = header.Height;
  ParseHeader(bytes.data(), header);
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

TgaStatus DecodeTGA(std::span<const uint8_t> bytes, ImageBuffer& image, TgaHeader& header) {
  if (bytes.size() < kTgaHeaderSize) return TgaStatus::Truncated;
  ParseHeader(bytes.data(), header);
  if (header.ImageType != 2 || header.PixelDepth != 24) return TgaStatus::NotTrueColor24;
  const size_t pixelBytes = PixelBytes(header.Width, header.Height);
  if (pixelBytes == 0) return TgaStatus::BadSize;

  // Pixel data follows the image ID and the colour map, if any.
  size_t start = kTgaHeaderSize + header.IdLength;
  if (header.ColorMapType != 0) {
    const uint16_t mapLength = static_cast<uint16_t>(header.ColorMapSpec[2] | (header.ColorMapSpec[3] << 8));
    const uint8_t entryBits = header.ColorMapSpec[4];
    start += static_cast<size_t>(mapLength) * ((entryBits + 7u) / 8u);
  }
  if (start > bytes.size() || bytes.size() - start < pixelBytes) return TgaStatus::Truncated;

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
  image.Palette.clear();
  image.Pixels = std::move(pixels);
  return TgaStatus::Ok;
}

TgaStatus LoadTGA(const std::string& nativePath, ImageBuffer& image, TgaHeader& header, int64_t maxPixels) {
  NativeFile file(nativePath, NativeFile::Access::Read);
  std::vector<uint8_t> bytes(kTgaHeaderSize);
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  if (bytes.size() == kTgaHeaderSize) {
    TgaHeader h;
    ParseHeader(bytes.data(), h);
    const size_t pixels = PixelBytes(h.Width, h.Height);
    if (h.ImageType == 2 && h.PixelDepth == 24 && pixels != 0) {
      if (static_cast<int64_t>(h.Width) * h.Height > maxPixels) return TgaStatus::TooLarge;
      const uint64_t entries = h.ColorMapSpec[2] | (h.ColorMapSpec[3] << 8);
      const uint64_t map = h.ColorMapType ? entries * ((h.ColorMapSpec[4] + 7u) / 8u) : 0;
      bytes.resize(std::min<uint64_t>(file.Size(), kTgaHeaderSize + h.IdLength + map + pixels));
      bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
    }
  }
  return DecodeTGA(bytes, image, header);
}

}  // namespace quorlin
