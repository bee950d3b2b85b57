#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "archive/slot_digests.h"

namespace quorlin {

// The digests of each slot 9..37 in the game's archives and in the backups (none
// where a file is missing): from the slot state while the files are the ones it was
// taken of, else taken anew and the state written back.
struct KnownDigests {
  SlotState State;
  std::optional<PairDigests> Game, Backups;
  // Whether a slot's contents differ from its backup; unknown without both backups.
  std::optional<bool> Differs(int slot) const;
};
KnownDigests ReadKnownDigests(const ProgramState& state);

// What the command line reports of one slot.
struct SlotStatus {
  int Slot = 0;
  bool TexturesPrepared = false;
  bool PropsPrepared = false;
  // Whether the slot's seven entries differ from the same entries in the backups;
  // unknown while either backup is missing.
  std::optional<bool> DiffersFromBackup;
};

// Status of slots 9..37.
std::vector<SlotStatus> ReadSlotStatus(const ProgramState& state);

// What the Skin menu shows of a slot: its lobby preview as stored (none when the
// entry cannot be read as a 32x32 24-bit Targa image) and whether it differs from
// its backup (unknown without backups).
struct SlotLook {
  int Slot = 0;
  std::optional<ImageBuffer> Preview;
  std::optional<bool> Changed;
};
std::vector<SlotLook> ReadSlotLooks(const ProgramState& state);

// Writes a 24-bit image as a PNG file; QuorlinError naming the file on failure.
using PngWriter = std::function<void(const std::string& nativePath, const ImageBuffer& image)>;

// Writes the slot's stored entries to outDir: skin<N>_<L>.tga for levels 0..5 and
// skin<N>_lobby.tga, byte for byte; with a PNG writer, PNG files of the same
// pixels instead.
Outcome ExtractSlot(ProgramState& state, FrontEnd& ui, int slot, const std::string& outDir, const PngWriter& png = {});

// Puts the slot's seven entries back from the backups, in place, after the same
// checks Insert Skin makes (prepared, inside the file), keeping what the slot held as
// a version first. Nothing else is touched, and nothing is written unless every
// check passes.
Outcome RestoreSlot(ProgramState& state, FrontEnd& ui, int slot);

// Edit > Undo Last Change to Slot: after the restores' question, brings the slot back
// to its newest kept version, which is taken out of the history while the contents it
// replaces are kept in its place (so an undo is undone by another). A version file
// that is cut, damaged or made for entries of other lengths is refused, naming it.
Outcome UndoLastChange(ProgramState& state, FrontEnd& ui, int slot);

// The versions kept of a slot, newest first.
struct VersionInfo {
  int Number = 0;
  std::string Path;  // native
  int64_t Time = 0;
  std::string Picture;
  // Whether it holds what the backups hold; unknown without both backups.
  std::optional<bool> Original;
  std::string Fault;  // why it cannot be used ("is cut short", ...); empty when it can
};
std::vector<VersionInfo> ListSlotHistory(const ProgramState& state, int slot);

}  // namespace quorlin
