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

#include "platform/error.h"

namespace quorlin {

namespace {

using DecodeFunction = bool (*)(const std::string&, ImageBuffer&, std::string&);
using SaveFunction = bool (*)(const std::string&, const ImageBuffer&, std::string&);

struct Module {
  DecodeFunction decode = nullptr;
  SaveFunction save = nullptr;
  std::string error;
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
      m.decode = reinterpret_cast<DecodeFunction>(::dlsym(handle, "QuorlinDecodePicture"));
      m.save = reinterpret_cast<SaveFunction>(::dlsym(handle, "QuorlinSavePng"));
    }
    if (!m.decode || !m.save) {
      const char* why = ::dlerror();
      m.error = "the picture decoder " + path + " could not be loaded" + (why ? std::string(": ") + why : "");
    }
    return m;
  }();
  return module;
}

}  // namespace

PictureCodecs ProgramPictureCodecs() {
  // The module hands a failure back as false and its message (see module.cpp).
  return {[](const std::string& path, ImageBuffer& image) {
            std::string reason = "Cannot read " + path + ": " + Loaded().error;
            if (!Loaded().decode || !Loaded().decode(path, image, reason))
              throw QuorlinError(kErrBadFileFormat, reason);
          },
          [](const std::string& path, const ImageBuffer& image) {
            std::string reason = "Cannot write " + path + ": " + Loaded().error;
            if (!Loaded().save || !Loaded().save(path, image, reason)) throw QuorlinError(kErrPathFileAccess, reason);
          }};
}

}  // namespace quorlin

#endif
