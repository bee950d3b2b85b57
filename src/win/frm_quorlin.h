#pragma once

#include <windows.h>

#include <memory>

#include "app/presenter.h"

namespace quorlin::win {

// The main window on Windows, a native Win32 window over the presenter (made in
// frm_quorlin.cpp).
class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual Presenter& GetPresenter() = 0;
  virtual HWND Handle() const = 0;
  // Runs the window until it closes; returns the program's exit status.
  virtual int Run() = 0;
};

std::unique_ptr<MainWindow> CreateMainWindow(HINSTANCE instance, WindowHooks hooks = {});

}  // namespace quorlin::win
