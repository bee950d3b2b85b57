#pragma once

#include <string>

namespace quorlin {

// An advisory lock on a folder, held by one process at a time while it writes
// there and released when it lets go or ends in any way, so a killed process
// never blocks the next run. On Windows it is a file "quorlin.lock" in the folder,
// opened without sharing and deleted when closed.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock without waiting: false when another process holds it. A folder
  // that cannot be opened counts as taken by nobody (true), since nothing can be
  // written there anyway and the writer reports why.
  bool TryLock(const std::string& nativeFolder);
  void Release();
  bool Held() const { return held_; }

 private:
  bool held_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace quorlin
