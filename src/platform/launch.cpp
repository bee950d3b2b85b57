#include "platform/launch.h"

#include <windows.h>
// after windows.h, which it needs first
#include <shellapi.h>

namespace quorlin {

Launch ThisProgram() {
  char self[MAX_PATH * 4] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  // The command line without the program's own name (quoted or not) and the blanks after it.
  const std::string line = GetCommandLineA();
  size_t at = 0;
  if (!line.empty() && line[0] == '"') {
    at = line.find('"', 1);
    at = at == std::string::npos ? line.size() : at + 1;
  } else {
    at = line.find_first_of(" \t");
    if (at == std::string::npos) at = line.size();
  }
  at = line.find_first_not_of(" \t", at);
  return {self, at == std::string::npos ? std::string() : line.substr(at)};
}

bool LaunchAsAdministrator(const Launch& launch) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.lpVerb = "runas";
  info.lpFile = launch.Program.c_str();
  info.lpParameters = launch.Arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExA(&info) != FALSE;
}

}  // namespace quorlin
