#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/program_state.h"
#include "app/settings.h"
#include "app/slot_tools.h"
#include "platform/launch.h"

namespace quorlin {

// One entry of the Open dialog's filter list: what it shows, and its patterns.
struct FileFilter {
  std::string Label;     // "All Formats (*.bmp *.tga *.jpg *.png)"
  std::string Patterns;  // "*.bmp;*.tga;*.jpg;*.png"
};

// What a toolkit's main window does for the presenter. What each menu item does,
// every text, the order of things and the hooks of the test aids are the
// presenter's; the window only shows and asks.
class WindowView {
 public:
  virtual ~WindowView() = default;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void Show() = 0;
  // Closes the window, which ends the program with the presenter's exit status.
  virtual void Close() = 0;
  // The status line; repaintNow asks for an immediate repaint.
  virtual void SetStatus(const std::string& text, bool repaintNow) = 0;
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                    MessageButtons buttons) = 0;
  // Draws a 24-bit top-down image at the picture box's top left, one image pixel
  // per device pixel, kept until the next call; nullptr clears the box.
  virtual void ShowPicture(const ImageBuffer* image) = 0;
  virtual void SetSkinItemChecked(int index, bool checked) = 0;
  // Edit > Smooth Texture Levels' tick.
  virtual void SetSmoothLevelsChecked(bool checked) = 0;
  // The Skin menu item's icon: a 32x32 24-bit top-down image, drawn one image pixel
  // per device pixel at 96 DPI and enlarged by whole steps at higher DPI; nullptr
  // takes the icon away.
  virtual void SetSkinItemIcon(int index, const ImageBuffer* icon) = 0;
  // The Open dialog, opened at startFolder when it is not empty: the chosen file's
  // native path, or nothing when cancelled.
  virtual std::optional<std::string> AskForPicture(const std::string& title, const std::vector<FileFilter>& filters,
                                                   const std::string& startFolder) = 0;
  // The toolkit's folder dialog, opened at startFolder when it is not empty: the
  // chosen folder's native path, or nothing when cancelled.
  virtual std::optional<std::string> AskForFolder(const std::string& title, const std::string& startFolder) = 0;
  // A copy's progress in thousandths, in a window of its own that appears only
  // once the copy has lasted half a second; false when the user cancelled it.
  virtual bool ShowProgress(const std::string& what, int thousandths) = 0;
  virtual void CloseProgress() = 0;
  // The hourglass pointer over the whole application.
  virtual void SetBusy(bool busy) = 0;
  // Start-up found the game in several Wine prefixes: a list of them (launcher,
  // prefix, game folder) to choose from; nothing when cancelled. Only the Linux
  // program ever finds several.
  virtual std::optional<size_t> ChooseInstallation(const std::vector<Installation>& /*found*/) { return std::nullopt; }
};

// Ways to take the window's questions away from the user: the tests and the
// program's test aids use them. Empty members mean the ordinary behaviour.
struct WindowHooks {
  // Answers a message box instead of showing it.
  std::function<MessageAnswer(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons)>
      AnswerMessage;
  // Chooses the picture instead of the Open dialog; nothing means Cancel.
  std::function<std::optional<std::string>()> ChoosePicture;
  // Chooses the game folder instead of the folder dialog; nothing means Cancel.
  std::function<std::optional<std::string>()> ChooseFolder;
  // The settings file to use instead of the user's own (settings.json in the user's
  // settings folder).
  std::string SettingsFile;
  // Called when the window is shown for the first time.
  std::function<void()> FirstShown;
  // Windows: starts the program again as administrator instead of asking Windows
  // to (the test aids record what would have been started).
  std::function<void(const Launch& launch)> LaunchAsAdministrator;
  // Chooses among several installations instead of the window's list.
  std::function<std::optional<size_t>(const std::vector<Installation>& found)> ChooseInstallation;
  // Where start-up looks for the game.
  StartupOptions Startup;
};

// The test aids of the window programs, switched on by environment variables that
// ordinary use never sets:
//   QUORLIN_TEST_AUTO_ANSWER=yes|no   Message boxes are not shown. Each is written to
//       standard error as "message: TITLE: TEXT" and answered at once: Ok, or Yes or
//       No as the value says. The window's first showing is written as
//       "window shown".
//   QUORLIN_TEST_CHOOSE=N|cancel   Where start-up finds several installations, each
//       is written to standard error as "installation: LAUNCHER PREFIX GAME" and the
//       N-th (from 0) is chosen, or none.
//   QUORLIN_TEST_ELEVATE=FILE   Where the window would start itself again as
//       administrator (Windows), "runas PROGRAM ARGUMENTS" is written to FILE instead.
//   QUORLIN_TEST_PICTURE=FILE   After start-up FILE is opened as File > Open does
//       with the file chosen in its dialog.
//   QUORLIN_TEST_FOLDER=DIR   The folder dialog (choosing the game folder) is not
//       shown: DIR is chosen, once; "cancel" cancels it.
//   QUORLIN_TEST_SCREENSHOT=FILE   Once the window is on screen, the whole screen
//       is grabbed into FILE (a PNG, or a BMP when FILE ends in .bmp), then the
//       program ends as File > Exit does.
WindowHooks HooksFromEnvironment();

// What the window program is given: quorlin [--game DIR | --prefix DIR] [PICTURE].
struct WindowArguments {
  StartupOptions Startup;
  std::string Picture;  // opened once start-up is done, as File > Open would
};
// Reads the arguments after the program's name; false, with the usage, for others.
bool ParseWindowArguments(const std::vector<std::string>& args, WindowArguments& out, std::string& usage);

// A Skin menu item's icon: the slot's 32x32 lobby preview, with a dot in its top
// right corner when the slot differs from its backup.
ImageBuffer SkinMenuIcon(const ImageBuffer& preview, bool changed);

// The main window's logic, the same under every toolkit: it owns the program's
// state, runs each menu command (closing the archives around it and turning an
// error that escapes it into the failure report that ends the program), does
// start-up, and is the FrontEnd the commands talk through, passing what they show to
// the view.
//
// The window's handlers keep the names of its widgets (the Qt window's object names,
// the Win32 window's command ids) so that each can be traced from menu to work; the
// work itself is a verb the command line shares:
//
//   handler                    widget (Qt object / Win32 id)     verb
//   Form_Load                  frmQuorlin                         StartUp (+ remembered folder)
//   mnufileopen_Click          mnufileopen / kOpen               OpenPicture (after the dialog)
//   DropFiles                  Picture1, the whole window         OpenPicture
//   mnufileGameFolder_Click    mnufileGameFolder / kGameFolder   ArchivesMissingIn, StartUp
//   mnufileexit_Click          mnufileexit / kExit                (ends the program)
//   mnueditInsert_Click        mnueditInsert / kInsert           InsertIntoSelectedSlot
//   mnueditRestore_Click       mnueditRestore / kRestore         RestoreOriginals
//   mnueditRestoreSlot_Click   mnueditRestoreSlot / kRestoreSlot RestoreSlot
//   mnueditUndo_Click          mnueditUndo / kUndo               UndoLastChange
//   mnueditSmooth_Click        mnueditSmooth / kSmooth           (the settings' smooth_levels)
//   skinl_Click(Index)         skinl_N / kSkinBase + N           SelectSlot
class Presenter : public FrontEnd {
 public:
  // decoder: the platform's picture decoder, for File > Open.
  Presenter(WindowView& view, PictureDecoder decoder, WindowHooks hooks = {});

  // Start-up, before the window is first shown. EndProgram: the program ends with
  // status 1 without showing it.
  Outcome Form_Load();
  // Shows the window, opens the picture given at start (if any) as File > Open
  // would, and starts the test aids the environment asks for; returns the file the
  // view is to save a screen grab into (empty: none).
  std::string ShowAndStartTestAids(const std::string& picture = {});

  // The menu handlers.
  void mnufileopen_Click();
  void mnufileGameFolder_Click();
  void mnufileexit_Click();
  void mnueditInsert_Click();
  void mnueditRestore_Click();
  void mnueditRestoreSlot_Click();
  void mnueditUndo_Click();
  void mnueditSmooth_Click();
  void skinl_Click(int Index);
  // File > Open after the dialog, and a picture given at start.
  void OpenPictureFile(const std::string& nativePath);
  // Files dropped onto the window: one picture file is opened as File > Open opens
  // it; anything else is refused with one message.
  void DropFiles(const std::vector<std::string>& nativePaths);

  // 0 after File > Exit or closing the window, 1 after start-up or a command ended
  // the program.
  int ExitStatus() const { return exitStatus_; }

  // The FrontEnd of the commands.
  void SetStatus(const std::string& text, bool repaintNow) override { view_.SetStatus(text, repaintNow); }
  MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                            MessageButtons buttons) override;
  void SetBusy(bool busy) override;
  void CannotWrite(const std::string& explanation) override;
  bool CopyProgress(const std::string& what, uint64_t copied, uint64_t total) override;
  void MakeVisible() override { ShowWindow(); }

 private:
  void ShowWindow();
  // Ticks the Skin menu's item of the selected slot, and only that one.
  void TickSelectedSlot();
  // Runs a command with the archives closed around it; an error that escapes it is
  // reported as a failure that ends the program.
  Outcome Execute(const std::function<Outcome()>& command);
  // The same, ending the program when the command says so.
  void Run(const std::function<Outcome()>& command);
  // Runs a command that may change slots, then shows each slot's contents anew.
  void RunAndRefresh(const std::function<Outcome()>& command);
  void EndProgram(int status);
  // The folder dialog until a folder holding both archives is chosen (remembered in
  // the settings) or it is cancelled.
  std::optional<std::string> ChooseGameFolder();
  // Start-up on a folder, keeping the loaded picture.
  Outcome StartOn(const StartupOptions& options);
  // What each slot holds (nothing where that cannot be read), and the Skin menu's
  // icons and marks showing it.
  std::vector<SlotLook> ReadLooks();
  void ShowLooks(const std::vector<SlotLook>& looks);

  WindowView& view_;
  PictureDecoder decoder_;
  WindowHooks hooks_;
  SettingsFile settingsFile_;
  Settings settings_;
  ProgramState state_;
  int exitStatus_ = 0;
  bool busy_ = false;
  bool shown_ = false;
  bool handedOver_ = false;  // started again as administrator
  bool closed_ = false;      // the program is ending
};

}  // namespace quorlin
