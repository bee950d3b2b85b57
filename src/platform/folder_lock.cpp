#include "platform/folder_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace quorlin {

#ifdef _WIN32

bool FolderLock::TryLock(const std::string& nativeFolder) {
  Release();
  const std::string path = nativeFolder + "\\quorlin.lock";
  handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    handle_ = nullptr;
    if (GetLastError() == ERROR_SHARING_VIOLATION) return false;
  }
  held_ = true;
  return true;
}

void FolderLock::Release() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  held_ = false;
}

#else

bool FolderLock::TryLock(const std::string& nativeFolder) {
  Release();
  fd_ = ::open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd_);
    fd_ = -1;
    if (busy) return false;
  }
  held_ = true;
  return true;
}

void FolderLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  held_ = false;
}

#endif

}  // namespace quorlin
