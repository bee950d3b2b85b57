#include "platform/native_file.h"

#include <cerrno>
#include <cstdio>

#include "base/error.h"
#include "platform/system_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorlin {

#ifdef _WIN32

NativeFile::NativeFile(const std::string& path, Access access) : path_(path) {
  const DWORD rights = access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  const DWORD disposition = access == Access::Create      ? CREATE_ALWAYS
                            : access == Access::Overwrite ? OPEN_ALWAYS
                                                          : OPEN_EXISTING;
  handle_ = CreateFileA(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    throw ErrorFromWindows(GetLastError(), access == Access::Read ? "Cannot open" : "Cannot open for writing", path);
  }
}

NativeFile::~NativeFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

NativeFile::NativeFile(NativeFile&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
  other.handle_ = INVALID_HANDLE_VALUE;
}

size_t NativeFile::ReadAt(uint64_t position, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position + done);
    at.OffsetHigh = static_cast<DWORD>((position + done) >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
    if (!ReadFile(handle_, out + done, want, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      throw ErrorFromWindows(GetLastError(), "Cannot read", path_);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void NativeFile::WriteAt(uint64_t position, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position + done);
    at.OffsetHigh = static_cast<DWORD>((position + done) >> 32);
    DWORD wrote = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    if (!WriteFile(handle_, bytes.data() + done, want, &wrote, &at) || wrote == 0) {
      throw ErrorFromWindows(GetLastError(), "Cannot write", path_);
    }
    done += wrote;
  }
}

uint64_t NativeFile::Size() {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle_, &size)) throw ErrorFromWindows(GetLastError(), "Cannot read the size of", path_);
  return static_cast<uint64_t>(size.QuadPart);
}

FileIdentity NativeFile::Identity() {
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandle(handle_, &info) ||
      !GetFileInformationByHandleEx(handle_, FileBasicInfo, &times, sizeof times)) {
    throw ErrorFromWindows(GetLastError(), "Cannot read the attributes of", path_);
  }
  return {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
          (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, times.LastWriteTime.QuadPart,
          times.ChangeTime.QuadPart};
}

FileIdentity IdentityOf(const std::string& nativePath) {
  try {
    NativeFile file(nativePath, NativeFile::Access::Read);
    return file.Identity();
  } catch (const QuorlinError&) {
    return {};
  }
}

void NativeFile::Sync() {
  if (!FlushFileBuffers(handle_)) throw ErrorFromWindows(GetLastError(), "Cannot flush", path_);
}

void NativeFile::StartWriting() {}

void NativeFile::Truncate(uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
    throw ErrorFromWindows(GetLastError(), "Cannot write", path_);
  }
}

void NativeFile::Close() {
  void* handle = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  if (!CloseHandle(handle)) throw ErrorFromWindows(GetLastError(), "Cannot write", path_);
}

void RenameOver(const std::string& from, const std::string& to) {
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw ErrorFromWindows(GetLastError(), "Cannot replace", to);
  }
}

void RemoveFile(const std::string& nativePath) {
  if (!DeleteFileA(nativePath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    throw ErrorFromWindows(GetLastError(), "Cannot remove", nativePath);
  }
}

void SyncFolderOf(const std::string&) {}

#else

NativeFile::NativeFile(const std::string& path, Access access) : path_(path) {
  const int flags = access == Access::Read        ? O_RDONLY
                    : access == Access::ReadWrite ? O_RDWR
                    : access == Access::Overwrite ? O_WRONLY | O_CREAT
                                                  : O_WRONLY | O_CREAT | O_TRUNC;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd_ < 0) throw ErrorFromErrno(errno, access == Access::Read ? "Cannot open" : "Cannot open for writing", path);
}

NativeFile::~NativeFile() {
  if (fd_ >= 0) ::close(fd_);
}

NativeFile::NativeFile(NativeFile&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) { other.fd_ = -1; }

size_t NativeFile::ReadAt(uint64_t position, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(position + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ErrorFromErrno(errno, "Cannot read", path_);
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

void NativeFile::WriteAt(uint64_t position, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(position + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) throw ErrorFromErrno(wrote < 0 ? errno : EIO, "Cannot write", path_);
    done += static_cast<size_t>(wrote);
  }
}

uint64_t NativeFile::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw ErrorFromErrno(errno, "Cannot read the size of", path_);
  return static_cast<uint64_t>(st.st_size);
}

namespace {
FileIdentity IdentityFromStat(const struct stat& st) {
  const auto nanoseconds = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
          nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}
}  // namespace

FileIdentity NativeFile::Identity() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw ErrorFromErrno(errno, "Cannot read the attributes of", path_);
  return IdentityFromStat(st);
}

FileIdentity IdentityOf(const std::string& nativePath) {
  struct stat st {};
  if (::stat(nativePath.c_str(), &st) != 0) return {};
  return IdentityFromStat(st);
}

void NativeFile::Sync() {
  // The data and what reading it back needs (the length), not the times.
  if (::fdatasync(fd_) != 0) throw ErrorFromErrno(errno, "Cannot flush", path_);
}

void NativeFile::Truncate(uint64_t length) {
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) throw ErrorFromErrno(errno, "Cannot write", path_);
}

void NativeFile::StartWriting() {
#ifdef __linux__
  // Only a hint: Sync still makes it durable, and reports what goes wrong.
  ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void NativeFile::Close() {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw ErrorFromErrno(errno, "Cannot write", path_);
}

void RenameOver(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) throw ErrorFromErrno(errno, "Cannot replace", to);
}

void RemoveFile(const std::string& nativePath) {
  if (::unlink(nativePath.c_str()) != 0 && errno != ENOENT) throw ErrorFromErrno(errno, "Cannot remove", nativePath);
}

void SyncFolderOf(const std::string& nativePath) {
  const auto slash = nativePath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : nativePath.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const bool synced = ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!synced && err != EINVAL) throw ErrorFromErrno(err, "Cannot flush the folder of", nativePath);
}

#endif

std::vector<uint8_t> ReadWholeFile(const std::string& nativePath) {
  NativeFile file(nativePath, NativeFile::Access::Read);
  std::vector<uint8_t> bytes(file.Size());
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

void WriteWholeFile(const std::string& nativePath, std::span<const uint8_t> bytes) {
  const std::string temp = nativePath + kTemporaryMark + "tmp";
  try {
    NativeFile file(temp, NativeFile::Access::Create);
    file.WriteAt(0, bytes);
    file.Sync();
    file.Close();
    RenameOver(temp, nativePath);
  } catch (const QuorlinError&) {
    std::remove(temp.c_str());
    throw;
  }
  SyncFolderOf(nativePath);
}

void WriteCacheFile(const std::string& nativePath, std::span<const uint8_t> bytes) {
  // Written over in place and cut to length only when that changed: emptying a file
  // first would make the file system write it out at once, to spare it a cut-off file.
  NativeFile file(nativePath, NativeFile::Access::Overwrite);
  file.WriteAt(0, bytes);
  if (file.Size() != bytes.size()) file.Truncate(bytes.size());
  file.Close();
}

}  // namespace quorlin
