#include "archive/archive_file.h"

namespace quorlin {

NativeFile ArchiveFile::OpenFile(const std::string& path, Open open, std::optional<QuorlinError>& refusal) {
  if (open == Open::Read) return NativeFile(path, NativeFile::Access::Read);
  try {
    return NativeFile(path, NativeFile::Access::ReadWrite);
  } catch (const QuorlinError& e) {
    if (open != Open::ReadWriteIfAllowed || e.Number() != kErrPermissionDenied) throw;
    refusal = e;
  }
  return NativeFile(path, NativeFile::Access::Read);
}

ArchiveFile::ArchiveFile(const std::string& nativePath, Open open)
    : opened_(open), file_(OpenFile(nativePath, open, refusal_)) {}

const ArchiveDirectory& ArchiveFile::Directory() {
  const FileIdentity now = file_.Identity();
  if (!directory_ || now != identity_) {
    directory_ = ReadArchiveDirectory(file_);
    identity_ = now;
  }
  return *directory_;
}

std::vector<uint8_t> ArchiveFile::ReadAt(uint64_t position, uint32_t length) {
  std::vector<uint8_t> bytes(length);
  if (file_.ReadAt(position, bytes.data(), length) != length) {
    throw QuorlinError(kErrInputPastEnd, "Input past end of file " + file_.Path());
  }
  return bytes;
}

ArchiveFile& OpenArchives::Get(const std::string& nativePath, ArchiveFile::Open open) {
  auto& kept = files_[nativePath];
  if (kept) {
    // The path must still name the file kept open (a restore renames a new file
    // over it), and that file must be open at least as asked.
    const FileIdentity named = IdentityOf(nativePath);
    const FileIdentity held = kept->Native().Identity();
    const bool sameFile = named.Device == held.Device && named.File == held.File && named.File != 0;
    const bool enough =
        open == ArchiveFile::Open::Read ||
        (open == ArchiveFile::Open::ReadWrite ? kept->Writable() : kept->OpenedFor() != ArchiveFile::Open::Read);
    if (sameFile && enough) return *kept;
  }
  kept = std::make_unique<ArchiveFile>(nativePath, open);
  return *kept;
}

}  // namespace quorlin
