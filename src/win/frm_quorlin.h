#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/commands.h"
#include "app/program_state.h"
#include "platform/shell.h"

namespace quorlin::win {

// Ways to take the window's questions away from the user, for the testing aids
// (test_aids.h). Empty members mean the ordinary behaviour.
struct WindowHooks {
  std::function<MessageAnswer(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons)>
      answerMessage;
  std::function<void()> firstShown;
  StartupOptions startup;
};

// The main window on Windows, a native Win32 window. Like the Qt window elsewhere
// it is the Shell the core's commands talk through, and every menu handler only
// calls the command: status line, message boxes, pointer, Skin menu ticks, the
// picture box and copy progress are all it does itself.
class frmQuorlin : public Shell {
 public:
  explicit frmQuorlin(HINSTANCE instance, WindowHooks hooks = {});
  ~frmQuorlin() override;
  frmQuorlin(const frmQuorlin&) = delete;
  frmQuorlin& operator=(const frmQuorlin&) = delete;

  // Start-up, before the window is first shown; EndProgram: end with status 1.
  Outcome Form_Load();
  // Shows the window and runs it until it closes; returns the exit status.
  int Run();
  HWND Handle() const { return hwnd_; }
  ProgramState& State() { return state_; }

  void mnufileopen_Click();
  void mnufileexit_Click();
  void mnueditInsert_Click();
  void mnueditRestore_Click();
  void skinl_Click(int Index);
  // File > Open after the dialog.
  void OpenPictureFile(const std::string& nativePath);

  // Shell.
  void SetStatus(const std::string& text, bool repaintNow) override;
  MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                            MessageButtons buttons) override;
  void SetBusy(bool busy) override;
  void SetTitle(const std::string& title) override;
  void ShowWindow() override;
  void SetSkinItemChecked(int index, bool checked) override;
  void ShowPicture(const ImageBuffer* image) override;
  bool CopyProgress(const std::string& what, uint64_t copied, uint64_t total) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateMenus();
  // Runs a command; EndProgram (or an error that escaped it) closes the window with
  // status 1. The archives are opened afresh for it and closed after it.
  void RunCommand(const std::function<Outcome()>& command);
  void EndProgram(int status);
  void CloseProgress();

  WindowHooks hooks_;
  ProgramState state_;
  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND Picture1 = nullptr;
  HWND Frame1 = nullptr;
  HWND lblStatus = nullptr;
  HMENU mnuskin = nullptr;
  // What Picture1 shows, as a bottom-up-free 24-bit DIB: rows padded to 4 bytes.
  BITMAPINFO shownInfo_{};
  std::vector<uint8_t> shown_;
  bool busy_ = false;
  bool shownOnce_ = false;
  int exitStatus_ = 0;
  // The copy progress window, shown only for copies lasting over half a second.
  HWND progress_ = nullptr;
  HWND progressBar_ = nullptr;
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point progressStart_;
};

}  // namespace quorlin::win
