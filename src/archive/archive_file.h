#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "base/error.h"
#include "platform/native_file.h"

namespace quorlin {

// An archive (or backup) opened once for a command: its header and directory read
// with one buffered pass, entries read and written in place at their offsets. It
// is never truncated or appended to.
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
  // very version of the file (the same length and modification time).
  const ArchiveDirectory& Directory();
  uint64_t Length() { return file_.Size(); }
  // An entry's bytes; throws QuorlinError (input past end) when the file is shorter.
  std::vector<uint8_t> ReadAt(uint64_t position, uint32_t length);
  // Up to n bytes at a file offset into out; fewer only at the end of the file.
  size_t ReadAt(uint64_t position, uint8_t* out, size_t n) { return file_.ReadAt(position, out, n); }
  void WriteAt(uint64_t position, std::span<const uint8_t> bytes) { file_.WriteAt(position, bytes); }
  void Sync() { file_.Sync(); }
  // Throws why the file could not be opened for writing, if it could not.
  void RequireWritable() const {
    if (refusal_) throw *refusal_;
  }
  bool Writable() const { return opened_ != Open::Read && !refusal_; }
  Open OpenedFor() const { return opened_; }
  const std::string& Path() const { return file_.Path(); }
  NativeFile& Native() { return file_; }

 private:
  static NativeFile OpenFile(const std::string& path, Open open, std::optional<QuorlinError>& refusal);
  Open opened_;
  std::optional<QuorlinError> refusal_;
  NativeFile file_;
  FileIdentity identity_{};
  std::optional<ArchiveDirectory> directory_;
};

// The archives and backups a command has open: each opened once, the first time it
// is asked for, and kept (with its directory) until the command ends, so that
// start-up and the command itself share one open and one read of each.
class OpenArchives {
 public:
  // The file at a native path, open as asked; one opened before is handed out again
  // while the path still names that same file and it was opened at least as asked.
  ArchiveFile& Get(const std::string& nativePath, ArchiveFile::Open open = ArchiveFile::Open::ReadWriteIfAllowed);
  // Closes them all: between commands no file stays open.
  void Close() { files_.clear(); }

 private:
  std::map<std::string, std::unique_ptr<ArchiveFile>> files_;
};

}  // namespace quorlin
