// The whole Insert Skin command (InsertIntoSelectedSlot, what mnueditInsert_Click runs) on a generated game, through
// a FrontEnd that shows nothing.
//
// Before the timed loop: a sample game is written to a scratch folder (argument:
// filler entries per archive; 300 gives a textures archive of about 39 MB), start-up
// runs (index built and saved), the sample picture is loaded, slot 12 is selected,
// and one insert runs so that both backups exist. What is timed is then the
// command as a user repeats it: both patch checks, the directories read again
// where the files changed since, six texture levels and the lobby preview
// resampled and encoded, the journal written and flushed, and about 1 MB written
// in place and flushed. No backup copy.
//
// BM_CopyWholeTexturesArchive times the other way to change an archive: writing
// all of it again (the copy the first insert makes as its backup, flushed to disk
// as that copy is).

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "app/commands.h"
#include "app/program_state.h"
#include "bench_support.h"
#include "platform/file_copy.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

using namespace quorlin;

namespace {

struct PreparedGame {
  test::TempDir dir;
  ProgramState state;
  bench::SilentFrontEnd ui;
  bool ok = false;
  std::string error;
};

// One game per filler count, made on first use and removed at exit.
PreparedGame& Game(int fillers) {
  static std::map<int, std::unique_ptr<PreparedGame>> games;
  std::unique_ptr<PreparedGame>& slot = games[fillers];
  if (slot) return *slot;
  slot = std::make_unique<PreparedGame>();
  PreparedGame& g = *slot;
  sample::GameOptions options;
  options.FillerEntries = fillers;
  sample::WriteSampleGame(g.dir.str(), options);

  StartupOptions startup;
  startup.GameDir = g.dir.str();
  if (StartUp(g.state, g.ui, startup).Outcome != Outcome::Done) {
    g.error = "start-up failed: " + g.ui.lastMessage;
    return g;
  }
  g.state.LoadedImage = sample::SamplePicture(512);
  SelectSlot(g.state, 12);
  const int before = g.ui.messages;
  if (InsertIntoSelectedSlot(g.state, g.ui) != Outcome::Done || g.ui.messages != before) {
    g.error = "the first insert failed: " + g.ui.lastMessage;
    return g;
  }
  if (!g.state.Game.Exists(std::string(kTexturesArchive) + "b") ||
      !g.state.Game.Exists(std::string(kPropsArchive) + "b")) {
    g.error = "the first insert made no backups";
    return g;
  }
  g.ok = true;
  return g;
}

void BM_InsertSkin(benchmark::State& state) {
  PreparedGame& g = Game(static_cast<int>(state.range(0)));
  if (!g.ok) {
    state.SkipWithError(g.error.c_str());
    return;
  }
  const LevelFilter filter = state.range(1) != 0 ? LevelFilter::Box : LevelFilter::Nearest;
  for (auto _ : state) {
    const int before = g.ui.messages;
    if (InsertIntoSelectedSlot(g.state, g.ui, filter) != Outcome::Done || g.ui.messages != before) {
      state.SkipWithError(("insert failed: " + g.ui.lastMessage).c_str());
      break;
    }
  }
  state.SetLabel(std::to_string(NativeFileSize(g.state.Game.NativeGamePath(kTexturesArchive)) / 1000000) +
                 " MB textures archive, " + (filter == LevelFilter::Box ? "box" : "nearest"));
}
BENCHMARK(BM_InsertSkin)
    ->ArgNames({"fillers", "box"})
    ->Args({300, 0})
    ->Args({300, 1})
    ->Args({5000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_CopyWholeTexturesArchive(benchmark::State& state) {
  PreparedGame& g = Game(static_cast<int>(state.range(0)));
  if (!g.ok) {
    state.SkipWithError(g.error.c_str());
    return;
  }
  const std::string source = g.state.Game.NativeGamePath(kTexturesArchive);
  const std::string copy = g.dir / "textures-copy.mw4";
  const auto size = static_cast<int64_t>(NativeFileSize(source));
  for (auto _ : state) CopyWholeFile(source, copy);
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_CopyWholeTexturesArchive)->ArgName("fillers")->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
