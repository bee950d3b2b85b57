// Fuzzes the readers of the slot history's files with arbitrary bytes: a version
// file (DecodeVersion), which undo writes back into the game's archives, and the
// slot state resource\quorlin.slots (DecodeSlotState), which says whether each slot
// differs from its backup.
//
// Checked for every input:
//   - a version read holds a slot number of the game, seven entries and nothing else
//     (encoding it gives back the input byte for byte), and no entry holds more than
//     the input; a refused one says whether it was cut or damaged, and an input cut
//     anywhere short of its end is never read;
//   - a slot state read encodes back to the input byte for byte.

#include <cstddef>
#include <cstdint>
#include <span>

#include "archive/slot_digests.h"
#include "archive/slot_history.h"
#include "fuzz_support.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  VersionFault fault = VersionFault::None;
  if (const auto version = DecodeVersion(bytes, fault)) {
    QUORLIN_FUZZ_CHECK(fault == VersionFault::None, "a version read has no fault");
    for (const auto& entry : version->Entries) {
      QUORLIN_FUZZ_CHECK(!entry || entry->size() <= size, "an entry holds no more than the input");
    }
    const auto again = EncodeVersion(*version);
    QUORLIN_FUZZ_CHECK(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()),
                       "encoding what was read gives back the input");
    for (size_t cut = 0; cut < size; cut += 1 + size / 16) {
      VersionFault shortFault = VersionFault::None;
      QUORLIN_FUZZ_CHECK(!DecodeVersion(bytes.first(cut), shortFault) && shortFault != VersionFault::None,
                         "a version cut short is refused");
    }
  } else {
    QUORLIN_FUZZ_CHECK(fault == VersionFault::Cut || fault == VersionFault::Damaged, "a refusal says why");
  }
  if (const auto state = DecodeSlotState(bytes)) {
    const auto again = EncodeSlotState(*state);
    QUORLIN_FUZZ_CHECK(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()),
                       "a slot state encodes back to the input");
  }
  return 0;
}
