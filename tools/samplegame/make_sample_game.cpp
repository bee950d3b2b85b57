// make-sample-game DIR [--wine-prefix PREFIX] [options]
// Writes a game folder whose archives are prepared the way the tool expects, for
// the demo, manual checks and benchmarks.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "archive/skin_index.h"
#include "samplegame/sample_game.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a sample Mechwarrior Vengeance game folder with prepared archives", "make-sample-game"};
  std::string dir;
  std::string prefix;
  quorlin::sample::GameOptions options;
  std::vector<int> prepared;
  std::vector<int> unprepared;
  std::vector<int> unpreparedProps;
  std::vector<std::string> drop;
  app.add_option("DIR", dir, "Game folder to write (it gets resource\\textures.mw4 and props.mw4)")->required();
  app.add_option("--wine-prefix", prefix, "Also write a minimal Wine prefix that finds the game");
  app.add_option("--seed", options.Seed, "Seed for entry order and contents; another seed moves the entries");
  app.add_option("--fillers", options.FillerEntries, "Other entries per archive")->check(CLI::Range(0, 32766 - 222));
  app.add_option("--props-fillers", options.PropsFillerEntries, "Other entries in props.mw4, if not as many")
      ->check(CLI::Range(0, 32766 - 37));
  app.add_option("--prepared", prepared, "Prepare only these slots (default: all)")->check(CLI::Range(1, 37));
  app.add_option("--unprepared", unprepared, "Slots left unprepared in both archives")->check(CLI::Range(1, 37));
  app.add_option("--unprepared-props", unpreparedProps, "Slots whose lobby entry is left unprepared")
      ->check(CLI::Range(1, 37));
  app.add_option("--drop", drop, "Entry names to leave out, e.g. textures\\skin_3.tga");
  app.add_flag("--mixed-case", options.MixedCaseNames, "Store some skin names upper-cased with trailing spaces");
  std::string layoutFile;
  app.add_option("--layout", layoutFile,
                 "Also write where every skin entry lies: lines of archive, name, directory position, record offset, "
                 "data offset, length");
  CLI11_PARSE(app, argc, argv);

  options.PreparedSlots.insert(prepared.begin(), prepared.end());
  options.UnpreparedTextures.insert(unprepared.begin(), unprepared.end());
  options.UnpreparedProps.insert(unprepared.begin(), unprepared.end());
  options.UnpreparedProps.insert(unpreparedProps.begin(), unpreparedProps.end());
  options.DropNames.insert(drop.begin(), drop.end());
  try {
    const auto layout = quorlin::sample::WriteSampleGame(dir, options);
    if (!layoutFile.empty()) {
      std::ofstream out(layoutFile);
      for (const auto& [archive, places] :
           {std::pair{"textures.mw4", &layout.Textures}, {"props.mw4", &layout.Props}}) {
        for (const auto& [name, p] : *places) {
          out << archive << ' ' << name << ' ' << p.Position << ' ' << p.Record << ' ' << p.Offset << ' ' << p.Length
              << '\n';
        }
      }
      if (!out) throw std::runtime_error("cannot write " + layoutFile);
    }
    if (!prefix.empty()) quorlin::sample::WriteWinePrefix(prefix, dir);
  } catch (const std::exception& e) {
    std::cerr << "make-sample-game: " << e.what() << '\n';
    return 1;
  }
  std::cout << "Sample game written to " << dir << " (picture: " << dir << "/sample-skin.bmp)\n";
  if (!prefix.empty()) std::cout << "Wine prefix written to " << prefix << " (run with WINEPREFIX=" << prefix << ")\n";
  return 0;
}
