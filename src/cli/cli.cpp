#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "app/commands.h"
#include "app/slot_tools.h"
#include "archive/safe_writes.h"
#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "platform/texts.h"
#include "quorlin/version.h"

namespace quorlin {

namespace {

// The terminal as the program's front end: status texts on one stream, messages
// on standard error ("TITLE: TEXT" when the box has its own title).
class TerminalShell : public WindowShell {
 public:
  TerminalShell(std::ostream& status, const CliStreams& streams, bool assumeYes)
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

int ExitCode(Outcome outcome) { return outcome == Outcome::Done ? 0 : 1; }

void PrintStatusText(std::ostream& out, const std::string& game, const std::vector<SlotStatus>& rows) {
  out << "game: " << game << '\n';
  out << "slot  textures      props         differs from backup\n";
  for (const SlotStatus& r : rows) {
    out << std::left << std::setw(6) << r.slot << std::setw(14) << (r.texturesPrepared ? "prepared" : "not prepared")
        << std::setw(14) << (r.propsPrepared ? "prepared" : "not prepared")
        << (r.differsFromBackup ? (*r.differsFromBackup ? "yes" : "no") : "unknown (no backup)") << '\n';
  }
}

void PrintStatusJson(std::ostream& out, const GameLocation& game, const std::vector<SlotStatus>& rows) {
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
    files[file] = game.NativeGamePath(file);
    files[file + "b"] = game.NativeGamePath(file + "b");
  }
  out << nlohmann::json{{"game", game.MechPath}, {"files", files}, {"slots", slots}}.dump(2) << '\n';
}

void PrintIndex(std::ostream& out, const SkinIndex& index) {
  out << "slot  textures levels 0..5                 props\n";
  for (int s = 1; s <= kSlotCount; ++s) {
    out << std::left << std::setw(6) << s;
    for (int l = 0; l < kLevelCount; ++l) out << std::setw(7) << index.TexturesSkinIndex[s][l];
    out << index.PropsSkinIndex[s] << '\n';
  }
}

#ifndef _WIN32
// The installations found, one per line or as a JSON document.
void PrintInstallations(std::ostream& out, const std::vector<Installation>& found, bool json) {
  nlohmann::json list = nlohmann::json::array();
  if (found.empty() && !json) out << "No installation of the game was found in the Wine prefixes.\n";
  for (const Installation& i : found) {
    if (!json)
      out << LauncherName(i.launcher) << "  " << i.prefix << "  " << i.game << (i.textures ? "" : "  (no textures.mw4)")
          << '\n';
    list.push_back(
        {{"launcher", LauncherName(i.launcher)}, {"prefix", i.prefix}, {"game", i.game}, {"textures", i.textures}});
  }
  if (json) out << nlohmann::json{{"installations", list}}.dump(2) << '\n';
}
#endif

}  // namespace

int RunCli(const std::vector<const char*>& argv, const CliStreams& streams, const PictureCodecs& codecs) {
  CLI::App app{"Quorlin: puts a 512x512 picture into a Mechwarrior Vengeance skin slot.", "quorlin-cli"};
  app.set_version_flag("--version", std::string(kVersionText));
  app.require_subcommand(1, 1);

  std::string gameDir, prefix;
  [[maybe_unused]] CLI::Option* game =
      app.add_option("--game", gameDir, "The game's installation folder (the one holding resource)");
#ifndef _WIN32
  app.add_option("--prefix", prefix, "The Wine prefix the game is installed in")->excludes(game);
  bool gamesJson = false;
  CLI::App* games = app.add_subcommand("games", "List the installations of the game found in Wine prefixes");
  games->add_flag("--json", gamesJson, "Print a JSON document");
#endif

  bool json = false;
  CLI::App* status = app.add_subcommand("status", "Show, per slot 9..37, whether the archives are prepared");
  status->add_flag("--json", json, "Print a JSON document");

  bool rebuild = false;
  CLI::App* index = app.add_subcommand("index", "Show the skin index (building it when needed)");
  index->add_flag("--rebuild", rebuild, "Build and save the index anew");

  int slot = 0;
  std::string picture;
  std::string filterName = "nearest";
  CLI::App* insert = app.add_subcommand("insert", "Insert a 512x512 picture into a skin slot");
  insert->add_option("--slot", slot, "Skin slot, 9 to 37")
      ->required()
      ->check(CLI::Range(kFirstMenuSlot, kLastMenuSlot));
  insert->add_option("--filter", filterName, "How smaller levels are made: nearest (as the window) or box")
      ->check(CLI::IsMember({"nearest", "box"}));
  insert->add_option("PICTURE", picture, "Bitmap, JPEG, PNG or uncompressed 24-bit Targa file")->required();

  bool yes = false;
  int restoreSlot = 0;
  CLI::App* restore = app.add_subcommand("restore", "Copy the backups back over the archives");
  restore->add_flag("--yes", yes, "Do not ask before restoring");
  restore->add_option("--slot", restoreSlot, "Restore only this slot's entries, in place")
      ->check(CLI::Range(kFirstMenuSlot, kLastMenuSlot));

  int extractSlot = 0;
  std::string outDir;
  bool png = false;
  CLI::App* extract = app.add_subcommand("extract", "Write a slot's stored entries to files");
  extract->add_option("--slot", extractSlot, "Skin slot, 9 to 37")
      ->required()
      ->check(CLI::Range(kFirstMenuSlot, kLastMenuSlot));
  extract->add_option("--out", outDir, "Folder to write into")->required();
  extract->add_flag("--png", png, "Write PNG files instead of the stored Targa bytes");

  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, streams.out, streams.err);
    return code == 0 ? 0 : 2;
  }
  if (*restore && !yes && !streams.inIsTerminal) {
    streams.err << "restore asks before it overwrites the archives: without a terminal, pass --yes\n";
    return 2;
  }

#ifndef _WIN32
  if (*games) {
    const char* home = std::getenv("HOME");
    PrintInstallations(streams.out,
                       FindInstallations(home ? home : "", prefix.empty() ? std::getenv("WINEPREFIX") : prefix.c_str()),
                       gamesJson);
    return 0;
  }
#endif

  // With --json standard output holds the document alone.
  std::ostream& statusStream = (*status && json) ? streams.err : streams.out;
  TerminalShell shell(statusStream, streams, yes);
  ProgramState state;
  StartupOptions options;
  if (!gameDir.empty()) options.GameDir = gameDir;
  if (!prefix.empty()) options.WinePrefix = prefix;
  // Several installations: the command line does not guess which one is meant.
  options.Choose = [&](const std::vector<Installation>& found) -> std::optional<size_t> {
    streams.err << "The game is installed in several Wine prefixes; choose one with --prefix DIR (or --game DIR):\n";
    for (const Installation& i : found)
      streams.err << "  " << i.prefix << "  (" << LauncherName(i.launcher) << ": " << i.game << ")\n";
    return std::nullopt;
  };
  if (const Outcome started = Form_Load(state, shell, options); started != Outcome::Done) return ExitCode(started);

  auto runCommand = [&]() -> int {
    if (*status) {
      const auto rows = ReadSlotStatus(state);
      if (json) {
        PrintStatusJson(streams.out, state.Game, rows);
      } else {
        PrintStatusText(streams.out, state.Game.MechPath, rows);
      }
      return 0;
    }
    if (*index) {
      FolderLock lock;
      if (rebuild && PrepareToWrite(state.Game, shell, lock, {kTexturesIndexFile, kPropsIndexFile}) != Outcome::Done) {
        return 1;
      }
      if (rebuild) {
        shell.SetStatus(text::kIndexing, true);
        BuildSkinIndex(state, shell);
        SaveSkinIndex(state);
        shell.SetStatus(text::kReady, true);
      }
      PrintIndex(streams.out, state.Index);
      return 0;
    }
    if (*insert) {
      if (const Outcome opened = OpenPicture(state, shell, picture, codecs.decode); opened != Outcome::Done) {
        return ExitCode(opened);
      }
      skinl_Click(state, shell, static_cast<int16_t>(slot));
      return ExitCode(mnueditInsert_Click(state, shell, filterName == "box" ? LevelFilter::Box : LevelFilter::Nearest));
    }
    if (*restore) {
      return ExitCode(restoreSlot != 0 ? RestoreSlot(state, shell, restoreSlot) : mnueditRestore_Click(state, shell));
    }
    if (*extract) {
      return ExitCode(ExtractSlot(state, shell, extractSlot, outDir, png ? codecs.writePng : PngWriter()));
    }
    return 2;
  };
  try {
    return runCommand();
  } catch (const QuorlinError& e) {
    streams.err << text::ErrorReport(e.number(), e.what()) << '\n';
    return 1;
  }
}

}  // namespace quorlin
