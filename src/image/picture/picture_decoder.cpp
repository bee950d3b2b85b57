#include "image/picture/picture_decoder.h"

#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <cstdlib>
#include <cstring>

#include "image/picture_checks.h"
#include "base/error.h"

namespace quorlin {

namespace {

QString NativeName(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

[[noreturn]] void Fail(const std::string& reason, int number = kErrBadFileFormat) {
  throw QuorlinError(number, reason);
}

}  // namespace

void DecodePictureInto(const std::string& nativePath, const PixelAllocator& allocate) {
  // Qt refuses allocations above this limit (in MiB) whatever the decoder: room for
  // the largest picture let through in 32-bit colour (64 MiB), twice over.
  QImageReader::setAllocationLimit(128);
  RefuseBeforeDecoding(nativePath);
  QFile file(NativeName(nativePath));
  if (!file.open(QIODevice::ReadOnly)) Fail("Cannot read " + nativePath + ": " + file.errorString().toStdString());
  QImageReader reader(&file);
  reader.setAutoTransform(false);
  // A top-down bitmap may report its height as negative.
  const QSize size = reader.size();
  RequireLoadableSize(std::llabs(size.width()), std::llabs(size.height()));
  QImage decoded;
  if (!reader.read(&decoded) || decoded.isNull()) {
    Fail("Cannot read " + nativePath + ": " + reader.errorString().toStdString());
  }
  // The decoder's own size must be one the header promised.
  RequireLoadableSize(decoded.width(), decoded.height());
  // 32-bit pixels are taken row by row into the buffer, which spares a second
  // whole copy of a large picture; other forms are converted first.
  const bool direct = decoded.format() == QImage::Format_RGB32 || decoded.format() == QImage::Format_ARGB32;
  if (!direct) {
    decoded = decoded.convertToFormat(QImage::Format_BGR888);
    if (decoded.isNull()) Fail("Cannot read " + nativePath + ": the picture cannot be converted to 24-bit colour");
  }
  const size_t row = static_cast<size_t>(decoded.width()) * 3;
  uint8_t* out = allocate(decoded.width(), decoded.height(), row * static_cast<size_t>(decoded.height()));
  if (!out) Fail("Cannot read " + nativePath + ": not enough memory for its pixels", kErrOutOfMemory);
  for (int y = 0; y < decoded.height(); ++y, out += row) {
    if (!direct) {
      std::memcpy(out, decoded.constScanLine(y), row);
      continue;
    }
    const auto* in = reinterpret_cast<const QRgb*>(decoded.constScanLine(y));
    for (int x = 0; x < decoded.width(); ++x) {
      out[3 * x] = static_cast<uint8_t>(qBlue(in[x]));
      out[3 * x + 1] = static_cast<uint8_t>(qGreen(in[x]));
      out[3 * x + 2] = static_cast<uint8_t>(qRed(in[x]));
    }
  }
}

void SavePng(const std::string& nativePath, const ImageBuffer& image) {
  if (image.BitsPerPixel != 24 || PixelBytes(image.Width, image.Height) == 0 ||
      image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
    Fail("Cannot write " + nativePath + ": no 24-bit image", kErrPathFileAccess);
  }
  const QImage view(image.Pixels.data(), image.Width, image.Height, image.Width * 3, QImage::Format_BGR888);
  QImageWriter writer(NativeName(nativePath), "png");
  if (!writer.write(view)) {
    Fail("Cannot write " + nativePath + ": " + writer.errorString().toStdString(), kErrPathFileAccess);
  }
}

}  // namespace quorlin
