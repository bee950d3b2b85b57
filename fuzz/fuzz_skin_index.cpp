// Fuzzes the skin index files and the checks that decide whether they are stale.
//
// Input layout:
//   bytes [0, 444)   the textures index file (a shorter input is a short file)
//   bytes [444, 518) the props index file (whatever of it the input holds)
//   bytes [518, ...) an archive directory, read and indexed by name
//
// The tables are checked against a fixed directory (fuzz_support.h) with an
// independent oracle: a table is stale exactly when one of its values is not a
// position, inside 0..EntryCount-1, whose stored name (lower-cased, spaces
// trimmed) is the expected one. Encoding a decoded table gives back the file's
// bytes, with -1 for values the file lacks.
//
// The directory at the tail is indexed with IndexTextures and IndexProps: every
// name reported found must point at its first occurrence, and a table built
// without a missing name is never stale against that same directory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "base/strings.h"
#include "fuzz_support.h"
#include "platform/paths.h"

using namespace quorlin;

namespace {

struct Oracle {
  ArchiveDirectory dir;
  // Positions (0..EntryCount-1) whose normalised name is each expected name.
  std::set<int16_t> texturePositions[kSlotCount + 1][kLevelCount];
  std::set<int16_t> lobbyPositions[kSlotCount + 1];
};

const Oracle& FixedOracle() {
  static const Oracle oracle = [] {
    Oracle o;
    o.dir = fuzz::FixedIndexDirectory();
    for (int p = 0; p <= o.dir.Header.EntryCount - 1; ++p) {
      const std::string name = LowerAscii(TrimSpaces(std::string(o.dir.Directory[static_cast<size_t>(p)].Name)));
      for (int s = 1; s <= kSlotCount; ++s) {
        for (int l = 0; l < kLevelCount; ++l) {
          if (name == ExpectedTextureName(s, l)) o.texturePositions[s][l].insert(static_cast<int16_t>(p));
        }
        if (name == ExpectedLobbyName(s)) o.lobbyPositions[s].insert(static_cast<int16_t>(p));
      }
    }
    return o;
  }();
  return oracle;
}

int16_t ExpectedValue(std::span<const uint8_t> file, size_t valueIndex) {
  const size_t at = valueIndex * 2;
  if (at + 2 > file.size()) return -1;
  return static_cast<int16_t>(static_cast<uint16_t>(file[at] | (file[at + 1] << 8)));
}

void CheckDecode(std::span<const uint8_t> file, const std::vector<uint8_t>& encoded, size_t tableBytes) {
  QUORLIN_FUZZ_CHECK(encoded.size() == tableBytes, "encoded table size");
  for (size_t v = 0; v < tableBytes / 2; ++v) {
    const int16_t got = static_cast<int16_t>(static_cast<uint16_t>(encoded[2 * v] | (encoded[2 * v + 1] << 8)));
    QUORLIN_FUZZ_CHECK(got == ExpectedValue(file, v), "decode then encode keeps each value, -1 past the end");
  }
}

void CheckFixedDirectory(std::span<const uint8_t> texturesFile, std::span<const uint8_t> propsFile) {
  const Oracle& o = FixedOracle();
  SkinIndex index;
  DecodeTexturesIndex(texturesFile, index);
  DecodePropsIndex(propsFile, index);
  CheckDecode(texturesFile, EncodeTexturesIndex(index), kTexturesIndexFileSize);
  CheckDecode(propsFile, EncodePropsIndex(index), kPropsIndexFileSize);

  bool texturesStale = false;
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      if (!o.texturePositions[s][l].count(index.TexturesSkinIndex[s][l])) texturesStale = true;
    }
  }
  bool propsStale = false;
  for (int s = 1; s <= kSlotCount; ++s) {
    if (!o.lobbyPositions[s].count(index.PropsSkinIndex[s])) propsStale = true;
  }
  QUORLIN_FUZZ_CHECK(TexturesIndexStale(o.dir, index) == texturesStale, "textures stale check agrees with oracle");
  QUORLIN_FUZZ_CHECK(PropsIndexStale(o.dir, index) == propsStale, "props stale check agrees with oracle");
}

void CheckIndexing(std::span<const uint8_t> archiveBytes) {
  const ArchiveDirectory dir = ParseArchiveDirectory(archiveBytes);
  const int searchable = dir.SearchablePositions();
  // First searchable position of each normalised name, worked out here on its own.
  std::map<std::string, int> first;
  for (int p = 0; p < searchable; ++p) {
    first.emplace(LowerAscii(TrimSpaces(std::string(dir.Directory[static_cast<size_t>(p)].Name))), p);
  }
  auto firstOf = [&](const std::string& name) {
    const auto it = first.find(name);
    return it == first.end() ? -1 : it->second;
  };

  SkinIndex index;
  for (auto& levels : index.TexturesSkinIndex) levels.fill(-7);
  index.PropsSkinIndex.fill(-7);
  std::set<std::pair<int, int>> missingTextures;
  std::set<int> missingProps;
  IndexTextures(dir, index, [&](int s, int l) {
    QUORLIN_FUZZ_CHECK(s >= 1 && s <= kSlotCount && l >= 0 && l < kLevelCount, "missing texture in range");
    QUORLIN_FUZZ_CHECK(missingTextures.insert({s, l}).second, "each missing texture reported once");
  });
  IndexProps(dir, index, [&](int s) {
    QUORLIN_FUZZ_CHECK(s >= 1 && s <= kSlotCount, "missing lobby entry in range");
    QUORLIN_FUZZ_CHECK(missingProps.insert(s).second, "each missing lobby entry reported once");
  });

  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      const int16_t v = index.TexturesSkinIndex[s][l];
      if (missingTextures.count({s, l})) {
        QUORLIN_FUZZ_CHECK(v == -7, "a missing name leaves its value alone");
        QUORLIN_FUZZ_CHECK(firstOf(ExpectedTextureName(s, l)) == -1, "a missing texture name is really missing");
      } else {
        QUORLIN_FUZZ_CHECK(v >= 0 && v < searchable, "a found texture lies in the searchable positions");
        QUORLIN_FUZZ_CHECK(firstOf(ExpectedTextureName(s, l)) == v, "a found texture is its first occurrence");
      }
    }
    const int16_t v = index.PropsSkinIndex[s];
    if (missingProps.count(s)) {
      QUORLIN_FUZZ_CHECK(v == -7, "a missing lobby name leaves its value alone");
      QUORLIN_FUZZ_CHECK(firstOf(ExpectedLobbyName(s)) == -1, "a missing lobby name is really missing");
    } else {
      QUORLIN_FUZZ_CHECK(v >= 0 && v < searchable, "a found lobby entry lies in the searchable positions");
      QUORLIN_FUZZ_CHECK(firstOf(ExpectedLobbyName(s)) == v, "a found lobby entry is its first occurrence");
    }
  }
  if (missingTextures.empty()) {
    QUORLIN_FUZZ_CHECK(!TexturesIndexStale(dir, index), "a complete fresh textures table is not stale");
  } else {
    QUORLIN_FUZZ_CHECK(TexturesIndexStale(dir, index), "a table with a value of -7 is stale");
  }
  if (missingProps.empty()) {
    QUORLIN_FUZZ_CHECK(!PropsIndexStale(dir, index), "a complete fresh props table is not stale");
  } else {
    QUORLIN_FUZZ_CHECK(PropsIndexStale(dir, index), "a table with a value of -7 is stale");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const size_t texturesEnd = std::min(size, kTexturesIndexFileSize);
  const size_t propsEnd = std::min(size, kTexturesIndexFileSize + kPropsIndexFileSize);
  CheckFixedDirectory(bytes.subspan(0, texturesEnd), bytes.subspan(texturesEnd, propsEnd - texturesEnd));
  // The same bytes as a props file of their own, so short props files are met too.
  CheckFixedDirectory(bytes.subspan(0, texturesEnd), bytes.subspan(0, std::min(size, kPropsIndexFileSize)));
  if (size > propsEnd) CheckIndexing(bytes.subspan(propsEnd));
  return 0;
}
