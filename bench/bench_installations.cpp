// Finding the game in every Wine prefix of a home folder (FindInstallations).
//
// Before the timed loop: a home in a scratch folder with ten prefixes spread over
// the launchers' places (~/.wine, wineprefixes, a Lutris game file's prefix and
// ~/Games, Bottles and its Flatpak home, PlayOnLinux, Heroic, a Steam library
// named by libraryfolders.vdf, CrossOver). Each system.reg is about 3 MB, written
// as Wine writes one: thousands of keys with their #time lines, strings with
// escapes, dwords, str(2) values and hex values continued over several lines.
// Every other prefix holds the game's key (under Wow6432Node, in the middle of
// the file); the rest lack it, so both its lookups read the whole file.
//
// BM_GameKeyLookup times one lookup in a 3 MB system.reg held in memory, the key
// absent: the line scan alone, without the file read.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "locate/installations.h"
#include "locate/registry.h"
#include "locate/wine_registry.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

using namespace quorlin;
namespace fs = std::filesystem;

namespace {

constexpr size_t kRegistrySize = 3u << 20;

// A Wine system.reg of about kRegistrySize bytes; with the game's key halfway.
std::string LargeSystemReg(uint32_t seed, bool withGame) {
  std::mt19937 rng(seed);
  const auto hex = [&](int digits) {
    std::string out;
    for (int i = 0; i < digits; ++i) out.push_back("0123456789ABCDEF"[rng() % 16]);
    return out;
  };
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
  bool placed = !withGame;
  for (int key = 0; text.size() < kRegistrySize; ++key) {
    if (!placed && text.size() > kRegistrySize / 2) {
      const std::string reg = sample::SampleSystemReg();
      text += reg.substr(reg.find("[Software"));
      placed = true;
    }
    std::string clsid(1, '{');
    for (int digits : {8, 4, 4, 4, 12}) clsid += hex(digits) + (digits == 12 ? '}' : '-');
    text += "[Software\\\\Classes\\\\CLSID\\\\" + clsid + "\\\\InprocServer32] 1733475600\n#time=1db47c0a" + hex(7) +
            "\n@=\"C:\\\\windows\\\\system32\\\\component" + std::to_string(key) + ".dll\"\n";
    text += "\"ThreadingModel\"=\"Both\"\n";
    switch (key % 4) {
      case 0:
        text += "\"Count\"=dword:" + hex(8) + "\n";
        break;
      case 1:
        text += "\"Path\"=str(2):\"%SystemRoot%\\\\system32\\\\" + hex(6) + ".exe\"\n";
        break;
      case 2: {
        text += "\"Data\"=hex:";
        for (int i = 0; i < 60; ++i) {
          text += hex(2) + (i + 1 < 60 ? "," : "\n");
          if (i % 25 == 24) text += "\\\n  ";
        }
        break;
      }
      default:
        text += "\"Description\"=\"A \\\"quoted\\\" name\\\\with a backslash\"\n";
        break;
    }
    text += "\n";
  }
  return text;
}

struct Home {
  test::TempDir dir;
  std::string home;
  size_t withGame = 0;
};

Home& BenchHome() {
  static Home h;
  if (!h.home.empty()) return h;
  h.home = h.dir / "home";
  const std::string game = h.dir / "game";
  sample::GameOptions options;
  options.FillerEntries = 0;
  options.PreparedSlots = {1};
  options.WritePictures = false;
  sample::WriteSampleGame(game, options);
  const char* const prefixes[] = {
      ".wine",
      ".local/share/wineprefixes/office",
      "Games/mechwarrior-vengeance",
      "lutris/mw4",
      ".local/share/bottles/bottles/Gaming",
      ".var/app/com.usebottles.bottles/data/bottles/bottles/MW4",
      ".PlayOnLinux/wineprefix/MW4",
      "Games/Heroic/Prefixes/default/Some Game",
      "SteamLibrary/steamapps/compatdata/228980/pfx",
      ".cxoffice/Mechwarrior",
  };
  uint32_t seed = 1;
  for (const char* prefix : prefixes) {
    const std::string path = h.home + "/" + prefix;
    sample::WriteWinePrefix(path, game);
    const bool withGame = seed % 2 == 1;
    const std::string reg = LargeSystemReg(seed++, withGame);
    sample::WriteFile(path + "/system.reg", std::vector<uint8_t>(reg.begin(), reg.end()));
    if (withGame) ++h.withGame;
  }
  const auto write = [&](const std::string& rel, const std::string& text) {
    fs::create_directories(fs::path(h.home + "/" + rel).parent_path());
    sample::WriteFile(h.home + "/" + rel, std::vector<uint8_t>(text.begin(), text.end()));
  };
  write(".config/lutris/games/mechwarrior-vengeance.yml",
        "game:\n  exe: drive_c/MW4/Mech4.exe\n  prefix: ~/lutris/mw4\nname: Mechwarrior Vengeance\nrunner: wine\n");
  write(".local/share/Steam/steamapps/libraryfolders.vdf",
        "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + h.home +
            "/.local/share/Steam\"\n\t}\n\t\"1\"\n\t{\n" + "\t\t\"path\"\t\t\"" + h.home + "/SteamLibrary\"\n\t}\n}\n");
  return h;
}

void BM_FindInstallations(benchmark::State& state) {
  Home& h = BenchHome();
  for (auto _ : state) {
    const auto found = FindInstallations(h.home, nullptr);
    if (found.size() != h.withGame) {
      state.SkipWithError("not every installation was found");
      break;
    }
    benchmark::DoNotOptimize(found.data());
  }
}
BENCHMARK(BM_FindInstallations)->Unit(benchmark::kMillisecond);

void BM_GameKeyLookup(benchmark::State& state) {
  const std::string reg = LargeSystemReg(2, false);
  for (auto _ : state) {
    auto key = ParseWineRegistryKey(reg, kGameRegistryKey);
    benchmark::DoNotOptimize(key);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(reg.size()));
}
BENCHMARK(BM_GameKeyLookup)->Unit(benchmark::kMillisecond);

}  // namespace
