#pragma once

// Helpers shared by the fuzz targets and the seed writer: the fixed directory the
// index target checks its tables against, and a check that aborts with a message
// (libFuzzer then keeps the input that broke it).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "samplegame/sample_game.h"

namespace quorlin::fuzz {

// Aborts with a message when an expected property does not hold.
#define QUORLIN_FUZZ_CHECK(condition, what)                                                                \
  do {                                                                                                     \
    if (!(condition)) {                                                                                    \
      std::fprintf(stderr, "fuzz check failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition); \
      std::abort();                                                                                        \
    }                                                                                                      \
  } while (0)

// A record whose name points at `name`, which must outlive it.
inline DirEntry NamedEntry(std::string_view name, uint32_t length, uint32_t offset) {
  DirEntry e;
  e.DataLength = length;
  e.DataOffset = offset;
  e.NameLength = static_cast<uint8_t>(name.size());
  e.Name = name;
  return e;
}

// A small directory in the form ParseArchiveDirectory yields (EntryCount - 1
// records, then one empty record) holding every expected texture and lobby name,
// with the awkward cases an index check meets in real archives:
//   - names stored upper-case and with leading or trailing spaces,
//   - a second copy of some names at a later position (the first one is the
//     one indexing picks, but a table naming the copy still matches by name),
//   - filler entries in between.
// Texture and lobby names share one directory, so one table can point at the
// other's names.
inline ArchiveDirectory FixedIndexDirectory() {
  std::vector<std::string> names;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    names.push_back("textures\\filler" + std::to_string(slot) + ".dds");
    for (int level = 0; level < kLevelCount; ++level) {
      std::string name = ExpectedTextureName(slot, level);
      if ((slot + level) % 5 == 0) {
        for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      }
      if ((slot + level) % 7 == 0) name = "  " + name + "   ";
      names.push_back(name);
    }
    names.push_back(slot % 3 == 0 ? ExpectedLobbyName(slot) + " " : ExpectedLobbyName(slot));
  }
  // Later duplicates.
  for (int slot = 1; slot <= kSlotCount; slot += 4) {
    names.push_back(ExpectedTextureName(slot, slot % kLevelCount));
    names.push_back(ExpectedLobbyName(slot));
  }
  ArchiveDirectory dir;
  dir.Header.Tag = {'M', 'W', '4', 'A'};
  dir.Header.EntryCount = static_cast<int16_t>(names.size() + 1);
  auto store = std::make_shared<std::string>();
  for (const std::string& name : names) *store += name;
  uint32_t offset = 0;
  size_t at = 0;
  for (const std::string& name : names) {
    dir.Directory.push_back(NamedEntry(std::string_view(*store).substr(at, name.size()), 100, offset));
    at += name.size();
    offset += 100;
  }
  dir.Directory.emplace_back();  // the empty record after the last one read
  dir.Names = std::move(store);
  return dir;
}

// The archive bytes of a directory: header then records, no data.
inline std::vector<uint8_t> EncodeDirectory(const ArchiveDirectory& dir, uint16_t skipEvery = 0) {
  std::vector<uint8_t> out = sample::EncodeArchiveHeader(dir.Header);
  const int records = dir.Header.EntryCount < 2 ? 1 : dir.Header.EntryCount - 1;
  for (int i = 0; i < records && static_cast<size_t>(i) < dir.Directory.size(); ++i) {
    std::vector<uint8_t> skipped;
    if (skipEvery != 0 && i % skipEvery == 0) skipped.assign(static_cast<size_t>(i % 9 + 1), 0xEE);
    const std::vector<uint8_t> record = sample::EncodeDirEntry(dir.Directory[static_cast<size_t>(i)], skipped);
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

}  // namespace quorlin::fuzz
