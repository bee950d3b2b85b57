// Fuzzes the picture decoder (DecodePicture over Qt's image reader) and our reader
// of plain bitmaps (LoadPlainBitmap) with arbitrary file bytes. Both read from a
// path, so each input is written to a file in a private temporary folder, removed
// after the input. The file's name ends in .png, .bmp or .jpg after the input's
// signature (PNG, "BM", JPEG), and otherwise after the input's length, so that
// both the matching and the mismatching name are met.
//
// Checked: no crash or sanitizer report in our code; on success the buffer holds a
// 24-bit image whose byte count matches its size and whose size is within the
// decoder's pixel limit; on failure the reason names the file (or, for a size
// beyond the limit, is "Skin file isn't 512x512!") and the buffer is left
// untouched; where both readers take a bitmap, they give the same picture.
//
// Qt itself is not built with coverage or sanitizers here, so the fuzzer sees no
// coverage from inside the decoders and memory errors inside Qt are only caught
// where they reach an intercepted call (malloc, free, memcpy...).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_support.h"
#include "image/bitmap.h"
#include "image/image_buffer.h"
#include "image/picture/picture_decoder.h"
#include "base/error.h"
#include "base/texts.h"

using namespace quorlin;

namespace {

const char* Extension(const uint8_t* data, size_t size) {
  if (size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') return ".png";
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ".bmp";
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) return ".jpg";
  static const char* const kAll[] = {".png", ".bmp", ".jpg"};
  return kAll[size % 3];
}

// A private folder holding one input file, removed with it when the input has
// been run. Made afresh for every input: libFuzzer ends its runs with _Exit, so
// nothing left for an exit handler would ever be cleaned up.
class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorlin-fuzz-picture-XXXXXX").string();
    QUORLIN_FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
    folder_ = pattern;
    path_ = folder_ + "/input" + Extension(data, size);
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    QUORLIN_FUZZ_CHECK(f != nullptr, "the input file opens");
    QUORLIN_FUZZ_CHECK(std::fwrite(data, 1, size, f) == size, "the input file is written");
    std::fclose(f);
  }
  ~InputFile() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const InputFile file(data, size);
  const std::string& path = file.path();

  // Our reader of plain bitmaps: the same promises, and where Qt decodes the same
  // file, the same pixels.
  ImageBuffer plain;
  plain.Width = 7;
  plain.Pixels = {9};
  bool read = false;
  try {
    read = LoadPlainBitmap(path, plain);
  } catch (const QuorlinError&) {
  }
  if (read) {
    QUORLIN_FUZZ_CHECK(plain.BitsPerPixel == 24 && plain.Width > 0 && plain.Height > 0, "a plain bitmap");
    QUORLIN_FUZZ_CHECK(LoadableSize(plain.Width, plain.Height), "within the limit");
    QUORLIN_FUZZ_CHECK(plain.Pixels.size() == static_cast<size_t>(plain.Width) * static_cast<size_t>(plain.Height) * 3,
                       "pixel bytes match the size");
  } else {
    QUORLIN_FUZZ_CHECK(plain.Width == 7 && plain.Pixels.size() == 1, "a refused bitmap leaves the buffer alone");
  }

  ImageBuffer image;
  image.Width = 7;
  image.Pixels = {9};
  std::string reason;
  try {
    DecodePicture(path, image);
  } catch (const QuorlinError& e) {
    reason = e.what();
  }
  if (reason.empty()) {
    if (read) {
      QUORLIN_FUZZ_CHECK(image.Width == plain.Width && image.Height == plain.Height && image.Pixels == plain.Pixels,
                         "our bitmap reader and Qt's give the same picture");
    }
    QUORLIN_FUZZ_CHECK(image.BitsPerPixel == 24 && image.Width > 0 && image.Height > 0, "a decoded picture");
    QUORLIN_FUZZ_CHECK(LoadableSize(image.Width, image.Height), "within the limit");
    QUORLIN_FUZZ_CHECK(image.Pixels.size() == static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height) * 3,
                       "pixel bytes match the size");
  } else {
    // A size beyond the limit is refused from the header with the user's message.
    QUORLIN_FUZZ_CHECK(reason.find(path) != std::string::npos || reason.rfind("picture too large: ", 0) == 0,
                       "the reason names the file or the size");
    QUORLIN_FUZZ_CHECK(image.Width == 7 && image.Pixels.size() == 1 && image.BitsPerPixel == 0,
                       "a failed decode leaves the buffer alone");
  }
  return 0;
}
