// Readers of outside bytes (archive directory, skin names, Targa) against bytes spelled out here or generated.
#include <gtest/gtest.h>

#include <tuple>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "image/targa.h"
#include "samplegame/sample_game.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

using Rec = std::pair<std::string, uint16_t>;  // a record's name, and the bytes skipped before it

// Header and records only; record i stores DataLength 1000 + i and DataOffset 7 * i.
std::vector<uint8_t> Archive(int16_t entryCount, const std::vector<Rec>& records) {
  ArchiveHeader header;
  header.DataBase = 0x01020304;
  header.EntryCount = entryCount;
  std::vector<uint8_t> out = sample::EncodeArchiveHeader(header);
  for (size_t i = 0; i < records.size(); ++i) {
    DirEntry e;
    e.DataLength = static_cast<uint32_t>(1000 + i);
    e.DataOffset = static_cast<uint32_t>(7 * i);
    e.NameLength = static_cast<uint8_t>(records[i].first.size());
    e.Name = records[i].first;
    const auto bytes = sample::EncodeDirEntry(e, std::vector<uint8_t>(records[i].second, 0x7E));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

TEST(ArchiveDirectory, ReadsEntryCountMinusOneRecordsAndFindsNamesLoosely) {
  // Entry count, records, how many are read, a name and the first searchable position holding it.
  const std::tuple<int16_t, std::vector<Rec>, int, const char*, long> cases[] = {
      {4, {{"", 0}, {"Second", 5}, {"third", 0}}, 3, "third", 2},  // an empty name takes 25 bytes; skips skipped
      {3, {{"a", 0}, {"b", 0}, {"c", 0}}, 2, "c", -1},               // the third record is never read
      {3, {{std::string(255, 'x'), 300}, {"after", 0}}, 2, "after", 1},
      {1, {{"a", 0}, {"b", 0}}, 1, "a", -1}, {-32768, {{"a", 0}, {"b", 0}}, 1, "a", -1},  // record 0 read, not searched
      {4, {{"  SKIN00.TGA ", 0}, {"skin01.tga", 0}, {"Skin00.tga", 0}}, 3, "skin00.tga", 0},  // lower-cased and trimmed
      {32767, {{"a", 0}, {"b", 0}}, 32766, "b", 1},  // a count far beyond the file
  };
  for (const auto& [count, records, read, wanted, position] : cases) {
    SCOPED_TRACE(std::to_string(count) + " " + wanted);
    const auto dir = ParseArchiveDirectory(Archive(count, records));
    ASSERT_EQ(dir.Directory.size(), static_cast<size_t>(read) + 1);
    for (size_t i = 0; i < std::min<size_t>(records.size(), static_cast<size_t>(read)); ++i) {
      const DirEntry& e = dir.Directory[i];
      EXPECT_TRUE(e.Name == records[i].first && e.DataLength == 1000 + i && e.DataOffset == 7 * i) << i;
    }
    EXPECT_TRUE(dir.Directory.back().Name.empty() && dir.Directory.back().DataLength == 0);  // the empty record
    long found = -1;  // lower-cased and trimmed
    for (int p = dir.SearchablePositions() - 1; p >= 0; --p) {
      if (NormalizeEntryName(dir.Directory[static_cast<size_t>(p)].Name) == wanted) found = p;
    }
    EXPECT_EQ(found, position);
  }
}

TEST(ArchiveDirectory, ShortFilesNeverCrashAndACutNameMatchesNothing) {
  const auto whole = Archive(5, {{"alpha", 0}, {"beta", 3}, {"gamma", 0}, {"delta", 0}});
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    const auto dir = ParseArchiveDirectory(std::span(whole).first(cut));
    const bool four = dir.Directory.size() > 3;  // "delta", the fourth name, ends the file: no more of it than is there
    EXPECT_EQ(four && dir.Directory[3].Name == "delta", cut == whole.size()) << cut;
    EXPECT_LE(four ? dir.Directory[3].Name.size() : 0, cut - std::min(cut, whole.size() - 5)) << cut;
  }
}

TEST(ArchiveDirectory, AFileWhoseDirectoryTakesSeveralReadsIsReadWhole) {
  std::vector<sample::EntrySpec> entries;  // about 600 KB of records, with skipped bytes
  for (int i = 0; i < 12000; ++i) {
    entries.push_back({"filler\\entry" + std::to_string(i) + ".tga", {static_cast<uint8_t>(i)}, uint16_t(i % 7)});
  }
  const auto built = sample::BuildArchive(entries, {});
  test::TempDir tmp;
  sample::WriteFile(tmp / "big.mw4", built.Bytes);
  const auto dir = ReadArchiveDirectoryNative(tmp / "big.mw4");
  ASSERT_EQ(dir.Directory.size(), entries.size() + 1);
  for (size_t i = 0; i < entries.size(); ++i) {
    const DirEntry& e = dir.Directory[static_cast<size_t>(built.Places[i].Position)];
    const bool right = e.Name == entries[i].Name && e.DataLength == 1;
    ASSERT_TRUE(right && dir.Header.DataBase + e.DataOffset == built.Places[i].Offset) << i;
  }
}

TEST(SkinNames, FollowTheSlotCharacters) {
  const std::tuple<int, int, const char*, const char*> cases[] = {  // slot, level, texture, lobby preview
      {1, 0, "skin00.tga", "skin04.tga"},  {9, 4, "skin84.tga", "skin84.tga"},  {10, 5, "skin95.tga", "skin94.tga"},
      {11, 3, "skina3.tga", "skina4.tga"}, {36, 0, "skinz0.tga", "skinz4.tga"}, {37, 2, "skin_2.tga", "skin_4.tga"}};
  for (const auto& [slot, level, texture, preview] : cases) {
    EXPECT_EQ(ExpectedTextureName(slot, level), std::string("textures\\") + texture);
    EXPECT_EQ(ExpectedLobbyName(slot), std::string("shellscripts\\graphics\\multiplayer\\lobbyskins\\") + preview);
  }
}

TEST(SkinIndex, ANameStoredTwiceIsIndexedAtItsLowerPosition) {
  const std::string lobby = ExpectedLobbyName(1);
  const std::vector<sample::EntrySpec> entries = {
      {"textures\\skin00.tga", {1}}, {"other", {2}}, {"TEXTURES\\SKIN00.TGA ", {3}}, {lobby, {4}}, {lobby, {5}}};
  for (uint32_t seed = 1; seed <= 6; ++seed) {  // the duplicates in every order
    const auto built = sample::BuildArchive(entries, {seed});
    SkinIndex index;
    IndexTextures(ParseArchiveDirectory(built.Bytes), index, nullptr);
    IndexProps(ParseArchiveDirectory(built.Bytes), index, nullptr);
    EXPECT_EQ(index.TexturesSkinIndex[1][0], std::min(built.Places[0].Position, built.Places[2].Position)) << seed;
    EXPECT_EQ(index.PropsSkinIndex[1], std::min(built.Places[3].Position, built.Places[4].Position)) << seed;
  }
}

TEST(TargaReader, LoadsEveryOriginPastAnyImageIdAndColourMap) {
  const ImageBuffer image = test::PositionPicture(7, 5);
  const std::tuple<uint8_t, uint8_t, uint16_t> cases[] = {  // descriptor (origin bits), ID length, map entries
      {0, 0, 0}, {0x20, 0, 0}, {0x10, 0, 0}, {0x30, 0, 0}, {0, 17, 0}, {0x20, 3, 256}};
  for (const auto& [descriptor, idLength, mapEntries] : cases) {
    ImageBuffer back;
    TgaHeader header;
    DecodeTGA(test::Targa(image, descriptor, idLength, mapEntries), back, header, "t.tga");
    EXPECT_EQ(back.Pixels, image.Pixels) << int{descriptor} << " " << int{idLength} << " " << mapEntries;
    EXPECT_TRUE(back.Width == 7 && back.Height == 5 && back.BitsPerPixel == 24);
  }
}

}  // namespace
}  // namespace quorlin
