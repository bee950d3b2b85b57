#pragma once

#include <string>

#include "win/frm_quorlin.h"

namespace quorlin::win {

// The Win32 window's own part of the test aids (the rest is the presenter's, see
// app/presenter.h): half a second after the window is shown, where its client area
// and its picture box lie on the screen is written to standard error ("client at
// X,Y", "picture at X,Y"), the whole screen is saved into the screenshot PNG file,
// and the program ends as File > Exit does.
void StartTestAids(MainWindow& window, const std::string& screenshot);

}  // namespace quorlin::win
