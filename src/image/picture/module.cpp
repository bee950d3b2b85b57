// The picture decoder as a module of its own, loaded by quorlin-cli only when it
// needs to read a JPEG, PNG or unusual bitmap file or write a PNG one: most
// commands never do, and linking Qt would cost every one of them its start-up
// time. Nothing is thrown across: the program has its own copy of the C++ runtime.
#include <exception>

#include "image/picture/picture_decoder.h"

extern "C" __attribute__((visibility("default"))) bool QuorlinDecodePicture(const std::string& nativePath,
                                                                            quorlin::ImageBuffer& image,
                                                                            std::string& reason) noexcept {
  try {
    return quorlin::DecodePicture(nativePath, image, reason);
  } catch (const std::exception& e) {
    reason = "Cannot read " + nativePath + ": " + e.what();
  } catch (...) {
    reason = "Cannot read " + nativePath;
  }
  return false;
}

extern "C" __attribute__((visibility("default"))) bool QuorlinSavePng(const std::string& nativePath,
                                                                      const quorlin::ImageBuffer& image,
                                                                      std::string& reason) noexcept {
  try {
    return quorlin::SavePng(nativePath, image, reason);
  } catch (const std::exception& e) {
    reason = "Cannot write " + nativePath + ": " + e.what();
  } catch (...) {
    reason = "Cannot write " + nativePath;
  }
  return false;
}
