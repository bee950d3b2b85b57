#pragma once

#include <cstdint>
#include <string>

#include "archive/skin_index.h"
#include "image/image_buffer.h"
#include "image/targa.h"
#include "insert/archive_file.h"
#include "platform/game_location.h"

namespace quorlin {

// Everything the program keeps for the whole run. The front end owns one; tests
// start each case from a fresh one.
struct ProgramState {
  GameLocation Game;
  std::string CDPath;
  SkinIndex Index;
  int16_t SelectedSlot = 0;
  ImageBuffer LoadedImage;
  ImageBuffer WorkImage;
  TgaHeader LastTgaHeader;
  // The archives and backups open for the command under way, with their directories.
  mutable OpenArchives Archives;
  // The step Insert Skin has reached; only the failure report shows it.
  std::string LastStep;

  void SetStep(std::string text) { LastStep = std::move(text); }
};

// How a command ended.
enum class Outcome {
  Done,        // it did its work
  Refused,     // it stopped with one of the system's messages (or the user said No)
  EndProgram,  // the program must end (missing game, failure report)
};

}  // namespace quorlin
