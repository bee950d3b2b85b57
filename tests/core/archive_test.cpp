// The archive header and directory reader: record layout, skip counts, record
// counts, name matching and damaged files.
#include "archive/archive.h"

#include <gtest/gtest.h>

#include "archive/patch.h"
#include "platform/error.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin {
namespace {

struct Rec {
  std::string name;
  uint32_t length = 0;
  uint32_t offset = 0;
  uint16_t skip = 0;
};

std::vector<uint8_t> MakeArchive(int16_t entryCount, const std::vector<Rec>& records, uint32_t dataBase = 0) {
  ArchiveHeader h;
  h.Tag = {'T', 'E', 'S', 'T'};
  h.DataBase = dataBase;
  h.EntryCount = entryCount;
  std::vector<uint8_t> out = EncodeArchiveHeader(h);
  for (const Rec& r : records) {
    DirEntry e;
    e.DataLength = r.length;
    e.DataOffset = r.offset;
    e.NameLength = static_cast<uint8_t>(r.name.size());
    e.Name = r.name;
    const std::vector<uint8_t> skipped(r.skip, 0x7E);
    const auto bytes = EncodeDirEntry(e, skipped);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

TEST(ArchiveLayout, HeaderAndRecordFieldsSitAtTheirOffsets) {
  ArchiveHeader h;
  h.Tag = {'A', 'B', 'C', 'D'};
  h.Unknown4 = 0x04030201;
  h.Unknown8 = 0x08070605;
  h.DataBase = 0x0C0B0A09;
  h.EntryCount = -2;
  h.Unknown18 = 0x1211;
  const auto bytes = EncodeArchiveHeader(h);
  ASSERT_EQ(bytes.size(), kArchiveHeaderSize);
  EXPECT_EQ(bytes,
            (std::vector<uint8_t>{'A', 'B', 'C', 'D', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xFE, 0xFF, 0x11, 0x12}));

  std::vector<uint8_t> archive = MakeArchive(2, {{"n", 0x11223344, 0x55667788, 0}});
  ASSERT_EQ(archive.size(), 20u + 25u + 1u);
  const auto dir = ParseArchiveDirectory(archive);
  EXPECT_EQ(dir.Header.EntryCount, 2);
  EXPECT_EQ(dir.Directory[0].DataLength, 0x11223344u);
  EXPECT_EQ(dir.Directory[0].DataOffset, 0x55667788u);
  EXPECT_EQ(archive[20 + 12], 0x44);
  EXPECT_EQ(archive[20 + 16], 0x88);
  EXPECT_EQ(archive[20 + 22], 1);    // NameLength
  EXPECT_EQ(archive[20 + 25], 'n');  // name right after the skip count
}

TEST(ArchiveDirectoryReader, EmptyNameRecordTakesExactly25BytesAndSkipBytesAreSkipped) {
  const auto archive = MakeArchive(4, {{"", 1, 2, 0}, {"Second", 3, 4, 5}, {"third", 6, 7, 0}});
  const auto dir = ParseArchiveDirectory(archive);
  ASSERT_EQ(dir.Directory.size(), 4u);
  EXPECT_EQ(dir.Directory[0].Name, "");
  EXPECT_EQ(dir.Directory[1].Name, "Second");
  EXPECT_EQ(dir.Directory[1].DataLength, 3u);
  EXPECT_EQ(dir.Directory[2].Name, "third");
  EXPECT_EQ(dir.Directory[2].DataOffset, 7u);
  // The last position is the empty record after those read.
  EXPECT_EQ(dir.Directory[3].Name, "");
  EXPECT_EQ(dir.Directory[3].DataLength, 0u);
}

TEST(ArchiveDirectoryReader, ReadsEntryCountMinusOneRecords) {
  const auto archive = MakeArchive(3, {{"a", 1, 0}, {"b", 2, 0}, {"c", 3, 0}});
  const auto dir = ParseArchiveDirectory(archive);
  ASSERT_EQ(dir.Directory.size(), 3u);
  EXPECT_EQ(dir.Directory[1].Name, "b");
  EXPECT_EQ(dir.Directory[2].Name, "");  // the third record is never read
  EXPECT_EQ(dir.Find("c"), -1);
  EXPECT_EQ(dir.Find("b"), 1);
}

TEST(ArchiveDirectoryReader, EntryCountBelowTwoReadsRecordZeroButSearchesNothing) {
  for (const int16_t count : {int16_t{1}, int16_t{0}, int16_t{-1}, int16_t{-32768}}) {
    const auto archive = MakeArchive(count, {{"a", 9, 0}, {"b", 2, 0}});
    const auto dir = ParseArchiveDirectory(archive);
    ASSERT_EQ(dir.Directory.size(), 2u) << count;
    EXPECT_EQ(dir.Directory[0].Name, "a") << count;
    EXPECT_EQ(dir.Directory[0].DataLength, 9u) << count;
    EXPECT_EQ(dir.SearchablePositions(), 0) << count;
    EXPECT_EQ(dir.Find("a"), -1) << count;
  }
}

TEST(ArchiveDirectoryReader, NamesMatchIgnoringCaseAndSurroundingSpaces) {
  const auto archive = MakeArchive(
      4, {{"  TEXTURES\\SKIN00.TGA ", 1, 0}, {"textures\\skin01.tga", 2, 0}, {"Textures\\Skin00.tga", 3, 0}});
  const auto dir = ParseArchiveDirectory(archive);
  EXPECT_EQ(dir.Find("textures\\skin00.tga"), 0);  // the first of two matches
  EXPECT_EQ(dir.Find("textures\\skin01.tga"), 1);
  EXPECT_EQ(dir.Find("textures\\skin02.tga"), -1);
}

TEST(ArchiveDirectoryReader, DataPositionIsDataBasePlusOffsetWhateverTheDataOrder) {
  std::vector<sample::EntrySpec> entries;
  for (int i = 0; i < 20; ++i) {
    entries.push_back(
        {"e" + std::to_string(i), std::vector<uint8_t>(10 + i, static_cast<uint8_t>(i)), static_cast<uint16_t>(i % 3)});
  }
  sample::ArchiveOptions options;
  options.seed = 7;
  const auto archive = sample::BuildArchive(entries, options);
  const auto dir = ParseArchiveDirectory(archive);
  for (int i = 0; i < 20; ++i) {
    const long p = dir.Find("e" + std::to_string(i));
    ASSERT_GE(p, 0);
    const DirEntry& e = dir.Directory[static_cast<size_t>(p)];
    ASSERT_EQ(e.DataLength, static_cast<uint32_t>(10 + i));
    const auto pos = ArchiveDirectory::DataPosition(dir.Header, e);
    for (uint32_t k = 0; k < e.DataLength; ++k) ASSERT_EQ(archive[pos + k], i);
  }
}

TEST(ArchiveDirectoryReaderBadInput, ShortFilesYieldRecordsThatMatchNothing) {
  const auto whole = MakeArchive(5, {{"alpha", 1, 0}, {"beta", 2, 0, 3}, {"gamma", 3, 0}, {"delta", 4, 0}});
  // Cut the file at every length: never a crash, and a cut-off name never matches.
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    const auto dir = ParseArchiveDirectory(part);
    const bool complete = cut == whole.size();
    EXPECT_EQ(dir.Find("delta") >= 0, complete) << cut;
    EXPECT_GE(dir.Directory.size(), 2u);
  }
  EXPECT_EQ(ParseArchiveDirectory(std::span<const uint8_t>()).Directory.size(), 2u);
}

TEST(ArchiveDirectoryReaderBadInput, LongNamesHugeSkipsAndHugeCountsStayBounded) {
  const std::string longName(255, 'x');
  auto archive = MakeArchive(3, {{longName, 5, 6, 0}, {"after", 1, 0, 0}});
  auto dir = ParseArchiveDirectory(archive);
  EXPECT_EQ(dir.Directory[0].Name, longName);
  EXPECT_EQ(dir.Find("after"), 1);

  // A skip count that runs past the end of the file.
  archive = MakeArchive(3, {{"a", 1, 0, 0}});
  archive.resize(archive.size() + 22, 0);  // a second record's fixed part
  archive.push_back(10);                   // NameLength
  archive.push_back(0xFF);                 // skip count 65535
  archive.push_back(0xFF);
  dir = ParseArchiveDirectory(archive);
  EXPECT_EQ(dir.Find("a"), 0);
  EXPECT_EQ(dir.Directory[1].Name, "");

  // EntryCount 32767 with only two records present.
  archive = MakeArchive(32767, {{"a", 1, 0}, {"b", 2, 0}});
  dir = ParseArchiveDirectory(archive);
  EXPECT_EQ(dir.Directory.size(), 32767u);
  EXPECT_EQ(dir.Find("b"), 1);
  EXPECT_EQ(dir.Directory[32766].Name, "");
}

TEST(ArchiveDirectoryReader, FileFormMatchesMemoryFormAndAMissingArchiveIsEmpty) {
  test::TempDir tmp;
  std::vector<sample::EntrySpec> entries;
  for (int i = 0; i < 3000; ++i)
    entries.push_back({"file" + std::to_string(i), {1, 2, 3}, static_cast<uint16_t>(i % 4)});
  const auto archive = sample::BuildArchive(entries, {});
  sample::WriteFile(tmp / "a.mw4", archive);
  const auto fromFile = ReadArchiveDirectoryNative(tmp / "a.mw4");
  const auto fromMemory = ParseArchiveDirectory(archive);
  ASSERT_EQ(fromFile.Directory.size(), fromMemory.Directory.size());
  for (size_t i = 0; i < fromFile.Directory.size(); ++i) {
    ASSERT_EQ(fromFile.Directory[i].Name, fromMemory.Directory[i].Name);
    ASSERT_EQ(fromFile.Directory[i].DataOffset, fromMemory.Directory[i].DataOffset);
  }
  const auto missing = ReadArchiveDirectoryNative(tmp / "none.mw4");
  EXPECT_EQ(missing.Directory.size(), 2u);
  EXPECT_EQ(missing.SearchablePositions(), 0);
}

TEST(ArchiveDirectoryLookup, PositionsOutsideTheDirectoryAreRefused) {
  const auto dir = ParseArchiveDirectory(MakeArchive(3, {{"a", 1, 0}, {"b", 2, 0}}));
  EXPECT_NO_THROW(dir.At(2));  // the empty record after those read
  EXPECT_THROW(dir.At(3), QuorlinError);
  EXPECT_THROW(dir.At(-1), QuorlinError);
  EXPECT_EQ(dir.At(2).DataLength, 0u);
}

TEST(EntryBounds, EntryMustLieWhollyInsideTheFile) {
  ArchiveHeader h;
  h.DataBase = 100;
  DirEntry e;
  e.DataOffset = 50;
  e.DataLength = 10;
  EXPECT_TRUE(EntryInsideFile(h, e, 160));
  EXPECT_FALSE(EntryInsideFile(h, e, 159));
  // No 32-bit wrap-around: a huge offset is outside, not at a small position.
  h.DataBase = 0xFFFFFFF0u;
  e.DataOffset = 0x20;
  EXPECT_FALSE(EntryInsideFile(h, e, 1000));
}

}  // namespace
}  // namespace quorlin
