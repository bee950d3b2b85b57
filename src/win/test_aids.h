#pragma once

#include <string>

#include "win/frm_quorlin.h"

namespace quorlin::win {

// The Win32 window's own part of the test aids (the rest is the presenter's, see
// app/presenter.h), started once the window is shown:
//   QUORLIN_TEST_DROP=FILE[;FILE...]   The files are dropped onto the window, once:
//       it is posted WM_DROPFILES with an HDROP naming them, as Explorer posts it
//       at the end of a drag (which a test under Wine has no file manager to make).
//   QUORLIN_TEST_SCREENSHOT (the screenshot file): half a second after the window
//       is shown, where its client area and its picture box lie on the screen is
//       written to standard error ("client at X,Y", "picture at X,Y"), the whole
//       screen is saved into the file, and the program ends as File > Exit does.
void StartTestAids(MainWindow& window, const std::string& screenshot);

}  // namespace quorlin::win
