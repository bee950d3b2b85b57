#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorlin {

// What a command is about to write into the game's archives, kept in
// resource\quorlin.journal from just before the first byte is written until the
// last one is flushed, so that a run cut short by a crash or a kill is finished at
// the next start: every range is then wholly new, and the slot history agrees.
//
// Layout (little-endian):
//   0  "QRLNJRN2" ("QRLNJRN1": an earlier program's, without the last two lists)
//   8  u16 what length, what (the command, for the user)
//      u8 archive count, per archive: u16 name length, name, u64 length it had
//      u32 write count, per write: u8 archive, u64 position, u32 length, bytes
//      u8 restore count, per restore: u8 archive (copied back whole from its backup)
//      u8 keep count, per version kept: u16 name length, version file name
//      u8 drop count, per version dropped: u16 name length, version file name
//   end - 8  u64 FileChecksum of everything before it (Checksum64 in the first layout)
// Only resource\textures.mw4 and resource\props.mw4 may be named, and only version
// file names of the slot history (no folders).
struct Journal {
  struct Write {
    uint8_t archive = 0;  // index into archives
    uint64_t position = 0;
    std::vector<uint8_t> bytes;
  };
  std::string what;
  std::vector<std::pair<std::string, uint64_t>> archives;  // relative name, length when written
  std::vector<Write> writes;
  std::vector<uint8_t> restores;  // archives to copy back from their backups
  // Versions written beside the journal (as PendingVersionPath names them) before
  // it, moved into the history folder once it is complete.
  std::vector<std::string> keep;
  std::vector<std::string> drop;  // versions removed from the history folder
};

inline constexpr const char* kJournalFile = "resource\\quorlin.journal";  // as the user is told of it
inline constexpr const char* kJournalName = "quorlin.journal";

std::vector<uint8_t> EncodeJournal(const Journal& journal);
// Nothing for a journal that is cut short, damaged or names anything else.
std::optional<Journal> DecodeJournal(std::span<const uint8_t> bytes);

// The checksum that tells a damaged file of ours (journals, version files, the slot
// state): the 64-bit XXH3 hash.
uint64_t FileChecksum(std::span<const uint8_t> bytes);
// The checksum journals of the first layout ("QRLNJRN1") carry: FNV-1a-like over
// 8-byte words, in four interleaved lanes.
uint64_t Checksum64(std::span<const uint8_t> bytes);

}  // namespace quorlin
