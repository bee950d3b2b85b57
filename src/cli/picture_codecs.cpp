#include "cli/picture_codecs.h"

#ifdef _WIN32

#include "image/picture/picture_decoder.h"

namespace quorlin {

PictureCodecs ProgramPictureCodecs() { return {DecodePicture, SavePng}; }

}  // namespace quorlin

#else

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "image/picture/module_interface.h"
#include "image/picture_size.h"
#include "base/error.h"

namespace quorlin {

namespace {

struct Module {
  QuorlinDecodePictureFunction Decode = nullptr;
  QuorlinSavePngFunction Save = nullptr;
  std::string Error;
};

// The module beside the program (the build tree), else in the installed module
// folder, QUORLIN_INSTALLED_MODULE_DIR relative to the program's folder
// (cmake/linux-package.cmake: lib/<arch>/quorlin seen from bin).
std::string ModulePath() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.find_last_of('/') + 1);
  const std::string beside = dir + "libquorlin-picture.so";
  if (::access(beside.c_str(), F_OK) == 0) return beside;
  return dir + QUORLIN_INSTALLED_MODULE_DIR "/libquorlin-picture.so";
}

const Module& Loaded() {
  static const Module module = [] {
    Module m;
    const std::string path = ModulePath();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) {
      m.Decode = reinterpret_cast<QuorlinDecodePictureFunction>(::dlsym(handle, "QuorlinDecodePicture"));
      m.Save = reinterpret_cast<QuorlinSavePngFunction>(::dlsym(handle, "QuorlinSavePng"));
    }
    if (!m.Decode || !m.Save) {
      const char* why = ::dlerror();
      m.Error = "the picture decoder " + path + " could not be loaded" + (why ? std::string(": ") + why : "");
    }
    return m;
  }();
  return module;
}

// A failure the module reports, as the error it stands for.
[[noreturn]] void Throw(const QuorlinPictureResult& result) {
  if (result.TooLarge) throw PictureTooLarge(result.Width, result.Height);
  throw QuorlinError(result.Error, result.Reason);
}

}  // namespace

PictureCodecs ProgramPictureCodecs() {
  return {[](const std::string& path, ImageBuffer& image) {
            if (!Loaded().Decode) throw QuorlinError(kErrBadFileFormat, "Cannot read " + path + ": " + Loaded().Error);
            ImageBuffer decoded;
            QuorlinPictureResult result{};
            Loaded().Decode(
                path.c_str(),
                [](void* context, int32_t width, int32_t height, size_t bytes) -> uint8_t* {
                  auto& out = *static_cast<ImageBuffer*>(context);
                  try {
                    out.Pixels.resize(bytes);
                  } catch (const std::bad_alloc&) {
                    return nullptr;
                  }
                  out.Width = width, out.Height = height, out.BitsPerPixel = 24;
                  return out.Pixels.data();
                },
                &decoded, &result);
            if (result.Error) Throw(result);
            image = std::move(decoded);
          },
          [](const std::string& path, const ImageBuffer& image) {
            if (!Loaded().Save) throw QuorlinError(kErrPathFileAccess, "Cannot write " + path + ": " + Loaded().Error);
            if (image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
              throw QuorlinError(kErrPathFileAccess, "Cannot write " + path + ": no 24-bit image");
            }
            QuorlinPictureResult result{};
            Loaded().Save(path.c_str(), image.Width, image.Height, image.Pixels.data(), &result);
            if (result.Error) Throw(result);
          }};
}

}  // namespace quorlin

#endif
