#include "app/presenter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/error.h"
#include "platform/texts.h"

namespace quorlin {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

const std::vector<FileFilter> kOpenFilters = {{"All Formats (*.bmp *.tga *.jpg *.png)", "*.bmp;*.tga;*.jpg;*.png"},
                                              {"Windows Bitmap (*.bmp)", "*.bmp"},
                                              {"Jpeg File (*.jpg)", "*.jpg"},
                                              {"Targa File (*.tga)", "*.tga"},
                                              {"PNG Image (*.png)", "*.png"}};

}  // namespace

WindowHooks HooksFromEnvironment() {
  WindowHooks hooks;
  const std::string answer = Environment("QUORLIN_TEST_AUTO_ANSWER");
  if (answer == "yes" || answer == "no") {
    const MessageAnswer toQuestions = answer == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
    hooks.answerMessage = [toQuestions](const std::string& text, const std::string& title, MessageIcon,
                                        MessageButtons buttons) {
      std::fprintf(stderr, "message: %s: %s\n", title.c_str(), text.c_str());
      std::fflush(stderr);
      return buttons == MessageButtons::YesNo ? toQuestions : MessageAnswer::Ok;
    };
    hooks.firstShown = [] {
      std::fprintf(stderr, "window shown\n");
      std::fflush(stderr);
    };
  } else if (!answer.empty()) {
    std::fprintf(stderr, "QUORLIN_TEST_AUTO_ANSWER must be yes or no; message boxes are shown as usual\n");
  }
  if (const std::string record = Environment("QUORLIN_TEST_ELEVATE"); !record.empty()) {
    hooks.launchAsAdministrator = [record](const Launch& launch) {
      if (FILE* file = std::fopen(record.c_str(), "w")) {
        std::fprintf(file, "runas %s %s\n", launch.program.c_str(), launch.arguments.c_str());
        std::fclose(file);
      }
    };
  }
  if (const std::string choice = Environment("QUORLIN_TEST_CHOOSE"); !choice.empty()) {
    hooks.chooseInstallation = [choice](const std::vector<Installation>& found) -> std::optional<size_t> {
      for (const Installation& i : found) {
        std::fprintf(stderr, "installation: %s %s %s\n", LauncherName(i.launcher), i.prefix.c_str(), i.game.c_str());
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
    if (option && i + 1 < args.size() && !out.startup.GameDir && !out.startup.WinePrefix) {
      auto& target = args[i] == "--game" ? out.startup.GameDir : out.startup.WinePrefix;
      target = args[++i];
    } else if (!option && args[i].rfind("--", 0) != 0 && out.picture.empty()) {
      out.picture = args[i];
    } else {
      usage = "Usage: quorlin [--game DIR | --prefix DIR] [PICTURE]";
      return false;
    }
  }
  return true;
}

Presenter::Presenter(WindowView& view, PictureDecoder decoder, WindowHooks hooks)
    : view_(view), decoder_(std::move(decoder)), hooks_(std::move(hooks)) {}

Outcome Presenter::Form_Load() {
  StartupOptions options = hooks_.startup;
  options.Choose = hooks_.chooseInstallation
                       ? hooks_.chooseInstallation
                       : [this](const std::vector<Installation>& found) { return view_.ChooseInstallation(found); };
  Outcome outcome = Outcome::EndProgram;
  Run([&] { return outcome = quorlin::Form_Load(state_, *this, options); });
  return outcome;
}

std::string Presenter::ShowAndStartTestAids(const std::string& picture) {
  ShowWindow();
  if (!picture.empty()) OpenPictureFile(picture);
  if (const std::string aid = Environment("QUORLIN_TEST_PICTURE"); !aid.empty()) OpenPictureFile(aid);
  return Environment("QUORLIN_TEST_SCREENSHOT");
}

void Presenter::mnufileopen_Click() {
  const auto path = hooks_.choosePicture ? hooks_.choosePicture() : view_.AskForPicture(text::kOpenTitle, kOpenFilters);
  if (path && !path->empty()) OpenPictureFile(*path);
}

void Presenter::OpenPictureFile(const std::string& nativePath) {
  Run([&] { return OpenPicture(state_, *this, nativePath, decoder_); });
}

void Presenter::mnufileexit_Click() { EndProgram(0); }

void Presenter::mnueditInsert_Click() {
  Run([&] { return quorlin::mnueditInsert_Click(state_, *this); });
}

void Presenter::mnueditRestore_Click() {
  Run([&] { return quorlin::mnueditRestore_Click(state_, *this); });
}

void Presenter::skinl_Click(int Index) { quorlin::skinl_Click(state_, *this, static_cast<int16_t>(Index)); }

void Presenter::Run(const std::function<Outcome()>& command) {
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
    ShowMessage(text::ErrorReport(e.number(), e.what()), text::kProgramTitle, MessageIcon::Critical,
                MessageButtons::Ok);
    outcome = Outcome::EndProgram;
  } catch (const std::exception& e) {
    SetBusy(false);
    ShowMessage(std::string("Error\n") + e.what(), text::kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    outcome = Outcome::EndProgram;
  }
  state_.Archives.Close();
  view_.CloseProgress();  // a copy that failed half-way leaves no progress window behind
  if (outcome == Outcome::EndProgram) EndProgram(1);
}

void Presenter::EndProgram(int status) {
  exitStatus_ = handedOver_ ? 0 : status;  // a run that handed over to an elevated one ends well
  view_.Close();
}

MessageAnswer Presenter::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                     MessageButtons buttons) {
  if (hooks_.answerMessage) return hooks_.answerMessage(text, title, icon, buttons);
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
    if (hooks_.launchAsAdministrator) {
      hooks_.launchAsAdministrator(launch);
      handedOver_ = true;
    } else {
      handedOver_ = LaunchAsAdministrator(launch);
    }
  }
#else
  ShowMessage(explanation + "\n\n" + text::kGiveWritePermission, text::kProgramTitle, MessageIcon::Critical,
              MessageButtons::Ok);
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
    if (hooks_.firstShown) hooks_.firstShown();
  }
}

}  // namespace quorlin
