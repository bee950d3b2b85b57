#pragma once

#include <QIcon>
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/program_state.h"
#include "platform/shell.h"

class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QProgressDialog;

namespace quorlin::gui {

// Ways to take the window's questions away from the user: the tests use them, and
// so do the testing aids of the program (see test_aids.h). Empty members mean the
// ordinary behaviour.
struct WindowHooks {
  // Answers a message box instead of showing it.
  std::function<MessageAnswer(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons)>
      answerMessage;
  // Chooses the picture instead of the Open dialog; an empty result means Cancel.
  std::function<QString()> choosePicture;
  // Called when the window is shown for the first time.
  std::function<void()> firstShown;
  // Where start-up looks for the game.
  StartupOptions startup;
};

// The main window. It is also the Shell through which the core's commands talk to
// the user: status line, message boxes, pointer, Skin menu ticks, picture box and
// copy progress.
class frmQuorlin : public QMainWindow, public Shell {
  Q_OBJECT

 public:
  explicit frmQuorlin(WindowHooks hooks = {}, QWidget* parent = nullptr);
  ~frmQuorlin() override;

  // Start-up, to run once after construction and before the window is shown.
  // EndProgram means the program must end with status 1 without showing it.
  Outcome Form_Load();

  // The status the program ends with once the window has closed: 0 after
  // File > Exit or closing the window, 1 after a command ended the program.
  int ExitStatus() const { return exitStatus_; }
  ProgramState& State() { return state_; }

  // Menu handlers.
  void mnufileopen_Click();
  void mnufileexit_Click();
  void mnueditInsert_Click();
  void mnueditRestore_Click();
  void skinl_Click(int Index);

  // File > Open after the dialog: loads the picture at a path as Qt names it.
  void OpenPictureFile(const QString& path);

  // Shell.
  void SetStatus(const std::string& text, bool repaintNow) override;
  MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                            MessageButtons buttons) override;
  void SetBusy(bool busy) override;
  void SetTitle(const std::string& title) override;
  void ShowWindow() override;
  void SetSkinItemChecked(int index, bool checked) override;
  void ShowPicture(const ImageBuffer* image) override;

  // Draws an image into Picture1 unscaled at its top-left corner (the picture box
  // keeps its own copy, so repaints show it until the next draw or clear).
  void RefreshPicture(const ImageBuffer& image);
  bool CopyProgress(const std::string& what, uint64_t copied, uint64_t total) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateMenus();
  // Runs a command; EndProgram (or an error that escaped it) closes the window with
  // status 1.
  void Run(const std::function<Outcome()>& command);
  void EndProgram(int status);
  void CloseProgress();

  WindowHooks hooks_;
  ProgramState state_;
  int exitStatus_ = 0;
  bool busy_ = false;
  bool shownOnce_ = false;

  QLabel* Picture1 = nullptr;
  QFrame* Frame1 = nullptr;
  QLabel* lblStatus = nullptr;
  std::map<int, QAction*> skinl;  // Skin menu items by slot, 9..37
  std::unique_ptr<QProgressDialog> progress_;
};

// The File > Open dialog, set up but not yet run.
std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent);

// The window's 32x32 icon, drawn here rather than shipped as a file.
QIcon MakeWindowIcon();

}  // namespace quorlin::gui
