#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "archive/archive.h"

namespace quorlin {

// An archive opened for reading and writing in place: never truncated, never
// appended to. Closing flushes and reports a failed flush.
class ArchiveFile {
 public:
  // Throws QuorlinError naming displayPath when the file cannot be opened for
  // writing (read-only, locked, missing).
  ArchiveFile(const std::string& nativePath, const std::string& displayPath);
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // Reads header and directory from the first byte.
  ArchiveDirectory ReadDirectory(const RecordHook& beforeRecord);
  uint64_t Length();
  // Overwrites bytes at a file offset.
  void WriteAt(uint64_t position, std::span<const uint8_t> bytes);
  void Close();

 private:
  void SeekTo(uint64_t position);
  std::FILE* file_ = nullptr;
  std::string display_;
};

// Reads bytes at a file offset from a native file opened for reading only.
std::vector<uint8_t> ReadFileRange(const std::string& nativePath, uint64_t position, uint32_t length);

}  // namespace quorlin
