#include "insert/archive_file.h"

namespace quorlin {

NativeFile ArchiveFile::OpenFile(const std::string& path, Open open, std::optional<QuorlinError>& refusal) {
  if (open == Open::Read) return NativeFile(path, NativeFile::Access::Read);
  try {
    return NativeFile(path, NativeFile::Access::ReadWrite);
  } catch (const QuorlinError& e) {
    if (open != Open::ReadWriteIfAllowed || e.number() != kErrPermissionDenied) throw;
    refusal = e;
  }
  return NativeFile(path, NativeFile::Access::Read);
}

ArchiveFile::ArchiveFile(const std::string& nativePath, Open open) : file_(OpenFile(nativePath, open, refusal_)) {}

std::vector<uint8_t> ArchiveFile::ReadAt(uint64_t position, uint32_t length) {
  std::vector<uint8_t> bytes(length);
  if (file_.ReadAt(position, bytes.data(), length) != length) {
    throw QuorlinError(kErrInputPastEnd, "Input past end of file " + file_.Path());
  }
  return bytes;
}

}  // namespace quorlin
