#pragma once

#include <cstdint>
#include <string>

#include "archive/archive_file.h"
#include "archive/skin_index.h"
#include "image/image_buffer.h"
#include "platform/game_location.h"
#include "base/front_end.h"

namespace quorlin {

// Everything the program keeps for the whole run. The front end owns one; tests
// start each case from a fresh one.
struct ProgramState {
  GameLocation Game;
  std::string CDPath;
  SkinIndex Index;
  int16_t SelectedSlot = 0;
  ImageBuffer LoadedImage;
  // The file name (without its folder) of the picture LoadedImage came from.
  std::string LoadedPictureName;
  // The archives and backups open for the command under way, with their directories.
  mutable OpenArchives Archives;
  // The step Insert Skin has reached; only the failure report shows it.
  std::string LastStep;
};

}  // namespace quorlin
