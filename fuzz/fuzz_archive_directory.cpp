// Fuzzes the archive header and directory reader with arbitrary archive bytes.
//
// Besides "no crash, no sanitizer report", every input is checked for:
//   - the shape of the result: max(EntryCount - 1, 1) records then one empty one,
//     no name longer than its stored length;
//   - the file form (ReadArchiveDirectoryNative over a memfd, buffered reads)
//     reading exactly what the memory form reads;
//   - a directory read without running off the end encoding back to bytes that
//     read as the same directory;
//   - At refusing positions outside the directory.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "archive/archive.h"
#include "fuzz_support.h"
#include "base/error.h"
#include "platform/little_endian.h"

using namespace quorlin;

namespace {

bool SameEntry(const DirEntry& a, const DirEntry& b) {
  return a.Unknown0 == b.Unknown0 && a.DataLength == b.DataLength && a.DataOffset == b.DataOffset &&
         a.Unknown20 == b.Unknown20 && a.NameLength == b.NameLength && a.Name == b.Name;
}

bool SameHeader(const ArchiveHeader& a, const ArchiveHeader& b) {
  return a.Tag == b.Tag && a.Unknown4 == b.Unknown4 && a.Unknown8 == b.Unknown8 && a.DataBase == b.DataBase &&
         a.EntryCount == b.EntryCount && a.Unknown18 == b.Unknown18;
}

bool SameDirectory(const ArchiveDirectory& a, const ArchiveDirectory& b) {
  if (!SameHeader(a.Header, b.Header) || a.Directory.size() != b.Directory.size()) return false;
  for (size_t i = 0; i < a.Directory.size(); ++i) {
    if (!SameEntry(a.Directory[i], b.Directory[i])) return false;
  }
  return true;
}

// One memory-backed file per process, rewritten for every input.
int InputFile() {
  static const int fd = memfd_create("quorlin-fuzz-archive", 0);
  return fd;
}

bool WriteInputFile(const uint8_t* data, size_t size) {
  const int fd = InputFile();
  if (fd < 0 || ftruncate(fd, 0) != 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Whether reading header and records runs past the end of the bytes, worked out
// here on its own from the record layout.
bool RunsOff(std::span<const uint8_t> b) {
  if (b.size() < 20) return true;
  const auto count = static_cast<int16_t>(b[16] | (b[17] << 8));
  const int records = count < 2 ? 1 : count - 1;
  uint64_t pos = 20;
  for (int i = 0; i < records; ++i) {
    if (pos + 25 > b.size()) return true;
    pos += 25 + static_cast<uint64_t>(b[pos + 23] | (b[pos + 24] << 8)) + b[pos + 22];
    if (pos > b.size()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  const ArchiveDirectory dir = ParseArchiveDirectory(bytes);
  const bool ranOff = RunsOff(bytes);

  // Shape.
  const int records = dir.Header.EntryCount < 2 ? 1 : dir.Header.EntryCount - 1;
  QUORLIN_FUZZ_CHECK(dir.Directory.size() == static_cast<size_t>(records) + 1, "directory size");
  QUORLIN_FUZZ_CHECK(SameEntry(dir.Directory.back(), DirEntry{}), "the last position is empty");
  for (const DirEntry& e : dir.Directory) {
    QUORLIN_FUZZ_CHECK(e.Name.size() <= e.NameLength, "name no longer than its length");
    QUORLIN_FUZZ_CHECK(ranOff || e.Name.size() == e.NameLength || &e == &dir.Directory.back(),
                       "whole names when the bytes last");
  }

  // The file form reads the same.
  if (WriteInputFile(data, size)) {
    const std::string path = "/proc/self/fd/" + std::to_string(InputFile());
    QUORLIN_FUZZ_CHECK(SameDirectory(dir, ReadArchiveDirectoryNative(path)), "file form equals memory form");
  }

  // Round trip: encoded without the skipped bytes, the directory reads back equal.
  if (!ranOff) {
    const std::vector<uint8_t> again = fuzz::EncodeDirectory(dir);
    QUORLIN_FUZZ_CHECK(SameDirectory(dir, ParseArchiveDirectory(again)), "encode then read gives the same");
  }

  const int searchable = dir.SearchablePositions();
  QUORLIN_FUZZ_CHECK(searchable >= 0 && static_cast<size_t>(searchable) < dir.Directory.size(),
                     "searchable positions inside the directory");

  // At refuses positions outside the directory.
  for (const long outside : {-1L, static_cast<long>(dir.Directory.size())}) {
    bool threw = false;
    try {
      (void)dir.At(outside);
    } catch (const QuorlinError& e) {
      threw = e.Number() == kErrSubscriptOutOfRange;
    }
    QUORLIN_FUZZ_CHECK(threw, "At throws subscript out of range outside the directory");
  }
  return 0;
}
