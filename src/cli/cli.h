#pragma once

#include <iosfwd>
#include <vector>

#include "cli/picture_codecs.h"

namespace quorlin {

struct CliStreams {
  std::ostream& Out;
  std::ostream& Err;
  std::istream& In;
  bool InIsTerminal = false;
};

// Runs quorlin-cli with these arguments (argv[0] first). Returns the exit status:
// 0 success, 1 the command failed or was refused, 2 bad usage.
int RunCli(const std::vector<const char*>& argv, const CliStreams& streams, const PictureCodecs& codecs);

}  // namespace quorlin
