// Fuzzes the Targa reader (CheckTGA, DecodeTGA) with arbitrary file bytes, then
// runs the image operations the insert command applies to a decoded picture.
//
// Checked for every input:
//   - CheckTGA answers "type 2, 24 bits" from the header and leaves the size alone;
//   - DecodeTGA's refusal (its error number) follows from the header and the length (worked out here
//     on its own), and on anything but Ok the buffer is left untouched;
//   - on Ok, every pixel equals the stored pixel the origin bits point at, and the
//     image encodes (EncodeTGA) and decodes back to the same pixels;
//   - FlipImage twice is the identity; ResizeImage and BoxResizeImage to sizes
//     taken from the input give the sizes asked for and the pixels their
//     descriptions promise.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "image/image_buffer.h"
#include "image/targa.h"
#include "base/error.h"

using namespace quorlin;

namespace {

// The error number DecodeTGA must refuse the bytes with, or 0 when it must load them.
int ExpectedRefusal(std::span<const uint8_t> b) {
  if (b.size() < 18) return kErrInputPastEnd;
  if (b[2] != 2 || b[16] != 24) return kErrBadFileFormat;
  const int64_t w = static_cast<int16_t>(static_cast<uint16_t>(b[12] | (b[13] << 8)));
  const int64_t h = static_cast<int16_t>(static_cast<uint16_t>(b[14] | (b[15] << 8)));
  if (w <= 0 || h <= 0 || w * h * 3 > INT32_MAX) return kErrOverflow;
  uint64_t start = 18 + b[0];
  if (b[1] != 0) start += static_cast<uint64_t>(b[5] | (b[6] << 8)) * ((b[7] + 7u) / 8u);
  if (start + static_cast<uint64_t>(w * h * 3) > b.size()) return kErrInputPastEnd;
  return 0;
}

// DecodeTGA's refusal, or 0 when it loaded the bytes.
int Decode(std::span<const uint8_t> bytes, ImageBuffer& image, TgaHeader& header) {
  try {
    DecodeTGA(bytes, image, header, "fuzz.tga");
    return 0;
  } catch (const QuorlinError& e) {
    return e.Number();
  }
}

size_t PixelStart(std::span<const uint8_t> b) {
  size_t start = 18 + b[0];
  if (b[1] != 0) start += static_cast<size_t>(b[5] | (b[6] << 8)) * ((b[7] + 7u) / 8u);
  return start;
}

ImageBuffer Sentinel() {
  ImageBuffer s;
  s.Width = 1;
  s.Height = 1;
  s.BitsPerPixel = 24;
  s.Pixels = {1, 2, 3};
  return s;
}

bool SameImage(const ImageBuffer& a, const ImageBuffer& b) {
  return a.Width == b.Width && a.Height == b.Height && a.BitsPerPixel == b.BitsPerPixel && a.Pixels == b.Pixels;
}

void CheckResize(const ImageBuffer& source, int32_t w2, int32_t h2) {
  ImageBuffer out;
  out.Width = w2;
  out.Height = h2;
  out.Pixels.resize(static_cast<size_t>(w2) * static_cast<size_t>(h2) * 3);
  ResizeImage(source, w2, h2, out.Pixels.data());
  const double rx = static_cast<double>(source.Width) / w2;
  const double ry = static_cast<double>(source.Height) / h2;
  for (int32_t y = 0; y < h2; ++y) {
    // Round halves to even (the default rounding mode), clamp to the last row/column.
    const auto sy = static_cast<int32_t>(std::fmin(std::fmax(std::nearbyint(y * ry), 0.0), source.Height - 1.0));
    for (int32_t x = 0; x < w2; ++x) {
      const auto sx = static_cast<int32_t>(std::fmin(std::fmax(std::nearbyint(x * rx), 0.0), source.Width - 1.0));
      for (int c = 0; c < 3; ++c) {
        QUORLIN_FUZZ_CHECK(out.Pixels[out.Offset(x, y) + c] == source.Pixels[source.Offset(sx, sy) + c],
                           "nearest-neighbour pixel");
      }
    }
  }
}

void CheckBoxResize(const ImageBuffer& source, int32_t bw, int32_t bh) {
  const int32_t w2 = source.Width / bw;
  const int32_t h2 = source.Height / bh;
  ImageBuffer out;
  out.Width = w2;
  out.Height = h2;
  out.Pixels.resize(static_cast<size_t>(w2) * static_cast<size_t>(h2) * 3);
  BoxResizeImage(source, w2, h2, out.Pixels.data());
  const uint64_t count = static_cast<uint64_t>(bw) * static_cast<uint64_t>(bh);
  for (int32_t y = 0; y < h2; ++y) {
    for (int32_t x = 0; x < w2; ++x) {
      for (int c = 0; c < 3; ++c) {
        uint64_t sum = 0;
        for (int32_t j = 0; j < bh; ++j) {
          for (int32_t i = 0; i < bw; ++i) sum += source.Pixels[source.Offset(x * bw + i, y * bh + j) + c];
        }
        QUORLIN_FUZZ_CHECK(out.Pixels[out.Offset(x, y) + c] == (sum + count / 2) / count, "box average");
      }
    }
  }
}

// The largest divisor of n that is at most limit.
int32_t DivisorAtMost(int32_t n, int32_t limit) {
  for (int32_t d = limit < n ? limit : n; d > 1; --d) {
    if (n % d == 0) return d;
  }
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  // CheckTGA: header only, size left alone.
  TgaHeader checked;
  checked.Width = 1234;
  checked.Height = -5;
  const bool isTrueColor = CheckTGA(bytes, checked);
  QUORLIN_FUZZ_CHECK(isTrueColor == (size >= 18 && data[2] == 2 && data[16] == 24), "CheckTGA answer");
  QUORLIN_FUZZ_CHECK(checked.Width == 1234 && checked.Height == -5, "CheckTGA leaves the size alone");

  ImageBuffer image = Sentinel();
  TgaHeader header;
  const int refusal = Decode(bytes, image, header);
  QUORLIN_FUZZ_CHECK(refusal == ExpectedRefusal(bytes), "DecodeTGA's refusal");
  if (refusal != 0) {
    QUORLIN_FUZZ_CHECK(SameImage(image, Sentinel()), "a failed decode leaves the buffer alone");
    return 0;
  }

  // Pixels against the stored bytes.
  const int32_t w = image.Width;
  const int32_t h = image.Height;
  QUORLIN_FUZZ_CHECK(w == header.Width && h == header.Height && image.BitsPerPixel == 24, "decoded size");
  QUORLIN_FUZZ_CHECK(image.Pixels.size() == static_cast<size_t>(w) * static_cast<size_t>(h) * 3, "decoded bytes");
  const bool topFirst = (data[17] & 0x20) != 0;
  const bool rightToLeft = (data[17] & 0x10) != 0;
  const uint8_t* stored = data + PixelStart(bytes);
  for (int32_t y = 0; y < h; ++y) {
    const int32_t row = topFirst ? y : h - 1 - y;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t col = rightToLeft ? w - 1 - x : x;
      const uint8_t* in = stored + (static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(col)) * 3;
      for (int c = 0; c < 3; ++c) {
        QUORLIN_FUZZ_CHECK(image.Pixels[image.Offset(x, y) + c] == in[c], "decoded pixel");
      }
    }
  }

  // Encode and decode back.
  const std::vector<uint8_t> encoded = SaveTGA(image);
  QUORLIN_FUZZ_CHECK(encoded.size() == 18 + image.Pixels.size(), "encoded length");
  QUORLIN_FUZZ_CHECK(encoded[0] == 0 && encoded[1] == 0 && encoded[2] == 2 && encoded[16] == 24 && encoded[17] == 0x20,
                     "encoded header");
  ImageBuffer again;
  TgaHeader againHeader;
  QUORLIN_FUZZ_CHECK(Decode(encoded, again, againHeader) == 0, "encoded image decodes");
  QUORLIN_FUZZ_CHECK(SameImage(image, again), "encode then decode gives the same image");

  // Flip twice.
  ImageBuffer flipped = image;
  FlipImage(flipped);
  FlipImage(flipped);
  QUORLIN_FUZZ_CHECK(SameImage(image, flipped), "flipping twice gives the same image");

  // Resampling to sizes taken from the origin fields (1..64 each).
  const int32_t w2 = 1 + data[8] % 64;
  const int32_t h2 = 1 + data[10] % 64;
  CheckResize(image, w2, h2);
  CheckResize(image, w, h);
  CheckBoxResize(image, DivisorAtMost(w, 1 + data[9] % 16), DivisorAtMost(h, 1 + data[11] % 16));
  return 0;
}
