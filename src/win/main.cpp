#include <windows.h>

#include "win/frm_quorlin.h"
#include "win/test_aids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  quorlin::win::frmQuorlin window(instance, quorlin::win::HooksFromEnvironment());
  // Start-up runs before the window is first shown; a missing game ends the
  // program without it.
  if (window.Form_Load() == quorlin::Outcome::EndProgram) return 1;
  window.ShowWindow();
  quorlin::win::StartTestAids(window);
  return window.Run();
}
