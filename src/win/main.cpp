#include <windows.h>

#include "win/frm_quorlin.h"
#include "win/test_aids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const auto window = quorlin::win::CreateMainWindow(instance, quorlin::HooksFromEnvironment());
  quorlin::Presenter& presenter = window->presenter();
  // Start-up runs before the window is first shown; a missing game ends the
  // program without it.
  if (presenter.Form_Load() == quorlin::Outcome::EndProgram) return 1;
  quorlin::win::StartTestAids(*window, presenter.ShowAndStartTestAids());
  return window->Run();
}
