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
#include "platform/error.h"
#include "platform/texts.h"

namespace quorlin {

namespace {

QString NativeName(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

[[noreturn]] void Fail(const std::string& reason, int number = kErrBadFileFormat) {
  throw QuorlinError(number, reason);
}

}  // namespace

void DecodePicture(const std::string& nativePath, ImageBuffer& image) {
  // Qt refuses allocations above this limit (in MiB) whatever the decoder: four
  // times what the largest picture let through needs in 32-bit colour.
  QImageReader::setAllocationLimit(16);
  RefuseBeforeDecoding(nativePath);
  QFile file(NativeName(nativePath));
  if (!file.open(QIODevice::ReadOnly)) Fail("Cannot read " + nativePath + ": " + file.errorString().toStdString());
  QImageReader reader(&file);
  reader.setAutoTransform(false);
  // A top-down bitmap may report its height as negative.
  const QSize size = reader.size();
  if (std::llabs(size.width()) * std::llabs(size.height()) > kMaxPicturePixels) Fail(text::kNot512);
  QImage decoded;
  if (!reader.read(&decoded) || decoded.isNull()) {
    Fail("Cannot read " + nativePath + ": " + reader.errorString().toStdString());
  }
  const QImage bgr = decoded.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull()) Fail("Cannot read " + nativePath + ": the picture cannot be converted to 24-bit colour");
  const size_t row = static_cast<size_t>(bgr.width()) * 3;
  std::vector<uint8_t> pixels(row * static_cast<size_t>(bgr.height()));
  for (int y = 0; y < bgr.height(); ++y) {
    std::memcpy(pixels.data() + static_cast<size_t>(y) * row, bgr.constScanLine(y), row);
  }
  image.Width = bgr.width();
  image.Height = bgr.height();
  image.BitsPerPixel = 24;
  image.Pixels = std::move(pixels);
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
