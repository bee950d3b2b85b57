#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorlin {

// What tells one version of a file from another: the file itself, its length, its
// modification time and the time its inode (Windows: its metadata) last changed,
// which programs that put a file's modification time back cannot set.
struct FileIdentity {
  uint64_t Device = 0, File = 0, Size = 0;
  int64_t Modified = 0, Changed = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a path names now; all zero when there is none.
FileIdentity IdentityOf(const std::string& nativePath);

// An open native file, read and written at explicit positions with one system
// call per request and no stream buffer in between, so that what Sync() flushes
// is everything written. Every failure throws QuorlinError naming the file.
class NativeFile {
 public:
  enum class Access {
    Read,       // an existing file, for reading
    ReadWrite,  // an existing file, for reading and writing in place: never truncated
    Create,     // a new or emptied file, for writing
    Overwrite,  // a new file, or an existing one to write over in place (not emptied first)
  };

  NativeFile(const std::string& path, Access access);
  ~NativeFile();
  NativeFile(NativeFile&& other) noexcept;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  // Reads up to n bytes at a file offset; fewer only at the end of the file.
  size_t ReadAt(uint64_t position, uint8_t* out, size_t n);
  // Writes all of the bytes at a file offset.
  void WriteAt(uint64_t position, std::span<const uint8_t> bytes);
  uint64_t Size();
  FileIdentity Identity();
  // Flushes the file's data to the disk.
  void Sync();
  // Starts writing the file's data to the disk without waiting for it, so that a
  // later Sync finds it done or under way (nothing where the system has no such call).
  void StartWriting();
  // Cuts the file to a length.
  void Truncate(uint64_t length);
  void Close();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_;
#else
  int fd_;
#endif
};

// Reads a whole file.
std::vector<uint8_t> ReadWholeFile(const std::string& nativePath);

// Writes a small file whole: into a temporary file beside it, flushed, then renamed
// over the name, so that neither a failure nor a crash leaves a cut-off file.
void WriteWholeFile(const std::string& nativePath, std::span<const uint8_t> bytes);

// Writes a file whole that can always be made anew (a cache), in place and without
// the flushes that make it durable: a crash, or a reader at the same moment, may meet
// it damaged, which its own checksum must tell.
void WriteCacheFile(const std::string& nativePath, std::span<const uint8_t> bytes);

// Renames a file over another; on Windows the replace is written through.
void RenameOver(const std::string& from, const std::string& to);

// Removes a file if it is there.
void RemoveFile(const std::string& nativePath);

// Makes the creation, renaming and removal of entries in a file's folder durable
// (a no-op where the platform does that by itself).
void SyncFolderOf(const std::string& nativePath);

// The suffix of every temporary file the program makes beside the game's files,
// so that leftovers of an interrupted run are known for its own.
inline constexpr const char* kTemporaryMark = ".quorlin-";

}  // namespace quorlin
