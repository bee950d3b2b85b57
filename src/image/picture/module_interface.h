#pragma once

// The picture module's entry points (libquorlin-picture.so, which quorlin-cli loads
// when it first needs Qt's decoder): plain C types only, since the program and the
// module each have their own C++ runtime. Pixels are written straight into memory
// the caller hands out, so a large picture is not copied across.
#include <stddef.h>
#include <stdint.h>

extern "C" {

// How a call ended: error 0 when it did its work; otherwise the error's number and its
// description, and for a picture whose size cannot make a skin, that size.
struct QuorlinPictureResult {
  int Error;
  int TooLarge;
  int64_t Width, Height;
  char Reason[1024];
};

// Asked once the picture's size is known: memory for width x height x 3 bytes of
// 24-bit top-down blue-green-red pixels, or nullptr when there is none.
typedef uint8_t* (*QuorlinAllocatePixels)(void* context, int32_t width, int32_t height, size_t bytes);

typedef void (*QuorlinDecodePictureFunction)(const char* nativePath, QuorlinAllocatePixels allocate, void* context,
                                             QuorlinPictureResult* result);
typedef void (*QuorlinSavePngFunction)(const char* nativePath, int32_t width, int32_t height, const uint8_t* pixels,
                                       QuorlinPictureResult* result);
}
