#pragma once

#include "gui/frm_quorlin.h"

namespace quorlin::gui {

// Testing aids of the quorlin program, switched on by environment variables. None
// is set in ordinary use; the tests that run the real program set them.
//
//   QUORLIN_TEST_AUTO_ANSWER=yes|no   Message boxes are not shown. Each is written to
//       standard error as "message: TITLE: TEXT" and answered at once: Ok, or Yes or
//       No as the value says. The window's first showing is written as
//       "window shown".
//   QUORLIN_TEST_PICTURE=FILE   After start-up FILE is opened as File > Open does
//       with the file chosen in its dialog.
//   QUORLIN_TEST_SCREENSHOT=FILE.png   Once the window is on screen, the whole
//       screen is grabbed into FILE.png (where the platform cannot grab the screen,
//       the window's own rendering is saved and a note written to standard error),
//       then the program ends as File > Exit does.
//   QUORLIN_TEST_FIRST_PAINT=1   When the window is first painted, the steady clock
//       (nanoseconds) is written to standard error as "first paint NNN" and the
//       program ends: bench/compare.py times the window's start-up with it.

// The window's hooks as the environment asks for them.
WindowHooks HooksFromEnvironment();

// The aids that act after the window has been shown.
void StartTestAids(frmQuorlin& window);

}  // namespace quorlin::gui
