#pragma once

#include <string>

namespace quorlin {

// A program to start and its command line's arguments.
struct Launch {
  std::string Program;
  std::string Arguments;  // as the command line has them, quoted where they were
};

#ifdef _WIN32
// This program, with the arguments it was started with.
Launch ThisProgram();

// Starts a program as administrator (Windows asks the user to allow it); false when
// it was not started.
bool LaunchAsAdministrator(const Launch& launch);
#endif

}  // namespace quorlin
