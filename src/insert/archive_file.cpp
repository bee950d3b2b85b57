#include "insert/archive_file.h"

#include <cerrno>
#include <memory>

#include "platform/error.h"

namespace quorlin {

namespace {

int Seek(std::FILE* file, uint64_t position, int whence = SEEK_SET) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(position), whence);
#else
  return fseeko(file, static_cast<off_t>(position), whence);
#endif
}

long long Tell(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<long long>(ftello(file));
#endif
}

}  // namespace

ArchiveFile::ArchiveFile(const std::string& nativePath, const std::string& displayPath) : display_(displayPath) {
  file_ = std::fopen(nativePath.c_str(), "r+b");
  if (!file_) throw ErrorFromErrno(errno, "Cannot open for writing", displayPath);
}

ArchiveFile::~ArchiveFile() {
  if (file_) std::fclose(file_);
}

ArchiveDirectory ArchiveFile::ReadDirectory(const RecordHook& beforeRecord) {
  SeekTo(0);
  FileSource source(file_, display_);
  return ParseArchiveDirectory(source, beforeRecord);
}

uint64_t ArchiveFile::Length() {
  if (Seek(file_, 0, SEEK_END) != 0) throw ErrorFromErrno(errno, "Cannot read", display_);
  const long long end = Tell(file_);
  if (end < 0) throw ErrorFromErrno(errno, "Cannot read", display_);
  return static_cast<uint64_t>(end);
}

void ArchiveFile::SeekTo(uint64_t position) {
  if (Seek(file_, position) != 0) throw ErrorFromErrno(errno, "Cannot seek in", display_);
}

void ArchiveFile::WriteAt(uint64_t position, std::span<const uint8_t> bytes) {
  SeekTo(position);
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    throw ErrorFromErrno(errno ? errno : EIO, "Cannot write", display_);
  }
}

void ArchiveFile::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) throw ErrorFromErrno(errno, "Cannot write", display_);
}

std::vector<uint8_t> ReadFileRange(const std::string& nativePath, uint64_t position, uint32_t length) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(nativePath.c_str(), "rb"), &std::fclose);
  if (!file) throw ErrorFromErrno(errno, "Cannot open", nativePath);
  std::vector<uint8_t> bytes(length);
  if (Seek(file.get(), position) != 0 || std::fread(bytes.data(), 1, length, file.get()) != length) {
    throw QuorlinError(kErrInputPastEnd, "Input past end of file " + nativePath);
  }
  return bytes;
}

}  // namespace quorlin
