// The picture decoder as a module of its own, loaded by quorlin-cli only when it
// needs to read a JPEG, PNG or unusual bitmap file or write a PNG one: most
// commands never do, and linking Qt would cost every one of them its start-up
// time. Nothing is thrown across: the program has its own copy of the C++ runtime,
// so a failure crosses as false and the message, and becomes an error again there.
#include <exception>

#include "image/picture/picture_decoder.h"
#include "platform/error.h"

namespace {

template <typename Work>
bool Guarded(const char* what, const std::string& nativePath, std::string& reason, Work work) noexcept {
  try {
    work();
    return true;
  } catch (const quorlin::QuorlinError& e) {
    reason = e.what();
  } catch (const std::exception& e) {
    reason = what + nativePath + ": " + e.what();
  } catch (...) {
    reason = what + nativePath;
  }
  return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool QuorlinDecodePicture(const std::string& nativePath,
                                                                            quorlin::ImageBuffer& image,
                                                                            std::string& reason) noexcept {
  return Guarded("Cannot read ", nativePath, reason, [&] { quorlin::DecodePicture(nativePath, image); });
}

extern "C" __attribute__((visibility("default"))) bool QuorlinSavePng(const std::string& nativePath,
                                                                      const quorlin::ImageBuffer& image,
                                                                      std::string& reason) noexcept {
  return Guarded("Cannot write ", nativePath, reason, [&] { quorlin::SavePng(nativePath, image); });
}
