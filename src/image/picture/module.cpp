// The picture decoder as a module of its own, loaded by quorlin-cli only when it
// needs to read a JPEG, PNG or unusual bitmap file or write a PNG one: most
// commands never do, and linking Qt would cost every one of them its start-up
// time. Nothing but plain C types crosses (module_interface.h): a failure comes back
// as its number and description, and becomes an error again on the other side.
#include <cstring>
#include <exception>
#include <new>

#include "image/picture/module_interface.h"
#include "image/picture/picture_decoder.h"
#include "image/picture_size.h"
#include "base/error.h"

namespace {

void Fill(QuorlinPictureResult* result, int error, const std::string& reason) {
  result->Error = error;
  std::strncpy(result->Reason, reason.c_str(), sizeof result->Reason - 1);
  result->Reason[sizeof result->Reason - 1] = '\0';
}

template <typename Work>
void Guarded(const char* what, const char* nativePath, QuorlinPictureResult* result, Work work) noexcept {
  *result = {};
  try {
    work();
  } catch (const quorlin::PictureTooLarge& e) {
    Fill(result, e.Number(), e.what());
    result->TooLarge = 1;
    result->Width = e.Width;
    result->Height = e.Height;
  } catch (const quorlin::QuorlinError& e) {
    Fill(result, e.Number(), e.what());
  } catch (const std::bad_alloc&) {
    Fill(result, quorlin::kErrOutOfMemory, std::string(what) + nativePath + ": out of memory");
  } catch (const std::exception& e) {
    Fill(result, quorlin::kErrBadFileFormat, std::string(what) + nativePath + ": " + e.what());
  } catch (...) {
    Fill(result, quorlin::kErrBadFileFormat, std::string(what) + nativePath);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void QuorlinDecodePicture(const char* nativePath,
                                                                            QuorlinAllocatePixels allocate,
                                                                            void* context,
                                                                            QuorlinPictureResult* result) noexcept {
  Guarded("Cannot read ", nativePath, result, [&] {
    quorlin::DecodePictureInto(nativePath, [&](int32_t width, int32_t height, size_t bytes) {
      return allocate(context, width, height, bytes);
    });
  });
}

extern "C" __attribute__((visibility("default"))) void QuorlinSavePng(const char* nativePath, int32_t width,
                                                                      int32_t height, const uint8_t* pixels,
                                                                      QuorlinPictureResult* result) noexcept {
  Guarded("Cannot write ", nativePath, result, [&] {
    quorlin::ImageBuffer image;
    image.Width = width;
    image.Height = height;
    image.BitsPerPixel = 24;
    image.Pixels.assign(pixels, pixels + quorlin::PixelBytes(width, height));
    quorlin::SavePng(nativePath, image);
  });
}
