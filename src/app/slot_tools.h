#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"

namespace quorlin {

// What the command line reports of one slot.
struct SlotStatus {
  int slot = 0;
  bool texturesPrepared = false;
  bool propsPrepared = false;
  // Whether the slot's seven entries differ from the same entries in the backups;
  // unknown while either backup is missing.
  std::optional<bool> differsFromBackup;
};

// Status of slots 9..37, reading each archive's directory once.
std::vector<SlotStatus> ReadSlotStatus(const ProgramState& state);

// Writes a 24-bit image as a PNG file; QuorlinError naming the file on failure.
using PngWriter = std::function<void(const std::string& nativePath, const ImageBuffer& image)>;

// Writes the slot's stored entries to outDir: skin<N>_<L>.tga for levels 0..5 and
// skin<N>_lobby.tga, byte for byte; with a PNG writer, PNG files of the same
// pixels instead.
Outcome ExtractSlot(ProgramState& state, Shell& shell, int slot, const std::string& outDir, const PngWriter& png = {});

// Puts the slot's seven entries back from the backups, in place, after the same
// checks Insert Skin makes (prepared, inside the file). Nothing else is touched, and
// nothing is written unless every check passes.
Outcome RestoreSlot(ProgramState& state, Shell& shell, int slot);

}  // namespace quorlin
