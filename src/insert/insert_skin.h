#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive_file.h"
#include "archive/skin_index.h"
#include "image/image_buffer.h"
#include "platform/game_location.h"
#include "base/front_end.h"

namespace quorlin {

// How the smaller texture levels and the preview are made from the picture.
enum class LevelFilter { Nearest, Box };

// What Insert Skin works on: the game and its archives (open for the command), the
// skin index, the slot, the picture (BitsPerPixel 0: none loaded), and the step it
// has reached, which only the failure report shows.
struct InsertJob {
  const GameLocation& Game;
  OpenArchives& Archives;
  const SkinIndex& Index;
  int Slot;
  const ImageBuffer& Picture;
  std::string& LastStep;
  LevelFilter Filter = LevelFilter::Nearest;
  std::string PictureName;  // the picture file's name, kept with the slot's history
  // What the program around it does and tells the user about: the lock and the checks
  // before writing (Done to go on), and an archive's backup (false: the user was told
  // why it failed, and the command stops).
  std::function<Outcome()> PrepareToWrite;
  std::function<bool(const std::string& relativeArchive)> BackUp;
};

// Edit > Insert Skin: backs each archive up once, checks the slot is prepared in
// both, and writes its six texture levels and its lobby preview in place, keeping
// what the slot held as a version in its history first.
Outcome InsertSkin(const InsertJob& job, FrontEnd& ui);

}  // namespace quorlin
