#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "platform/error.h"
#include "platform/native_file.h"

namespace quorlin {

// An archive opened once per command: its header and directory read with one
// buffered pass, entries read and written in place at their offsets. It is never
// truncated or appended to.
class ArchiveFile {
 public:
  enum class Open {
    Read,
    ReadWrite,
    // For reading and writing; where writing is refused (a read-only file) it is
    // opened for reading and the refusal kept until RequireWritable().
    ReadWriteIfAllowed,
  };
  ArchiveFile(const std::string& nativePath, Open open);

  // Header and directory, read from the first byte unless already read from this
  // very version of the file.
  const ArchiveDirectory& ReadDirectory(DirectoryCache& cache) { return cache.Read(file_); }
  uint64_t Length() { return file_.Size(); }
  // An entry's bytes; throws QuorlinError (input past end) when the file is shorter.
  std::vector<uint8_t> ReadAt(uint64_t position, uint32_t length);
  // Up to n bytes at a file offset into out; fewer only at the end of the file.
  size_t ReadAt(uint64_t position, uint8_t* out, size_t n) { return file_.ReadAt(position, out, n); }
  void WriteAt(uint64_t position, std::span<const uint8_t> bytes) { file_.WriteAt(position, bytes); }
  void Sync() { file_.Sync(); }
  void Close() { file_.Close(); }
  // Throws why the file could not be opened for writing, if it could not.
  void RequireWritable() const {
    if (refusal_) throw *refusal_;
  }
  const std::string& Path() const { return file_.Path(); }
  NativeFile& Native() { return file_; }

 private:
  static NativeFile OpenFile(const std::string& path, Open open, std::optional<QuorlinError>& refusal);
  std::optional<QuorlinError> refusal_;
  NativeFile file_;
};

}  // namespace quorlin
