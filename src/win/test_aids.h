#pragma once

#include "win/frm_quorlin.h"

namespace quorlin::win {

// The testing aids of quorlin.exe, the same as the Qt window's (src/gui/test_aids.h),
// switched on by environment variables; none is set in ordinary use.
//
//   QUORLIN_TEST_AUTO_ANSWER=yes|no   Message boxes are not shown: each is written to
//       standard error as "message: TITLE: TEXT" and answered at once (Ok, or Yes or
//       No as the value says). The window's first showing is written as
//       "window shown".
//   QUORLIN_TEST_PICTURE=FILE   After start-up FILE is opened as File > Open does.
//   QUORLIN_TEST_SCREENSHOT=FILE.png   Half a second after the window is shown, the
//       whole screen is saved into FILE.png and the program ends as File > Exit does.
WindowHooks HooksFromEnvironment();
void StartTestAids(frmQuorlin& window);

}  // namespace quorlin::win
