#include <windows.h>

#include <cstdlib>

#include "win/frm_quorlin.h"
#include "win/test_aids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::vector<std::string> args(__argv + 1, __argv + __argc);
  quorlin::WindowArguments given;
  std::string usage;
  if (!quorlin::ParseWindowArguments(args, given, usage)) {
    MessageBoxA(nullptr, usage.c_str(), "Quorlin", MB_OK | MB_ICONERROR);
    return 2;
  }
  quorlin::WindowHooks hooks = quorlin::HooksFromEnvironment();
  hooks.Startup = given.Startup;
  const auto window = quorlin::win::CreateMainWindow(instance, hooks);
  quorlin::Presenter& presenter = window->GetPresenter();
  // Start-up runs before the window is first shown; a missing game ends the
  // program without it.
  if (presenter.Form_Load() == quorlin::Outcome::EndProgram) return presenter.ExitStatus();
  quorlin::win::StartTestAids(*window, presenter.ShowAndStartTestAids(given.Picture));
  return window->Run();
}
