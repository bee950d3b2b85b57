// The readers of outside bytes against bytes spelled out here or by the generator:
// the archive directory, skin entry names, and the Targa reader's orientations.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "image/targa.h"
#include "samplegame/sample_game.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

struct Rec {
  std::string name;
  uint16_t skip = 0;
};

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
    e.NameLength = static_cast<uint8_t>(records[i].name.size());
    e.Name = records[i].name;
    const auto bytes = sample::EncodeDirEntry(e, std::vector<uint8_t>(records[i].skip, 0x7E));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

TEST(ArchiveDirectory, ReadsEntryCountMinusOneRecordsAndFindsNamesLoosely) {
  const std::string longName(255, 'x');
  const struct {
    int16_t count;
    std::vector<Rec> records;
    int read;  // records expected to be read
    const char* wanted;
    long found;
  } cases[] = {
      {4, {{""}, {"Second", 5}, {"third"}}, 3, "third", 2},  // an empty name takes 25 bytes; skipped bytes skipped
      {3, {{"a"}, {"b"}, {"c"}}, 2, "c", -1},                // the third record is never read
      {3, {{longName, 300}, {"after"}}, 2, "after", 1},
      {1, {{"a"}, {"b"}}, 1, "a", -1},  // record 0 is read, nothing is searched
      {-32768, {{"a"}, {"b"}}, 1, "a", -1},
      {4, {{"  SKIN00.TGA "}, {"skin01.tga"}, {"Skin00.tga"}}, 3, "skin00.tga", 0},  // lower-cased and trimmed
      {32767, {{"a"}, {"b"}}, 32766, "b", 1},                                        // a count far beyond the file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " " + c.wanted);
    const auto dir = ParseArchiveDirectory(Archive(c.count, c.records));
    EXPECT_TRUE(dir.Header.DataBase == 0x01020304u && dir.Header.EntryCount == c.count);
    ASSERT_EQ(dir.Directory.size(), static_cast<size_t>(c.read) + 1);
    for (size_t i = 0; i < std::min<size_t>(c.records.size(), static_cast<size_t>(c.read)); ++i) {
      const DirEntry& e = dir.Directory[i];
      EXPECT_TRUE(e.Name == c.records[i].name && e.DataLength == 1000 + i && e.DataOffset == 7 * i) << i;
    }
    EXPECT_TRUE(dir.Directory.back().Name.empty() && dir.Directory.back().DataLength == 0);  // the empty record
    long found = -1;  // the first searchable position of that name, lower-cased and trimmed
    for (int p = dir.SearchablePositions() - 1; p >= 0; --p) {
      if (NormalizeEntryName(dir.Directory[static_cast<size_t>(p)].Name) == c.wanted) found = p;
    }
    EXPECT_EQ(found, c.found);
  }
}

TEST(ArchiveDirectory, ShortFilesNeverCrashAndACutNameMatchesNothing) {
  const auto whole = Archive(5, {{"alpha"}, {"beta", 3}, {"gamma"}, {"delta"}});
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    const auto dir = ParseArchiveDirectory(part);
    const bool four = dir.Directory.size() > 3;
    EXPECT_EQ(four && dir.Directory[3].Name == "delta", cut == whole.size()) << cut;
    const size_t lastName = whole.size() - 5;  // "delta" ends the file: never more of it than is there
    EXPECT_LE(four ? dir.Directory[3].Name.size() : 0, cut > lastName ? cut - lastName : 0) << cut;
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
    ASSERT_TRUE(e.Name == entries[i].Name && e.DataLength == 1 &&
                dir.Header.DataBase + e.DataOffset == built.Places[i].Offset)
        << i;
  }
}

TEST(SkinNames, FollowTheSlotCharacters) {
  const std::string lobby = "shellscripts\\graphics\\multiplayer\\lobbyskins\\";
  const struct {
    int slot, level;
    const char* texture;
    const char* preview;
  } cases[] = {{1, 0, "textures\\skin00.tga", "skin04.tga"},  {9, 4, "textures\\skin84.tga", "skin84.tga"},
               {10, 5, "textures\\skin95.tga", "skin94.tga"}, {11, 3, "textures\\skina3.tga", "skina4.tga"},
               {36, 0, "textures\\skinz0.tga", "skinz4.tga"}, {37, 2, "textures\\skin_2.tga", "skin_4.tga"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ExpectedTextureName(c.slot, c.level), c.texture);
    EXPECT_EQ(ExpectedLobbyName(c.slot), lobby + c.preview);
  }
}

TEST(SkinIndex, ANameStoredTwiceIsIndexedAtItsLowerPosition) {
  const std::string lobby = ExpectedLobbyName(1);
  const std::vector<sample::EntrySpec> entries = {
      {"textures\\skin00.tga", {1}}, {"other", {2}}, {"TEXTURES\\SKIN00.TGA ", {3}}, {lobby, {4}}, {lobby, {5}}};
  for (uint32_t seed = 1; seed <= 6; ++seed) {  // the duplicates in every order
    const auto built = sample::BuildArchive(entries, {seed});
    const auto dir = ParseArchiveDirectory(built.Bytes);
    SkinIndex index;
    IndexTextures(dir, index, nullptr);
    IndexProps(dir, index, nullptr);
    EXPECT_EQ(index.TexturesSkinIndex[1][0], std::min(built.Places[0].Position, built.Places[2].Position)) << seed;
    EXPECT_EQ(index.PropsSkinIndex[1], std::min(built.Places[3].Position, built.Places[4].Position)) << seed;
  }
}

TEST(TargaReader, LoadsEveryOriginPastAnyImageIdAndColourMap) {
  const ImageBuffer image = test::PositionPicture(7, 5);
  const struct {
    uint8_t descriptor, idLength;
    uint16_t mapEntries;
  } cases[] = {{0, 0, 0}, {0x20, 0, 0}, {0x10, 0, 0}, {0x30, 0, 0}, {0, 17, 0}, {0x20, 3, 256}};
  for (const auto& c : cases) {
    ImageBuffer back;
    TgaHeader header;
    DecodeTGA(test::Targa(image, c.descriptor, c.idLength, c.mapEntries), back, header, "t.tga");
    EXPECT_EQ(back.Pixels, image.Pixels) << int{c.descriptor} << " " << int{c.idLength} << " " << c.mapEntries;
    EXPECT_TRUE(back.Width == 7 && back.Height == 5 && back.BitsPerPixel == 24);
  }
}

}  // namespace
}  // namespace quorlin
