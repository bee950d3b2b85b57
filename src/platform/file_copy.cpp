#include "platform/file_copy.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/system_error.h"
#include "platform/native_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorlin {

namespace {
constexpr uint64_t kChunk = 8ull * 1024 * 1024;
}

#ifdef _WIN32

// Copied in chunks through the program's own reads and writes, so that progress
// and cancelling work the same everywhere (CopyFileEx need not report progress).
void CopyWholeFile(const std::string& source, const std::string& destination, const CopyProgress& progress) {
  NativeFile in(source, NativeFile::Access::Read);
  const uint64_t total = in.Size();
  const std::string temp = destination + kTemporaryMark + "copy";
  try {
    NativeFile out(temp, NativeFile::Access::Create);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(kChunk, std::max<uint64_t>(total, 1))));
    if (progress && !progress(0, total)) throw QuorlinError(kErrPathFileAccess, "Copying " + source + " was cancelled");
    for (uint64_t copied = 0; copied < total;) {
      const size_t got =
          in.ReadAt(copied, buffer.data(), static_cast<size_t>(std::min<uint64_t>(buffer.size(), total - copied)));
      if (got == 0) throw QuorlinError(kErrInputPastEnd, source + " became shorter while it was copied");
      out.WriteAt(copied, std::span<const uint8_t>(buffer.data(), got));
      copied += got;
      if (progress && !progress(copied, total)) {
        throw QuorlinError(kErrPathFileAccess, "Copying " + source + " was cancelled");
      }
    }
    out.Sync();
    out.Close();
    RenameOver(temp, destination);
  } catch (const QuorlinError&) {
    DeleteFileA(temp.c_str());
    throw;
  }
}

#else

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Copies up to n bytes through a 1 MiB buffer. Plain buffered writes of this size
// leave the copy in the page cache in large folios, which the next reads and
// comparisons of the file (status, restore) walk several times faster than the
// page-sized pieces a kernel-side copy (copy_file_range) leaves; the copy itself
// costs the same.
ssize_t CopyChunk(int in, int out, size_t n) {
  static thread_local std::vector<char> buffer(1024 * 1024);
  const ssize_t got = ::read(in, buffer.data(), std::min(n, buffer.size()));
  if (got <= 0) return got;
  ssize_t written = 0;
  while (written < got) {
    const ssize_t w = ::write(out, buffer.data() + written, static_cast<size_t>(got - written));
    if (w < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    written += w;
  }
  return got;
}

}  // namespace

void CopyWholeFile(const std::string& source, const std::string& destination, const CopyProgress& progress) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) throw ErrorFromErrno(errno, "Cannot open", source);
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) throw ErrorFromErrno(errno, "Cannot read", source);
  if (!S_ISREG(st.st_mode)) throw QuorlinError(kErrBadFileName, "Not an ordinary file: " + source);
  const auto total = static_cast<uint64_t>(st.st_size);

  std::string temp = destination + kTemporaryMark + "XXXXXX";
  Fd out(::mkstemp(temp.data()));
  if (out.Get() < 0) throw ErrorFromErrno(errno, "Cannot create a file beside", destination);
  auto fail = [&](int err, const std::string& what, const std::string& path) {
    ::unlink(temp.c_str());
    return ErrorFromErrno(err, what, path);
  };
  // The copy is an ordinary file whatever the source's mode: the owner may write it.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(out.Get(), 0666 & ~mask);

  uint64_t copied = 0;
  if (progress && !progress(0, total)) {
    ::unlink(temp.c_str());
    throw QuorlinError(kErrPathFileAccess, "Copying " + source + " was cancelled");
  }
  while (copied < total) {
    const ssize_t done = CopyChunk(in.Get(), out.Get(), static_cast<size_t>(std::min(kChunk, total - copied)));
    if (done < 0) {
      if (errno == EINTR) continue;
      throw fail(errno, "Cannot copy " + source + " to", destination);
    }
    if (done == 0) {
      ::unlink(temp.c_str());
      throw QuorlinError(kErrInputPastEnd, source + " became shorter while it was copied");
    }
    copied += static_cast<uint64_t>(done);
    if (progress && !progress(copied, total)) {
      ::unlink(temp.c_str());
      throw QuorlinError(kErrPathFileAccess, "Copying " + source + " was cancelled");
    }
  }
  if (::fsync(out.Get()) != 0) throw fail(errno, "Cannot flush the copy of", destination);
  if (::close(out.Release()) != 0) throw fail(errno, "Cannot write", destination);
  if (::rename(temp.c_str(), destination.c_str()) != 0) throw fail(errno, "Cannot replace", destination);
  SyncFolderOf(destination);
}

#endif

}  // namespace quorlin
