#include "base/strings.h"
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "app/commands.h"
#include "app/settings.h"
#include "app/slot_tools.h"
#include "app/write_checks.h"
#include "base/error.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "base/texts.h"
#include "quorlin/version.h"

namespace quorlin {

namespace {

// The terminal as the program's front end: status texts on one stream, messages
// on standard error ("TITLE: TEXT" when the box has its own title).
class Terminal : public FrontEnd {
 public:
  Terminal(std::ostream& status, const CliStreams& streams, bool assumeYes)
      : status_(status), streams_(streams), assumeYes_(assumeYes) {}

  void SetStatus(const std::string& text, bool) override { status_ << text << '\n' << std::flush; }

  MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon,
                            MessageButtons buttons) override {
    const std::string line = title == text::kProgramTitle ? text : title + ": " + text;
    if (buttons != MessageButtons::YesNo) {
      streams_.err << line << '\n' << std::flush;
      return MessageAnswer::Ok;
    }
    if (assumeYes_) {
      streams_.err << line << " yes\n" << std::flush;
      return MessageAnswer::Yes;
    }
    streams_.err << line << " [y/N] " << std::flush;
    // Only an explicit yes answers yes: an empty line, the end of input or any other
    // text is No.
    std::string answer;
    std::getline(streams_.in, answer);
    answer = LowerAscii(TrimSpaces(answer));
    return answer == "y" || answer == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
  }

  void SetBusy(bool) override {}
  void CannotWrite(const std::string& explanation) override {
#ifdef _WIN32
    streams_.err << explanation << "\n" << text::kProtectedFolder << ' ' << text::kAdministratorPrompt << '\n';
#else
    streams_.err << explanation << "\n" << text::kGiveWritePermission << '\n';
#endif
  }
  void Notice(const std::string& text) override { streams_.err << text << '\n' << std::flush; }

 private:
  std::ostream& status_;
  const CliStreams& streams_;
  bool assumeYes_;
};

// Everything the command line can be given; each subcommand reads its own part.
struct CliOptions {
  std::string gameDir, prefix;  // where the game is (both empty: as the window finds it)
  bool json = false;            // games, status, history
  bool rebuild = false;         // index
  int slot = 0;                 // insert, restore (0: every slot), extract, history, undo
  std::string picture;          // insert
  std::string filter = "nearest";
  bool fit = false;  // a larger square picture scaled down to 512x512
  bool yes = false;   // restore, undo
  std::string outDir;  // extract
  bool png = false;
};

// What a subcommand works with once start-up has run.
struct Command {
  const CliOptions& options;
  const CliStreams& streams;
  const PictureCodecs& codecs;
  Terminal& ui;
  ProgramState& state;
};

int ExitCode(Outcome outcome) { return outcome == Outcome::Done ? 0 : 1; }

int Status(Command& c) {
  const auto rows = ReadSlotStatus(c.state);
  std::ostream& out = c.streams.out;
  if (!c.options.json) {
    out << "game: " << c.state.Game.MechPath << '\n';
    out << "slot  textures      props         differs from backup\n";
    for (const SlotStatus& r : rows) {
      out << std::left << std::setw(6) << r.slot << std::setw(14)
          << (r.texturesPrepared ? "prepared" : "not prepared") << std::setw(14)
          << (r.propsPrepared ? "prepared" : "not prepared")
          << (r.differsFromBackup ? (*r.differsFromBackup ? "yes" : "no") : "unknown (no backup)") << '\n';
    }
    return 0;
  }
  nlohmann::json slots = nlohmann::json::array();
  for (const SlotStatus& r : rows) {
    slots.push_back({{"slot", r.slot},
                     {"textures_prepared", r.texturesPrepared},
                     {"props_prepared", r.propsPrepared},
                     {"differs_from_backup",
                      r.differsFromBackup ? nlohmann::json(*r.differsFromBackup) : nlohmann::json(nullptr)}});
  }
  // The native file behind each archive and backup (on Windows perhaps a VirtualStore copy).
  nlohmann::json files;
  for (const std::string file : {kTexturesArchive, kPropsArchive}) {
    files[file] = c.state.Game.NativeGamePath(file);
    files[file + "b"] = c.state.Game.NativeGamePath(file + "b");
  }
  out << nlohmann::json{{"game", c.state.Game.MechPath}, {"files", files}, {"slots", slots}}.dump(2) << '\n';
  return 0;
}

int Index(Command& c) {
  if (c.options.rebuild) {
    FolderLock lock;
    if (PrepareToWrite(c.state.Game, c.ui, lock, {kTexturesIndexFile, kPropsIndexFile}) != Outcome::Done) return 1;
    c.ui.SetStatus(text::kIndexing, true);
    BuildSkinIndex(c.state, c.ui);
    SaveSkinIndex(c.state);
    c.ui.SetStatus(text::kReady, true);
  }
  std::ostream& out = c.streams.out;
  out << "slot  textures levels 0..5                 props\n";
  for (int s = 1; s <= kSlotCount; ++s) {
    out << std::left << std::setw(6) << s;
    for (int l = 0; l < kLevelCount; ++l) out << std::setw(7) << c.state.Index.TexturesSkinIndex[s][l];
    out << c.state.Index.PropsSkinIndex[s] << '\n';
  }
  return 0;
}

int Insert(Command& c) {
  if (const Outcome opened = OpenPicture(c.state, c.ui, c.options.picture, c.codecs.decode,
                                         c.options.fit ? ScaleDown::Always : ScaleDown::Never);
      opened != Outcome::Done) {
    return ExitCode(opened);
  }
  SelectSlot(c.state, static_cast<int16_t>(c.options.slot));
  return ExitCode(
      InsertIntoSelectedSlot(c.state, c.ui, c.options.filter == "box" ? LevelFilter::Box : LevelFilter::Nearest));
}

int Restore(Command& c) {
  return ExitCode(c.options.slot != 0 ? RestoreSlot(c.state, c.ui, c.options.slot)
                                      : RestoreOriginals(c.state, c.ui));
}

int Extract(Command& c) {
  return ExitCode(
      ExtractSlot(c.state, c.ui, c.options.slot, c.options.outDir, c.options.png ? c.codecs.writePng : PngWriter()));
}

int Undo(Command& c) { return ExitCode(UndoLastChange(c.state, c.ui, c.options.slot)); }

// A time kept in a version: local time for reading, UTC in ISO 8601 for JSON.
std::string FormatTime(int64_t seconds, bool utc) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm parts{};
#ifdef _WIN32
  utc ? gmtime_s(&parts, &t) : localtime_s(&parts, &t);
#else
  utc ? gmtime_r(&t, &parts) : localtime_r(&t, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

int History(Command& c) {
  const auto versions = ListSlotHistory(c.state, c.options.slot);
  std::ostream& out = c.streams.out;
  if (c.options.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const VersionInfo& v : versions) {
      const bool usable = v.fault.empty();
      list.push_back({{"version", v.number},
                      {"file", v.path},
                      {"time", usable ? nlohmann::json(FormatTime(v.time, true)) : nlohmann::json(nullptr)},
                      {"picture", usable && !v.picture.empty() ? nlohmann::json(v.picture) : nlohmann::json(nullptr)},
                      {"original", v.original ? nlohmann::json(*v.original) : nlohmann::json(nullptr)},
                      {"damaged", usable ? nlohmann::json(nullptr) : nlohmann::json(v.fault)}});
    }
    out << nlohmann::json{{"slot", c.options.slot}, {"versions", list}}.dump(2) << '\n';
    return 0;
  }
  out << "slot " << c.options.slot << ": " << versions.size() << (versions.size() == 1 ? " version" : " versions")
      << " kept, newest first\n";
  if (versions.empty()) return 0;
  out << "version  kept                 original  picture\n";
  for (const VersionInfo& v : versions) {
    out << std::left << std::setw(9) << v.number;
    if (!v.fault.empty()) {
      out << "(this file " << v.fault << ")\n";
      continue;
    }
    out << std::setw(21) << FormatTime(v.time, false) << std::setw(10)
        << (v.original ? (*v.original ? "yes" : "no") : "unknown") << v.picture << '\n';
  }
  return 0;
}

// The installations start-up could use, one per line or as a JSON document.
int Games(const CliOptions& options, const CliStreams& streams, const StartupOptions& startup) {
  const std::vector<Installation> found = ListInstallations(startup);
  nlohmann::json list = nlohmann::json::array();
  if (found.empty() && !options.json) streams.out << "No installation of the game was found.\n";
  for (const Installation& i : found) {
    if (!options.json) {
      streams.out << LauncherName(i.launcher) << "  " << (i.prefix.empty() ? "-" : i.prefix) << "  " << i.game
                  << (i.textures ? "" : "  (no textures.mw4)") << '\n';
    }
    list.push_back({{"launcher", LauncherName(i.launcher)},
                    {"prefix", i.prefix.empty() ? nlohmann::json(nullptr) : nlohmann::json(i.prefix)},
                    {"game", i.game},
                    {"textures", i.textures}});
  }
  if (options.json) streams.out << nlohmann::json{{"installations", list}}.dump(2) << '\n';
  return 0;
}

CLI::Option* AddSlot(CLI::App* command, int& slot, const std::string& what = "Skin slot, 9 to 37") {
  return command->add_option("--slot", slot, what)->check(CLI::Range(kFirstMenuSlot, kLastMenuSlot));
}

}  // namespace

int RunCli(const std::vector<const char*>& argv, const CliStreams& streams, const PictureCodecs& codecs) {
  CLI::App app{"Quorlin: puts a 512x512 picture into a Mechwarrior Vengeance skin slot.", "quorlin-cli"};
  app.set_version_flag("--version", std::string(kVersionText));
  app.require_subcommand(1, 1);

  CliOptions o;
  [[maybe_unused]] CLI::Option* game =
      app.add_option("--game", o.gameDir, "The game's installation folder (the one holding resource)");
#ifndef _WIN32
  app.add_option("--prefix", o.prefix, "The Wine prefix the game is installed in")->excludes(game);
#endif
  using Run = int (*)(Command&);
  std::map<CLI::App*, Run> commands;
  const auto add = [&](const char* name, const char* what, Run run) {
    CLI::App* command = app.add_subcommand(name, what);
    commands[command] = run;
    return command;
  };

  CLI::App* games = app.add_subcommand("games", "List the installations of the game that can be used");
  games->add_flag("--json", o.json, "Print a JSON document");
  add("status", "Show, per slot 9..37, whether the archives are prepared", Status)
      ->add_flag("--json", o.json, "Print a JSON document");
  add("index", "Show the skin index (building it when needed)", Index)
      ->add_flag("--rebuild", o.rebuild, "Build and save the index anew");

  CLI::App* insert = add("insert", "Insert a 512x512 picture into a skin slot", Insert);
  AddSlot(insert, o.slot)->required();
  insert->add_option("--filter", o.filter, "How smaller levels are made: nearest (as the window) or box")
      ->check(CLI::IsMember({"nearest", "box"}));
  insert->add_flag("--fit", o.fit, "Scale a larger square picture (up to 4096x4096) down to 512x512");
  insert->add_option("PICTURE", o.picture, "Bitmap, JPEG, PNG or uncompressed 24-bit Targa file")->required();

  CLI::App* restore = add("restore", "Copy the backups back over the archives", Restore);
  restore->add_flag("--yes", o.yes, "Do not ask before restoring");
  AddSlot(restore, o.slot, "Restore only this slot's entries, in place");

  CLI::App* extract = add("extract", "Write a slot's stored entries to files", Extract);
  AddSlot(extract, o.slot)->required();
  extract->add_option("--out", o.outDir, "Folder to write into")->required();
  extract->add_flag("--png", o.png, "Write PNG files instead of the stored Targa bytes");

  CLI::App* history = add("history", "List the versions kept of a slot, newest first", History);
  AddSlot(history, o.slot)->required();
  history->add_flag("--json", o.json, "Print a JSON document");

  CLI::App* undo = add("undo", "Bring a slot back to its newest kept version", Undo);
  AddSlot(undo, o.slot)->required();
  undo->add_flag("--yes", o.yes, "Do not ask before writing");

  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, streams.out, streams.err);
    return code == 0 ? 0 : 2;
  }
  for (CLI::App* asking : {restore, undo}) {
    if (*asking && !o.yes && !streams.inIsTerminal) {
      streams.err << asking->get_name() << " asks before it overwrites the archives: without a terminal, pass --yes\n";
      return 2;
    }
  }

  // With --json standard output holds the document alone.
  const bool document = o.json && !*games;
  Terminal ui(document ? streams.err : streams.out, streams, o.yes);
  // Where the game is: as given, else as the window finds it, the folder chosen there
  // first (the command line only reads the settings, never writes them).
  StartupOptions given;
  if (!o.gameDir.empty()) given.GameDir = o.gameDir;
  if (!o.prefix.empty()) given.WinePrefix = o.prefix;
  StartupOptions startup = ResolveStartupOptions(given, SettingsFile().Load(ui));
  // Several installations: the command line does not guess which one is meant.
  startup.Choose = [&](const std::vector<Installation>& found) -> std::optional<size_t> {
    streams.err << "The game is installed in several Wine prefixes; choose one with --prefix DIR (or --game DIR):\n";
    for (const Installation& i : found)
      streams.err << "  " << i.prefix << "  (" << LauncherName(i.launcher) << ": " << i.game << ")\n";
    return std::nullopt;
  };
  if (*games) return Games(o, streams, startup);

  ProgramState state;
  if (const Outcome started = StartUp(state, ui, startup).outcome; started != Outcome::Done) return ExitCode(started);
  Command command{o, streams, codecs, ui, state};
  try {
    for (const auto& [subcommand, run] : commands) {
      if (*subcommand) return run(command);
    }
    return 2;
  } catch (const QuorlinError& e) {
    streams.err << text::ErrorReport(e.number(), e.what()) << '\n';
    return 1;
  }
}

}  // namespace quorlin
