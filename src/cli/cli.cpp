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
      streams_.Err << line << '\n' << std::flush;
      return MessageAnswer::Ok;
    }
    if (assumeYes_) {
      streams_.Err << line << " yes\n" << std::flush;
      return MessageAnswer::Yes;
    }
    streams_.Err << line << " [y/N] " << std::flush;
    // Only an explicit yes answers yes: an empty line, the end of input or any other
    // text is No.
    std::string answer;
    std::getline(streams_.In, answer);
    answer = LowerAscii(TrimSpaces(answer));
    return answer == "y" || answer == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
  }

  void SetBusy(bool) override {}
  void CannotWrite(const std::string& explanation) override {
#ifdef _WIN32
    streams_.Err << explanation << "\n" << text::kProtectedFolder << ' ' << text::kAdministratorPrompt << '\n';
#else
    streams_.Err << explanation << "\n" << text::kGiveWritePermission << '\n';
#endif
  }
  void Notice(const std::string& text) override { streams_.Err << text << '\n' << std::flush; }

 private:
  std::ostream& status_;
  const CliStreams& streams_;
  bool assumeYes_;
};

// Everything the command line can be given; each subcommand reads its own part.
struct CliOptions {
  std::string GameDir, Prefix;  // where the game is (both empty: as the window finds it)
  bool Json = false;            // games, status, history
  bool Rebuild = false;         // index
  int Slot = 0;                 // insert, restore (0: every slot), extract, history, undo
  std::string Picture;          // insert
  std::string Filter = "nearest";
  bool Fit = false;    // a larger square picture scaled down to 512x512
  bool Yes = false;    // restore, undo
  std::string OutDir;  // extract
  bool Png = false;
};

// What a subcommand works with once start-up has run.
struct Command {
  const CliOptions& Options;
  const CliStreams& Streams;
  const PictureCodecs& Codecs;
  Terminal& Ui;
  ProgramState& State;
};

int ExitCode(Outcome outcome) { return outcome == Outcome::Done ? 0 : 1; }

int Status(Command& c) {
  const auto rows = ReadSlotStatus(c.State);
  std::ostream& out = c.Streams.Out;
  if (!c.Options.Json) {
    out << "game: " << c.State.Game.MechPath << '\n';
    out << "slot  textures      props         differs from backup\n";
    for (const SlotStatus& r : rows) {
      out << std::left << std::setw(6) << r.Slot << std::setw(14) << (r.TexturesPrepared ? "prepared" : "not prepared")
          << std::setw(14) << (r.PropsPrepared ? "prepared" : "not prepared")
          << (r.DiffersFromBackup ? (*r.DiffersFromBackup ? "yes" : "no") : "unknown (no backup)") << '\n';
    }
    return 0;
  }
  nlohmann::json slots = nlohmann::json::array();
  for (const SlotStatus& r : rows) {
    slots.push_back({{"slot", r.Slot},
                     {"textures_prepared", r.TexturesPrepared},
                     {"props_prepared", r.PropsPrepared},
                     {"differs_from_backup",
                      r.DiffersFromBackup ? nlohmann::json(*r.DiffersFromBackup) : nlohmann::json(nullptr)}});
  }
  // The native file behind each archive and backup (on Windows perhaps a VirtualStore copy).
  nlohmann::json files;
  for (const std::string file : {kTexturesArchive, kPropsArchive}) {
    files[file] = c.State.Game.NativeGamePath(file);
    files[file + "b"] = c.State.Game.NativeGamePath(file + "b");
  }
  out << nlohmann::json{{"game", c.State.Game.MechPath}, {"files", files}, {"slots", slots}}.dump(2) << '\n';
  return 0;
}

int Index(Command& c) {
  if (c.Options.Rebuild) {
    FolderLock lock;
    if (PrepareToWrite(c.State.Game, c.Ui, lock, {kTexturesIndexFile, kPropsIndexFile}) != Outcome::Done) return 1;
    c.Ui.SetStatus(text::kIndexing, true);
    BuildSkinIndex(c.State, c.Ui);
    SaveSkinIndex(c.State);
    c.Ui.SetStatus(text::kReady, true);
  }
  std::ostream& out = c.Streams.Out;
  out << "slot  textures levels 0..5                 props\n";
  for (int s = 1; s <= kSlotCount; ++s) {
    out << std::left << std::setw(6) << s;
    for (int l = 0; l < kLevelCount; ++l) out << std::setw(7) << c.State.Index.TexturesSkinIndex[s][l];
    out << c.State.Index.PropsSkinIndex[s] << '\n';
  }
  return 0;
}

int Insert(Command& c) {
  if (const Outcome opened = OpenPicture(c.State, c.Ui, c.Options.Picture, c.Codecs.Decode,
                                         c.Options.Fit ? ScaleDown::Always : ScaleDown::Never);
      opened != Outcome::Done) {
    return ExitCode(opened);
  }
  SelectSlot(c.State, static_cast<int16_t>(c.Options.Slot));
  return ExitCode(
      InsertIntoSelectedSlot(c.State, c.Ui, c.Options.Filter == "box" ? LevelFilter::Box : LevelFilter::Nearest));
}

int Restore(Command& c) {
  return ExitCode(c.Options.Slot != 0 ? RestoreSlot(c.State, c.Ui, c.Options.Slot) : RestoreOriginals(c.State, c.Ui));
}

int Extract(Command& c) {
  return ExitCode(
      ExtractSlot(c.State, c.Ui, c.Options.Slot, c.Options.OutDir, c.Options.Png ? c.Codecs.WritePng : PngWriter()));
}

int Undo(Command& c) { return ExitCode(UndoLastChange(c.State, c.Ui, c.Options.Slot)); }

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
  const auto versions = ListSlotHistory(c.State, c.Options.Slot);
  std::ostream& out = c.Streams.Out;
  if (c.Options.Json) {
    nlohmann::json list = nlohmann::json::array();
    for (const VersionInfo& v : versions) {
      const bool usable = v.Fault.empty();
      list.push_back({{"version", v.Number},
                      {"file", v.Path},
                      {"time", usable ? nlohmann::json(FormatTime(v.Time, true)) : nlohmann::json(nullptr)},
                      {"picture", usable && !v.Picture.empty() ? nlohmann::json(v.Picture) : nlohmann::json(nullptr)},
                      {"original", v.Original ? nlohmann::json(*v.Original) : nlohmann::json(nullptr)},
                      {"damaged", usable ? nlohmann::json(nullptr) : nlohmann::json(v.Fault)}});
    }
    out << nlohmann::json{{"slot", c.Options.Slot}, {"versions", list}}.dump(2) << '\n';
    return 0;
  }
  out << "slot " << c.Options.Slot << ": " << versions.size() << (versions.size() == 1 ? " version" : " versions")
      << " kept, newest first\n";
  if (versions.empty()) return 0;
  out << "version  kept                 original  picture\n";
  for (const VersionInfo& v : versions) {
    out << std::left << std::setw(9) << v.Number;
    if (!v.Fault.empty()) {
      out << "(this file " << v.Fault << ")\n";
      continue;
    }
    out << std::setw(21) << FormatTime(v.Time, false) << std::setw(10)
        << (v.Original ? (*v.Original ? "yes" : "no") : "unknown") << v.Picture << '\n';
  }
  return 0;
}

// The installations start-up could use, one per line or as a JSON document.
int Games(const CliOptions& options, const CliStreams& streams, const StartupOptions& startup) {
  const std::vector<Installation> found = ListInstallations(startup);
  nlohmann::json list = nlohmann::json::array();
  if (found.empty() && !options.Json) streams.Out << "No installation of the game was found.\n";
  for (const Installation& i : found) {
    if (!options.Json) {
      streams.Out << LauncherName(i.Launcher) << "  " << (i.Prefix.empty() ? "-" : i.Prefix) << "  " << i.Game
                  << (i.Textures ? "" : "  (no textures.mw4)") << '\n';
    }
    list.push_back({{"launcher", LauncherName(i.Launcher)},
                    {"prefix", i.Prefix.empty() ? nlohmann::json(nullptr) : nlohmann::json(i.Prefix)},
                    {"game", i.Game},
                    {"textures", i.Textures}});
  }
  if (options.Json) streams.Out << nlohmann::json{{"installations", list}}.dump(2) << '\n';
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
      app.add_option("--game", o.GameDir, "The game's installation folder (the one holding resource)");
#ifndef _WIN32
  app.add_option("--prefix", o.Prefix, "The Wine prefix the game is installed in")->excludes(game);
#endif
  using Run = int (*)(Command&);
  std::map<CLI::App*, Run> commands;
  const auto add = [&](const char* name, const char* what, Run run) {
    CLI::App* command = app.add_subcommand(name, what);
    commands[command] = run;
    return command;
  };

  CLI::App* games = app.add_subcommand("games", "List the installations of the game that can be used");
  games->add_flag("--json", o.Json, "Print a JSON document");
  add("status", "Show, per slot 9..37, whether the archives are prepared", Status)
      ->add_flag("--json", o.Json, "Print a JSON document");
  add("index", "Show the skin index (building it when needed)", Index)
      ->add_flag("--rebuild", o.Rebuild, "Build and save the index anew");

  CLI::App* insert = add("insert", "Insert a 512x512 picture into a skin slot", Insert);
  AddSlot(insert, o.Slot)->required();
  insert->add_option("--filter", o.Filter, "How smaller levels are made: nearest (as the window) or box")
      ->check(CLI::IsMember({"nearest", "box"}));
  insert->add_flag("--fit", o.Fit, "Scale a larger square picture (up to 4096x4096) down to 512x512");
  insert->add_option("PICTURE", o.Picture, "Bitmap, JPEG, PNG or uncompressed 24-bit Targa file")->required();

  CLI::App* restore = add("restore", "Copy the backups back over the archives", Restore);
  restore->add_flag("--yes", o.Yes, "Do not ask before restoring");
  AddSlot(restore, o.Slot, "Restore only this slot's entries, in place");

  CLI::App* extract = add("extract", "Write a slot's stored entries to files", Extract);
  AddSlot(extract, o.Slot)->required();
  extract->add_option("--out", o.OutDir, "Folder to write into")->required();
  extract->add_flag("--png", o.Png, "Write PNG files instead of the stored Targa bytes");

  CLI::App* history = add("history", "List the versions kept of a slot, newest first", History);
  AddSlot(history, o.Slot)->required();
  history->add_flag("--json", o.Json, "Print a JSON document");

  CLI::App* undo = add("undo", "Bring a slot back to its newest kept version", Undo);
  AddSlot(undo, o.Slot)->required();
  undo->add_flag("--yes", o.Yes, "Do not ask before writing");

  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, streams.Out, streams.Err);
    return code == 0 ? 0 : 2;
  }
  for (CLI::App* asking : {restore, undo}) {
    if (*asking && !o.Yes && !streams.InIsTerminal) {
      streams.Err << asking->get_name() << " asks before it overwrites the archives: without a terminal, pass --yes\n";
      return 2;
    }
  }

  // With --json standard output holds the document alone.
  const bool document = o.Json && !*games;
  Terminal ui(document ? streams.Err : streams.Out, streams, o.Yes);
  // Where the game is: as given, else as the window finds it, the folder chosen there
  // first (the command line only reads the settings, never writes them).
  StartupOptions given;
  if (!o.GameDir.empty()) given.GameDir = o.GameDir;
  if (!o.Prefix.empty()) given.WinePrefix = o.Prefix;
  StartupOptions startup = ResolveStartupOptions(given, SettingsFile().Load(ui));
  // Several installations: the command line does not guess which one is meant.
  startup.Choose = [&](const std::vector<Installation>& found) -> std::optional<size_t> {
    streams.Err << "The game is installed in several Wine prefixes; choose one with --prefix DIR (or --game DIR):\n";
    for (const Installation& i : found)
      streams.Err << "  " << i.Prefix << "  (" << LauncherName(i.Launcher) << ": " << i.Game << ")\n";
    return std::nullopt;
  };
  if (*games) return Games(o, streams, startup);

  ProgramState state;
  if (const Outcome started = StartUp(state, ui, startup).Outcome; started != Outcome::Done) return ExitCode(started);
  Command command{o, streams, codecs, ui, state};
  try {
    for (const auto& [subcommand, run] : commands) {
      if (*subcommand) return run(command);
    }
    return 2;
  } catch (const QuorlinError& e) {
    streams.Err << text::ErrorReport(e.Number(), e.what()) << '\n';
    return 1;
  }
}

}  // namespace quorlin
