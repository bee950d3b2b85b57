#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/slot.h"

namespace quorlin {

// The slot history: before a command changes a slot, the slot's seven entries as
// they were are kept as one version file in resource\quorlin-history, so that the
// change can be undone. The newest version of a slot has the highest number.
//
// Version file layout (little-endian):
//   0   "QRLNVER1"
//   8   u8 slot
//   9   i64 time the version was kept (seconds since 1970-01-01 UTC)
//   17  u8 entry count (7), per entry: u8 present, u32 length, the entry's bytes
//       u16 picture name length, picture name (the file name of the picture that
//       made these contents, empty when none is known)
//   end-8  u64 FileChecksum of everything before it
struct SlotVersion {
  int Slot = 0;
  int64_t Time = 0;
  std::string Picture;
  SlotBytes Entries;
};

inline constexpr const char* kHistoryFolder = "quorlin-history";
inline constexpr const char* kHistoryFolderShown = "resource\\quorlin-history";  // as the user is told of it
inline constexpr int kMaxVersionsPerSlot = 20;

std::vector<uint8_t> EncodeVersion(const SlotVersion& version);

// A version file made as the slot is read: its entries go straight from the archives
// into the file's bytes, which are then all there is of them.
class VersionFile {
 public:
  VersionFile(int slot, int64_t time);
  // The slot's entries: those found at their places, read; or given.
  void AddEntries(const ArchivePair& pair, const SlotPlaces& places);
  void AddEntries(const SlotBytes& entries);
  // The entries as they lie in the file.
  SlotView Entries() const;
  // The file's bytes, ended with the picture's name and the checksum.
  std::vector<uint8_t> Finish(const std::string& picture) &&;

 private:
  std::vector<uint8_t> bytes_;
  std::array<std::optional<std::pair<size_t, size_t>>, kSlotEntryCount> at_;  // offset and length of each
};

// Why a version file cannot be used.
enum class VersionFault { None, Cut, Damaged };
// Reads a version file's bytes; nothing, with the fault, when they are cut short
// (or hold more than their entries) or their checksum does not match.
std::optional<SlotVersion> DecodeVersion(std::span<const uint8_t> bytes, VersionFault& fault);

// "slot12-000005.qver": a version file's name, and the slot and number a name
// stands for (nothing for any other name).
std::string VersionFileName(int slot, int number);
std::optional<std::pair<int, int>> ParseVersionFileName(const std::string& name);

// The versions kept of a slot in a history folder (native path), newest first.
struct KeptVersion {
  int Number = 0;
  std::string Path;  // native
};
std::vector<KeptVersion> ListVersions(const std::string& nativeHistoryFolder, int slot);

// The number the next version of a slot takes.
int NextVersionNumber(const std::vector<KeptVersion>& versions);

// Adds to a journal the keeping of a version file (its bytes) as the slot's next
// version in the history folder (native path), and the dropping of the oldest ones
// beyond kMaxVersionsPerSlot once `dropped` (versions the command removes itself) are
// gone. Returns the bytes, which CommitJournal writes.
std::vector<uint8_t> KeepVersion(Journal& journal, const std::string& nativeHistoryFolder, int slot,
                                 std::vector<uint8_t> version, const std::vector<std::string>& dropped = {});

}  // namespace quorlin
