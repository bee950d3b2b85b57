#include "platform/error.h"

#include <cerrno>
#include <cstring>

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

}  // namespace quorlin
