#include "image/picture/picture_decoder.h"

#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <cstring>

namespace quorlin {

namespace {

QString NativeName(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

// Qt's bitmap reader fills the rows of a cut-off uncompressed bitmap with black
// instead of failing; such a file is refused here. Returns false for a bitmap
// shorter than its pixel rows.
bool BitmapLongEnough(QIODevice* device) {
  const QByteArray head = device->peek(34);
  if (head.size() < 34 || head[0] != 'B' || head[1] != 'M') return true;
  auto u32 = [&](int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(head[at])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(head[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(head[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(head[at + 3])) << 24);
  };
  const uint32_t headerSize = u32(14);
  if (headerSize < 40) return true;  // old OS/2 headers: left to the reader
  const uint32_t compression = u32(30);
  if (compression != 0 && compression != 3) return true;  // run-length data has no fixed size
  const long long width = static_cast<int32_t>(u32(18));
  const long long height = static_cast<int32_t>(u32(22));
  const int bits = static_cast<uint8_t>(head[28]) | (static_cast<uint8_t>(head[29]) << 8);
  // Sizes beyond any picture we load are left to the reader's size limit; this
  // also keeps the arithmetic below far from overflow.
  if (width < -(1LL << 24) || width > (1LL << 24) || height < -(1LL << 24) || height > (1LL << 24)) return true;
  const long long stride = ((width < 0 ? -width : width) * bits + 31) / 32 * 4;
  const long long needed = static_cast<long long>(u32(10)) + stride * (height < 0 ? -height : height);
  return device->size() >= needed;
}

// Qt's JPEG reader, like libjpeg, fills the rest of a cut-off JPEG with grey and
// only warns. A complete JPEG ends with the end-of-image marker FF D9 (perhaps
// followed by a little padding); a file without one near its end is refused.
bool JpegComplete(QFile* file) {
  const QByteArray head = file->peek(2);
  if (head.size() < 2 || static_cast<uint8_t>(head[0]) != 0xFF || static_cast<uint8_t>(head[1]) != 0xD8) return true;
  constexpr qint64 kTail = 64 * 1024;
  const qint64 size = file->size();
  const qint64 start = size > kTail ? size - kTail : 0;
  const qint64 here = file->pos();
  QByteArray tail;
  if (file->seek(start)) tail = file->read(size - start);
  file->seek(here);
  return tail.contains("\xFF\xD9");
}

}  // namespace

bool DecodePicture(const std::string& nativePath, ImageBuffer& image, std::string& reason) {
  // Qt refuses allocations above this limit (in MiB) whatever the decoder.
  QImageReader::setAllocationLimit(256);
  QFile file(NativeName(nativePath));
  if (!file.open(QIODevice::ReadOnly)) {
    reason = "Cannot read " + nativePath + ": " + file.errorString().toStdString();
    return false;
  }
  if (!BitmapLongEnough(&file)) {
    reason = "Cannot read " + nativePath + ": the bitmap file is shorter than its pixels";
    return false;
  }
  if (!JpegComplete(&file)) {
    reason = "Cannot read " + nativePath + ": the JPEG file is cut short (it has no end-of-image marker)";
    return false;
  }
  QImageReader reader(&file);
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (size.isValid() &&
      static_cast<long long>(size.width()) * static_cast<long long>(size.height()) > kMaxPicturePixels) {
    reason = kNot512;
    return false;
  }
  QImage decoded;
  if (!reader.read(&decoded) || decoded.isNull()) {
    reason = "Cannot read " + nativePath + ": " + reader.errorString().toStdString();
    return false;
  }
  const QImage bgr = decoded.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull()) {
    reason = "Cannot read " + nativePath + ": the picture cannot be converted to 24-bit colour";
    return false;
  }
  const size_t row = static_cast<size_t>(bgr.width()) * 3;
  std::vector<uint8_t> pixels(row * static_cast<size_t>(bgr.height()));
  for (int y = 0; y < bgr.height(); ++y) {
    std::memcpy(pixels.data() + static_cast<size_t>(y) * row, bgr.constScanLine(y), row);
  }
  image.Width = bgr.width();
  image.Height = bgr.height();
  image.BitsPerPixel = 24;
  image.Palette.clear();
  image.Pixels = std::move(pixels);
  return true;
}

bool SavePng(const std::string& nativePath, const ImageBuffer& image, std::string& reason) {
  if (image.BitsPerPixel != 24 || PixelBytes(image.Width, image.Height) == 0 ||
      image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
    reason = "Cannot write " + nativePath + ": no 24-bit image";
    return false;
  }
  const QImage view(image.Pixels.data(), image.Width, image.Height, image.Width * 3, QImage::Format_BGR888);
  QImageWriter writer(NativeName(nativePath), "png");
  if (!writer.write(view)) {
    reason = "Cannot write " + nativePath + ": " + writer.errorString().toStdString();
    return false;
  }
  return true;
}

}  // namespace quorlin
