#pragma once

#include "app/commands.h"
#include "app/slot_tools.h"

namespace quorlin {

// The picture codecs of the command line: the decoder insert reads a bitmap, JPEG
// or PNG file with, and the PNG writer of extract --png.
struct PictureCodecs {
  PictureDecoder Decode;
  PngWriter WritePng;
};

// The program's own codecs. On Linux they live in libquorlin-picture.so beside the
// program (Qt's image reader), loaded the first time one is used; on Windows they
// are the Windows Imaging Component's.
PictureCodecs ProgramPictureCodecs();

}  // namespace quorlin
