#include <csignal>
#include <iostream>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#include <io.h>
#define QUORLIN_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QUORLIN_ISATTY(fd) isatty(fd)
#endif

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // A file-size limit makes a write fail with its error, which is then reported,
  // instead of killing the program half-way.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  return quorlin::RunCli(std::vector<const char*>(argv, argv + argc),
                         {std::cout, std::cerr, std::cin, QUORLIN_ISATTY(0) != 0});
}
