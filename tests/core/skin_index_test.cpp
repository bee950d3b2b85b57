// Entry names, the index files byte for byte, building by name and stale checks.
#include "archive/skin_index.h"

#include <gtest/gtest.h>

#include "samplegame/sample_game.h"

namespace quorlin {
namespace {

TEST(SkinNames, SlotCharactersAndExpectedNames) {
  EXPECT_EQ(SlotChar(0), "0");
  EXPECT_EQ(SlotChar(9), "9");
  EXPECT_EQ(SlotChar(10), "a");
  EXPECT_EQ(SlotChar(35), "z");
  EXPECT_EQ(ExpectedTextureName(1, 0), "textures\\skin00.tga");
  EXPECT_EQ(ExpectedTextureName(10, 5), "textures\\skin95.tga");
  EXPECT_EQ(ExpectedTextureName(11, 3), "textures\\skina3.tga");
  EXPECT_EQ(ExpectedTextureName(36, 0), "textures\\skinz0.tga");
  EXPECT_EQ(ExpectedTextureName(37, 2), "textures\\skin_2.tga");
  const std::string lobby = "shellscripts\\graphics\\multiplayer\\lobbyskins\\";
  EXPECT_EQ(ExpectedLobbyName(1), lobby + "skin04.tga");
  EXPECT_EQ(ExpectedLobbyName(11), lobby + "skina4.tga");
  EXPECT_EQ(ExpectedLobbyName(36), lobby + "skinz4.tga");
  EXPECT_EQ(ExpectedLobbyName(37), lobby + "skin_4.tga");
}

SkinIndex Numbered() {
  SkinIndex index;
  for (int s = 0; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) index.TexturesSkinIndex[s][l] = static_cast<int16_t>(s * 100 + l);
    index.PropsSkinIndex[s] = static_cast<int16_t>(-s);
  }
  return index;
}

TEST(SkinIndexFiles, LayoutIsByteExact) {
  const SkinIndex index = Numbered();
  const auto textures = EncodeTexturesIndex(index);
  const auto props = EncodePropsIndex(index);
  ASSERT_EQ(textures.size(), 444u);
  ASSERT_EQ(props.size(), 74u);
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      const size_t at = static_cast<size_t>(((s - 1) * 6 + l) * 2);
      const int value = s * 100 + l;
      ASSERT_EQ(textures[at], value & 0xFF) << s << "," << l;
      ASSERT_EQ(textures[at + 1], (value >> 8) & 0xFF) << s << "," << l;
    }
    const auto p = static_cast<uint16_t>(-s);
    ASSERT_EQ(props[static_cast<size_t>((s - 1) * 2)], p & 0xFF);
    ASSERT_EQ(props[static_cast<size_t>((s - 1) * 2 + 1)], p >> 8);
  }
  SkinIndex back;
  DecodeTexturesIndex(textures, back);
  DecodePropsIndex(props, back);
  for (int s = 1; s <= kSlotCount; ++s) {
    EXPECT_EQ(back.TexturesSkinIndex[s], index.TexturesSkinIndex[s]);
    EXPECT_EQ(back.PropsSkinIndex[s], index.PropsSkinIndex[s]);
  }
  EXPECT_EQ(back.TexturesSkinIndex[0][0], 0);  // slot 0 is never read
}

TEST(SkinIndexFiles, ShortFilesFillTheRestWithMinusOneAndLongFilesAreCut) {
  const SkinIndex index = Numbered();
  auto textures = EncodeTexturesIndex(index);
  textures.resize(13);  // six values and one odd byte
  SkinIndex back;
  DecodeTexturesIndex(textures, back);
  EXPECT_EQ(back.TexturesSkinIndex[1][5], 105);
  EXPECT_EQ(back.TexturesSkinIndex[2][0], -1);
  EXPECT_EQ(back.TexturesSkinIndex[37][5], -1);
  auto props = EncodePropsIndex(index);
  props.resize(200, 0x11);
  DecodePropsIndex(props, back);
  EXPECT_EQ(back.PropsSkinIndex[37], -37);
}

// A directory holding every expected name once, in shuffled order, plus fillers.
ArchiveDirectory FullDirectory(uint32_t seed, bool textures, const std::string& drop = "") {
  std::vector<sample::EntrySpec> entries;
  for (int i = 0; i < 50; ++i) entries.push_back({"filler" + std::to_string(i), {1}, 0});
  for (int s = 1; s <= kSlotCount; ++s) {
    if (textures) {
      for (int l = 0; l < kLevelCount; ++l) {
        if (ExpectedTextureName(s, l) != drop) entries.push_back({ExpectedTextureName(s, l), {2}, 0});
      }
    } else if (ExpectedLobbyName(s) != drop) {
      entries.push_back({ExpectedLobbyName(s), {3}, 0});
    }
  }
  sample::ArchiveOptions options;
  options.seed = seed;
  return ParseArchiveDirectory(sample::BuildArchive(entries, options));
}

TEST(SkinIndexBuild, FindsEveryNameAndReportsMissingOnes) {
  const auto textures = FullDirectory(1, true, "textures\\skin_3.tga");
  const auto props = FullDirectory(2, false);
  SkinIndex index;
  std::vector<std::pair<int, int>> missing;
  IndexTextures(textures, index, [&](int s, int l) { missing.emplace_back(s, l); });
  IndexProps(props, index, [&](int) { missing.emplace_back(-1, -1); });
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0], std::make_pair(37, 3));
  EXPECT_EQ(index.TexturesSkinIndex[37][3], 0);  // left as it was
  for (int s = 1; s <= kSlotCount; ++s) {
    for (int l = 0; l < kLevelCount; ++l) {
      if (s == 37 && l == 3) continue;
      EXPECT_EQ(NormalizeEntryName(textures.Directory[static_cast<size_t>(index.TexturesSkinIndex[s][l])].Name),
                ExpectedTextureName(s, l));
    }
    EXPECT_EQ(props.Directory[static_cast<size_t>(index.PropsSkinIndex[s])].Name, ExpectedLobbyName(s));
  }
  // The missing entry leaves the index stale, so it is rebuilt at every start.
  EXPECT_TRUE(TexturesIndexStale(textures, index));
  EXPECT_FALSE(PropsIndexStale(props, index));
}

TEST(SkinIndexBuild, TheLowestOfDuplicatePositionsWins) {
  std::vector<sample::EntrySpec> entries = {
      {"x", {1}, 0}, {"TEXTURES\\SKIN00.TGA ", {1}, 0}, {"y", {1}, 0}, {"textures\\skin00.tga", {1}, 0}};
  sample::ArchiveOptions options;
  options.shuffleDirectory = false;
  const auto dir = ParseArchiveDirectory(sample::BuildArchive(entries, options));
  SkinIndex index;
  IndexTextures(dir, index, {});
  EXPECT_EQ(index.TexturesSkinIndex[1][0], 1);
}

class StaleCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    textures = FullDirectory(11, true);
    props = FullDirectory(12, false);
    IndexTextures(textures, index, {});
    IndexProps(props, index, {});
  }
  ArchiveDirectory textures;
  ArchiveDirectory props;
  SkinIndex index;
};

TEST_F(StaleCheck, CurrentIndexIsNotStale) {
  EXPECT_FALSE(TexturesIndexStale(textures, index));
  EXPECT_FALSE(PropsIndexStale(props, index));
}

TEST_F(StaleCheck, MovedEntriesMakeItStaleAndARebuildFindsTheNewPositions) {
  const auto moved = FullDirectory(99, true);
  EXPECT_TRUE(TexturesIndexStale(moved, index));
  IndexTextures(moved, index, {});
  EXPECT_FALSE(TexturesIndexStale(moved, index));
}

TEST_F(StaleCheck, OutOfRangeValuesAreStale) {
  SkinIndex bad = index;
  bad.TexturesSkinIndex[20][2] = -1;
  EXPECT_TRUE(TexturesIndexStale(textures, bad));
  bad = index;
  bad.TexturesSkinIndex[1][0] = static_cast<int16_t>(textures.Header.EntryCount);
  EXPECT_TRUE(TexturesIndexStale(textures, bad));
  // EntryCount - 1 passes the range pass but names the empty record.
  bad = index;
  bad.PropsSkinIndex[37] = static_cast<int16_t>(props.Header.EntryCount - 1);
  EXPECT_TRUE(PropsIndexStale(props, bad));
  // Slot 0 is never checked.
  bad = index;
  bad.TexturesSkinIndex[0][0] = -5;
  bad.PropsSkinIndex[0] = -5;
  EXPECT_FALSE(TexturesIndexStale(textures, bad));
  EXPECT_FALSE(PropsIndexStale(props, bad));
}

TEST_F(StaleCheck, ShortOrDamagedIndexFilesAreStale) {
  auto bytes = EncodeTexturesIndex(index);
  for (size_t length : {0u, 1u, 100u, 442u, 443u}) {
    SkinIndex loaded = index;
    DecodeTexturesIndex(std::span<const uint8_t>(bytes.data(), length), loaded);
    EXPECT_TRUE(TexturesIndexStale(textures, loaded)) << length;
  }
  SkinIndex swapped = index;
  std::swap(swapped.TexturesSkinIndex[9][0], swapped.TexturesSkinIndex[9][1]);
  EXPECT_TRUE(TexturesIndexStale(textures, swapped));
}

}  // namespace
}  // namespace quorlin
