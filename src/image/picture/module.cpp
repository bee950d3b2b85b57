// The picture decoder as a module of its own, loaded by quorlin-cli only when it
// needs to read a bitmap, JPEG or PNG file or write a PNG one: most commands never
// do, and linking Qt would cost every one of them its start-up time.
#include "image/picture/picture_decoder.h"

extern "C" __attribute__((visibility("default"))) bool QuorlinDecodePicture(const std::string& nativePath,
                                                                            quorlin::ImageBuffer& image,
                                                                            std::string& reason) {
  return quorlin::DecodePicture(nativePath, image, reason);
}

extern "C" __attribute__((visibility("default"))) bool QuorlinSavePng(const std::string& nativePath,
                                                                      const quorlin::ImageBuffer& image,
                                                                      std::string& reason) {
  return quorlin::SavePng(nativePath, image, reason);
}
