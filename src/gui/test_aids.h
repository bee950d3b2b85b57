#pragma once

#include <string>

#include "gui/frm_quorlin.h"

namespace quorlin::gui {

// The Qt window's own part of the test aids (the rest is the presenter's, see
// app/presenter.h):
//   screenshot   once the window is on screen, the whole screen is grabbed into this
//       PNG file (where the platform cannot grab the screen, the window's own
//       rendering is saved and a note written to standard error), then the program
//       ends as File > Exit does.
//   QUORLIN_TEST_OPEN_MENU=skin   The Skin menu is opened just before that grab.
//   QUORLIN_TEST_DROP=FILE[;FILE...]   Shortly after the window is up, the files are
//       dropped onto it as a file manager drops them (the drag's events, sent to it).
//   QUORLIN_TEST_FIRST_PAINT=1   When the window is first painted, the steady clock
//       (nanoseconds) is written to standard error as "first paint NNN" and the
//       program ends: bench/compare.py times the window's start-up with it.
void StartTestAids(frmQuorlin& window, const std::string& screenshot);

}  // namespace quorlin::gui
