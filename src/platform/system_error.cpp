#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorlin {

QuorlinError ErrorFromErrno(int err, const std::string& what, const std::string& path) {
  int number = kErrPathFileAccess;
  switch (err) {
    case ENOENT:
      number = kErrFileNotFound;
      break;
    case ENOTDIR:
      number = kErrPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      number = kErrPermissionDenied;
      break;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      number = kErrDiskFull;
      break;
    case EIO:
      number = kErrDeviceIO;
      break;
    case ENOMEM:
      number = kErrOutOfMemory;
      break;
    default:
      break;
  }
  return QuorlinError(number, what + " " + path + ": " + std::strerror(err));
}

#ifdef _WIN32
QuorlinError ErrorFromWindows(unsigned long code, const std::string& what, const std::string& path) {
  int number = kErrPathFileAccess;
  if (code == ERROR_FILE_NOT_FOUND) number = kErrFileNotFound;
  if (code == ERROR_PATH_NOT_FOUND) number = kErrPathNotFound;
  if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) number = kErrPermissionDenied;
  if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL) number = kErrDiskFull;
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string description = text;
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) description.pop_back();
  return QuorlinError(number, what + " " + path + ": " + description);
}
#endif

}  // namespace quorlin
