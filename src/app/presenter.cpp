#include "app/presenter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <utility>

#include "app/slot_tools.h"
#include "base/error.h"
#include "platform/paths.h"
#include "base/texts.h"

namespace quorlin {

namespace {

const std::vector<FileFilter> kOpenFilters = {{"All Formats (*.bmp *.tga *.jpg *.png)", "*.bmp;*.tga;*.jpg;*.png"},
                                              {"Windows Bitmap (*.bmp)", "*.bmp"},
                                              {"Jpeg File (*.jpg)", "*.jpg"},
                                              {"Targa File (*.tga)", "*.tga"},
                                              {"PNG Image (*.png)", "*.png"}};

}  // namespace

WindowHooks HooksFromEnvironment() {
  WindowHooks hooks;
  const std::string answer = EnvironmentValue("QUORLIN_TEST_AUTO_ANSWER");
  if (answer == "yes" || answer == "no") {
    const MessageAnswer toQuestions = answer == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
    hooks.AnswerMessage = [toQuestions](const std::string& text, const std::string& title, MessageIcon,
                                        MessageButtons buttons) {
      std::fprintf(stderr, "message: %s: %s\n", title.c_str(), text.c_str());
      std::fflush(stderr);
      return buttons == MessageButtons::YesNo ? toQuestions : MessageAnswer::Ok;
    };
    hooks.FirstShown = [] {
      std::fprintf(stderr, "window shown\n");
      std::fflush(stderr);
    };
  } else if (!answer.empty()) {
    std::fprintf(stderr, "QUORLIN_TEST_AUTO_ANSWER must be yes or no; message boxes are shown as usual\n");
  }
  if (const std::string record = EnvironmentValue("QUORLIN_TEST_ELEVATE"); !record.empty()) {
    hooks.LaunchAsAdministrator = [record](const Launch& launch) {
      if (FILE* file = std::fopen(record.c_str(), "w")) {
        std::fprintf(file, "runas %s %s\n", launch.Program.c_str(), launch.Arguments.c_str());
        std::fclose(file);
      }
    };
  }
  if (const std::string folder = EnvironmentValue("QUORLIN_TEST_FOLDER"); !folder.empty()) {
    hooks.ChooseFolder = [folder, used = false]() mutable -> std::optional<std::string> {
      if (folder == "cancel" || std::exchange(used, true)) return std::nullopt;
      return folder;
    };
  }
  if (const std::string choice = EnvironmentValue("QUORLIN_TEST_CHOOSE"); !choice.empty()) {
    hooks.ChooseInstallation = [choice](const std::vector<Installation>& found) -> std::optional<size_t> {
      for (const Installation& i : found) {
        std::fprintf(stderr, "installation: %s %s %s\n", LauncherName(i.Launcher), i.Prefix.c_str(), i.Game.c_str());
      }
      std::fflush(stderr);
      if (choice == "cancel") return std::nullopt;
      return static_cast<size_t>(std::strtoul(choice.c_str(), nullptr, 10));
    };
  }
  return hooks;
}

bool ParseWindowArguments(const std::vector<std::string>& args, WindowArguments& out, std::string& usage) {
  for (size_t i = 0; i < args.size(); ++i) {
    const bool option = args[i] == "--game" || args[i] == "--prefix";
    if (option && i + 1 < args.size() && !out.Startup.GameDir && !out.Startup.WinePrefix) {
      auto& target = args[i] == "--game" ? out.Startup.GameDir : out.Startup.WinePrefix;
      target = args[++i];
    } else if (!option && args[i].rfind("--", 0) != 0 && out.Picture.empty()) {
      out.Picture = args[i];
    } else {
      usage = "Usage: quorlin [--game DIR | --prefix DIR] [PICTURE]";
      return false;
    }
  }
  return true;
}

ImageBuffer SkinMenuIcon(const ImageBuffer& preview, bool changed) {
  ImageBuffer icon = preview;
  if (!changed) return icon;
  // A dot in the top right corner: orange, in a white ring, in a dark edge, so that
  // it shows on any preview.
  constexpr int kX = 26, kY = 5;
  for (int y = 0; y < icon.Height; ++y) {
    for (int x = 0; x < icon.Width; ++x) {
      const int d = (x - kX) * (x - kX) + (y - kY) * (y - kY);
      if (d > 30) continue;
      uint8_t* p = icon.Pixels.data() + icon.Offset(x, y);
      const uint8_t bgr[3][3] = {{0, 140, 255}, {255, 255, 255}, {40, 40, 40}};
      const auto& c = bgr[d <= 12 ? 0 : d <= 20 ? 1 : 2];
      p[0] = c[0], p[1] = c[1], p[2] = c[2];
    }
  }
  return icon;
}

Presenter::Presenter(WindowView& view, PictureDecoder decoder, WindowHooks hooks)
    : view_(view), decoder_(std::move(decoder)), hooks_(std::move(hooks)), settingsFile_(hooks_.SettingsFile) {}

Outcome Presenter::Form_Load() {
  settings_ = settingsFile_.Load(*this);
  view_.SetSmoothLevelsChecked(settings_.SmoothLevels);
  const Outcome outcome = StartOn(ResolveStartupOptions(hooks_.Startup, settings_));
  return outcome == Outcome::EndProgram ? outcome : Outcome::Done;
}

Outcome Presenter::StartOn(const StartupOptions& given) {
  StartupOptions options = given;
  options.Choose = hooks_.ChooseInstallation
                       ? hooks_.ChooseInstallation
                       : [this](const std::vector<Installation>& found) { return view_.ChooseInstallation(found); };
  StartupResult result;
  std::vector<SlotLook> looks;
  const auto startUp = [&] {
    // A new start on a game keeps only the picture.
    ProgramState fresh;
    fresh.LoadedImage = std::move(state_.LoadedImage);
    fresh.LoadedPictureName = std::move(state_.LoadedPictureName);
    state_ = std::move(fresh);
    view_.SetTitle(WindowTitle());
    result = StartUp(state_, *this, options);
    // What each slot holds, read while the archives start-up read are open.
    if (result.Outcome == Outcome::Done) looks = ReadLooks();
    return result.Outcome;
  };
  Outcome outcome = Execute(startUp);
  // No game found: the player may point at it, and the start is made on that folder.
  while (outcome == Outcome::EndProgram && result.GameNotFound) {
    if (ShowMessage(text::kChooseGameFolder, text::kProgramTitle, MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes) {
      break;
    }
    const auto folder = ChooseGameFolder();
    if (!folder) break;
    options.GameDir = *folder;
    options.WinePrefix.reset();
    outcome = Execute(startUp);
  }
  if (outcome == Outcome::EndProgram) {
    EndProgram(1);
    return outcome;
  }
  TickSelectedSlot();
  ShowLooks(looks);
  return outcome;
}

std::optional<std::string> Presenter::ChooseGameFolder() {
  for (;;) {
    const std::string start = state_.Game.MechPath.empty() ? std::string() : state_.Game.NativeGamePath("");
    const auto folder = hooks_.ChooseFolder ? hooks_.ChooseFolder() : view_.AskForFolder(text::kGameFolderTitle, start);
    if (!folder || folder->empty()) return std::nullopt;
    const MissingArchives missing = ArchivesMissingIn(*folder);
    if (!missing.Any()) {
      settings_.GameFolder = *folder;
      settingsFile_.Save(settings_, *this);
      return folder;
    }
    Tell(text::NotAGameFolder(*folder, missing.Textures, missing.Props), MessageIcon::Critical);
  }
}

void Presenter::mnufileGameFolder_Click() {
  const auto folder = ChooseGameFolder();
  if (!folder) return;
  SetStatus(text::kReady, true);
  StartupOptions options;
  options.GameDir = *folder;
  if (StartOn(options) == Outcome::Done && state_.LoadedImage.BitsPerPixel != 0) {
    SetStatus(text::kTextureLoaded, false);
  }
}

std::vector<SlotLook> Presenter::ReadLooks() {
  // The icons only show what is there: a slot that cannot be read has none, and the
  // command that next reads it says why.
  try {
    return ReadSlotLooks(state_);
  } catch (const std::exception&) {
    return {};
  }
}

void Presenter::ShowLooks(const std::vector<SlotLook>& looks) {
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    const auto look = std::find_if(looks.begin(), looks.end(), [slot](const SlotLook& l) { return l.Slot == slot; });
    if (look != looks.end() && look->Preview) {
      const ImageBuffer icon = SkinMenuIcon(*look->Preview, look->Changed.value_or(false));
      view_.SetSkinItemIcon(slot, &icon);
    } else {
      view_.SetSkinItemIcon(slot, nullptr);
    }
  }
}

std::string Presenter::ShowAndStartTestAids(const std::string& picture) {
  ShowWindow();
  if (!picture.empty()) OpenPictureFile(picture);
  if (const std::string aid = EnvironmentValue("QUORLIN_TEST_PICTURE"); !aid.empty()) OpenPictureFile(aid);
  return EnvironmentValue("QUORLIN_TEST_SCREENSHOT");
}

void Presenter::mnufileopen_Click() {
  // The dialog starts where the last picture was, while that folder is there.
  std::string start;
  if (settings_.PictureFolder) {
    std::error_code ec;
    if (std::filesystem::is_directory(FsPath(*settings_.PictureFolder), ec)) start = *settings_.PictureFolder;
  }
  const auto path =
      hooks_.ChoosePicture ? hooks_.ChoosePicture() : view_.AskForPicture(text::kOpenTitle, kOpenFilters, start);
  if (path && !path->empty()) OpenPictureFile(*path);
}

void Presenter::OpenPictureFile(const std::string& nativePath) {
  const std::string folder = FromFsPath(FsPath(nativePath).parent_path());
  if (!folder.empty() && settings_.PictureFolder != folder) {
    settings_.PictureFolder = folder;
    settingsFile_.Save(settings_, *this);
  }
  Run([&] {
    return OpenPicture(state_, *this, nativePath, decoder_, ScaleDown::Ask,
                       [this](const ImageBuffer* picture) { view_.ShowPicture(picture); });
  });
}

void Presenter::DropFiles(const std::vector<std::string>& nativePaths) {
  std::error_code ec;
  if (nativePaths.size() != 1 || !std::filesystem::is_regular_file(FsPath(nativePaths[0]), ec)) {
    Tell(text::kDropOnePicture, MessageIcon::None);
    return;
  }
  OpenPictureFile(nativePaths[0]);
}

void Presenter::mnueditSmooth_Click() {
  settings_.SmoothLevels = !settings_.SmoothLevels;
  view_.SetSmoothLevelsChecked(settings_.SmoothLevels);
  settingsFile_.Save(settings_, *this);
}

void Presenter::mnufileexit_Click() { EndProgram(0); }

void Presenter::mnueditInsert_Click() {
  RunAndRefresh([&] {
    return InsertIntoSelectedSlot(state_, *this, settings_.SmoothLevels ? LevelFilter::Box : LevelFilter::Nearest);
  });
}

void Presenter::mnueditRestore_Click() {
  RunAndRefresh([&] { return RestoreOriginals(state_, *this); });
}

void Presenter::mnueditRestoreSlot_Click() {
  RunAndRefresh([&] { return RestoreSlot(state_, *this, state_.SelectedSlot); });
}

void Presenter::mnueditUndo_Click() {
  RunAndRefresh([&] { return UndoLastChange(state_, *this, state_.SelectedSlot); });
}


void Presenter::skinl_Click(int Index) {
  SelectSlot(state_, static_cast<int16_t>(Index));
  TickSelectedSlot();
}

void Presenter::TickSelectedSlot() {
  for (int i = kFirstMenuSlot; i <= kLastMenuSlot; ++i) view_.SetSkinItemChecked(i, i == state_.SelectedSlot);
}

Outcome Presenter::Execute(const std::function<Outcome()>& command) {
  // A file that changed while the window waited may still have its old length and
  // modification time: every command opens the archives and reads them afresh, and
  // closes them when it ends, so that no file stays open while the window waits.
  state_.Archives.Close();
  Outcome outcome = Outcome::Done;
  // The commands report their own failures; anything that still escapes ends the
  // program with a report rather than leaving it in an unknown state.
  try {
    outcome = command();
  } catch (const QuorlinError& e) {
    SetBusy(false);
    Tell(text::ErrorReport(e.Number(), e.what()), MessageIcon::Critical);
    outcome = Outcome::EndProgram;
  } catch (const std::exception& e) {
    SetBusy(false);
    Tell(std::string("Error\n") + e.what(), MessageIcon::Critical);
    outcome = Outcome::EndProgram;
  }
  state_.Archives.Close();
  view_.CloseProgress();  // a copy that failed half-way leaves no progress window behind
  return outcome;
}

void Presenter::Run(const std::function<Outcome()>& command) {
  if (Execute(command) == Outcome::EndProgram) EndProgram(1);
}

void Presenter::RunAndRefresh(const std::function<Outcome()>& command) {
  std::vector<SlotLook> looks;
  Run([&] {
    const Outcome outcome = command();
    if (outcome != Outcome::EndProgram) looks = ReadLooks();
    return outcome;
  });
  if (!closed_) ShowLooks(looks);
}

void Presenter::EndProgram(int status) {
  exitStatus_ = handedOver_ ? 0 : status;  // a run that handed over to an elevated one ends well
  closed_ = true;
  view_.Close();
}

MessageAnswer Presenter::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                     MessageButtons buttons) {
  if (hooks_.AnswerMessage) return hooks_.AnswerMessage(text, title, icon, buttons);
  return view_.ShowMessage(text, title, icon, buttons);
}

void Presenter::SetBusy(bool busy) {
  // The commands may ask for the same state twice; the toolkit hears of changes only.
  if (busy == busy_) return;
  busy_ = busy;
  view_.SetBusy(busy);
  if (!busy) view_.CloseProgress();
}

void Presenter::CannotWrite(const std::string& explanation) {
#ifdef _WIN32
  // The game lies in a folder Windows protects: offered to start again as
  // administrator, with the same arguments. Either way this run ends.
  const std::string question = explanation + "\n\n" + text::kProtectedFolder + " " + text::kRestartAsAdministrator;
  if (ShowMessage(question, text::kProgramTitle, MessageIcon::Critical, MessageButtons::YesNo) == MessageAnswer::Yes) {
    const Launch launch = ThisProgram();
    if (hooks_.LaunchAsAdministrator) {
      hooks_.LaunchAsAdministrator(launch);
      handedOver_ = true;
    } else {
      handedOver_ = LaunchAsAdministrator(launch);
    }
  }
#else
  Tell(explanation + "\n\n" + text::kGiveWritePermission, MessageIcon::Critical);
#endif
}

bool Presenter::CopyProgress(const std::string& what, uint64_t copied, uint64_t total) {
  // In thousandths, so that files of any length fit a progress bar's int.
  const int thousandths =
      total ? static_cast<int>(static_cast<long double>(copied) * 1000 / static_cast<long double>(total)) : 0;
  const bool goOn = view_.ShowProgress(what, thousandths);
  if (!goOn || copied >= total) view_.CloseProgress();
  return goOn;
}

void Presenter::ShowWindow() {
  view_.Show();
  if (!shown_) {
    shown_ = true;
    if (hooks_.FirstShown) hooks_.FirstShown();
  }
}

}  // namespace quorlin
