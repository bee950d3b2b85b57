// Fuzzes the journal reader (DecodeJournal) with arbitrary file bytes: a journal
// left by an interrupted run is read at every start and then written into the
// game's archives, so it must never be taken for more than it says.
//
// Checked for every input:
//   - an input accepted ends with the checksum of everything before it;
//   - everything it names is one of the two archives, every write and restore
//     refers to one of them, and no write holds more bytes than the input;
//   - every version it keeps or drops is a version file of the history (no folder);
//   - encoding what was read gives back the input byte for byte (an earlier
//     program's journal, without the history, reads back as what it was).

#include <cstddef>
#include <cstdint>
#include <span>

#include "archive/journal.h"
#include "archive/skin_index.h"
#include "archive/slot_history.h"
#include "fuzz_support.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const auto journal = DecodeJournal(bytes);
  if (!journal) return 0;
  QUORLIN_FUZZ_CHECK(size >= 16, "an accepted journal holds a magic and a checksum");
  uint64_t stored = 0;
  for (int k = 7; k >= 0; --k) stored = stored << 8 | data[size - 8 + static_cast<size_t>(k)];
  QUORLIN_FUZZ_CHECK((data[7] == '2' ? FileChecksum(bytes.first(size - 8)) : Checksum64(bytes.first(size - 8))) == stored,
                     "the checksum covers the journal");
  for (const auto& [name, length] : journal->Archives) {
    QUORLIN_FUZZ_CHECK(name == kTexturesArchive || name == kPropsArchive, "only the two archives are named");
  }
  for (const auto& w : journal->Writes) {
    QUORLIN_FUZZ_CHECK(w.Archive < journal->Archives.size(), "a write names an archive of the journal");
    QUORLIN_FUZZ_CHECK(w.Bytes.size() <= size, "a write holds no more than the input");
  }
  for (const uint8_t r : journal->Restores) {
    QUORLIN_FUZZ_CHECK(r < journal->Archives.size(), "a restore names an archive of the journal");
  }
  for (const auto* names : {&journal->Keep, &journal->Drop}) {
    for (const std::string& name : *names) QUORLIN_FUZZ_CHECK(ParseVersionFileName(name), "only version files");
  }
  const auto again = EncodeJournal(*journal);
  if (data[7] == '2') {
    QUORLIN_FUZZ_CHECK(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()),
                       "encoding what was read gives back the input");
  } else {
    const auto reread = DecodeJournal(again);
    QUORLIN_FUZZ_CHECK(reread && reread->What == journal->What && reread->Archives == journal->Archives &&
                           reread->Restores == journal->Restores && reread->Writes.size() == journal->Writes.size() &&
                           reread->Keep.empty() && reread->Drop.empty(),
                       "an earlier program's journal reads back as it was");
  }
  return 0;
}
