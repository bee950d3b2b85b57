// Reading archive directories and indexing skin names.
//
// Every archive is generated before the timed loop; the argument is the number of
// directory entries, up to 32,766 (EntryCount 32,767, the most an archive can
// name).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <span>

#include "archive/archive.h"
#include "archive/skin_index.h"
#include "bench_support.h"
#include "support/temp_dir.h"

using namespace quorlin;

namespace {

// Bytes of header and directory (the part the reader walks).
size_t DirectoryBytes(const std::vector<uint8_t>& archive) { return ParseArchiveDirectory(archive).Header.DataBase; }

void BM_ParseArchiveDirectory_Memory(benchmark::State& state) {
  const std::vector<uint8_t> archive = bench::ArchiveBytes(bench::TextureEntries(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    ArchiveDirectory dir = ParseArchiveDirectory(std::span<const uint8_t>(archive));
    benchmark::DoNotOptimize(dir);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(DirectoryBytes(archive)));
}
BENCHMARK(BM_ParseArchiveDirectory_Memory)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMicrosecond);

// The file form: fopen, buffered reads of header and directory, fclose. The file
// stays in the page cache, so this is the cost of the reader, not of the disk.
void BM_ReadArchiveDirectoryNative(benchmark::State& state) {
  test::TempDir dir;
  const std::string path = dir / "textures.mw4";
  const std::vector<uint8_t> archive = bench::ArchiveBytes(bench::TextureEntries(static_cast<int>(state.range(0))));
  sample::WriteFile(path, archive);
  for (auto _ : state) {
    ArchiveDirectory read = ReadArchiveDirectoryNative(path);
    benchmark::DoNotOptimize(read);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(DirectoryBytes(archive)));
}
BENCHMARK(BM_ReadArchiveDirectoryNative)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMicrosecond);

// Indexing: one pass builds the name-to-position map, then 222 (textures) or 37
// (props) lookups.
void BM_IndexTextures(benchmark::State& state) {
  const ArchiveDirectory dir =
      ParseArchiveDirectory(bench::ArchiveBytes(bench::TextureEntries(static_cast<int>(state.range(0)))));
  int missing = 0;
  for (auto _ : state) {
    SkinIndex index;
    IndexTextures(dir, index, [&](int, int) { ++missing; });
    benchmark::DoNotOptimize(index);
  }
  if (missing != 0) state.SkipWithError("expected texture names missing from the generated directory");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IndexTextures)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMicrosecond);

void BM_IndexProps(benchmark::State& state) {
  const ArchiveDirectory dir =
      ParseArchiveDirectory(bench::ArchiveBytes(bench::PropsEntries(static_cast<int>(state.range(0)))));
  int missing = 0;
  for (auto _ : state) {
    SkinIndex index;
    IndexProps(dir, index, [&](int) { ++missing; });
    benchmark::DoNotOptimize(index);
  }
  if (missing != 0) state.SkipWithError("expected lobby names missing from the generated directory");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IndexProps)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMicrosecond);

// For comparison: the same 222 texture names looked up one linear search each, the
// way a name search without the map would go.
void BM_IndexTexturesByLinearFind(benchmark::State& state) {
  const ArchiveDirectory dir =
      ParseArchiveDirectory(bench::ArchiveBytes(bench::TextureEntries(static_cast<int>(state.range(0)))));
  for (auto _ : state) {
    SkinIndex index;
    for (int s = 1; s <= kSlotCount; ++s) {
      for (int l = 0; l < kLevelCount; ++l) {
        const std::string wanted = ExpectedTextureName(s, l);
        for (int p = 0; p < dir.SearchablePositions(); ++p) {
          if (NormalizeEntryName(dir.Directory[static_cast<size_t>(p)].Name) == wanted) {
            index.TexturesSkinIndex[s][l] = static_cast<int16_t>(p);
            break;
          }
        }
      }
    }
    benchmark::DoNotOptimize(index);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IndexTexturesByLinearFind)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMicrosecond);

// The stale check start-up runs on every launch: range pass, then name pass.
void BM_TexturesIndexStale(benchmark::State& state) {
  const ArchiveDirectory dir =
      ParseArchiveDirectory(bench::ArchiveBytes(bench::TextureEntries(static_cast<int>(state.range(0)))));
  SkinIndex index;
  IndexTextures(dir, index, {});
  for (auto _ : state) {
    const bool stale = TexturesIndexStale(dir, index);
    benchmark::DoNotOptimize(stale);
    if (stale) {
      state.SkipWithError("a freshly built index reads as stale");
      break;
    }
  }
}
BENCHMARK(BM_TexturesIndexStale)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMicrosecond);

}  // namespace
