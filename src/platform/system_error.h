#pragma once

#include <string>

#include "base/error.h"

namespace quorlin {

// Builds an error from an errno value, naming the file it concerns.
QuorlinError ErrorFromErrno(int err, const std::string& what, const std::string& path);

#ifdef _WIN32
// The same from a Windows error code (GetLastError).
QuorlinError ErrorFromWindows(unsigned long code, const std::string& what, const std::string& path);
#endif

}  // namespace quorlin
