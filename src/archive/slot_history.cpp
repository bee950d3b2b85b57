#include "archive/slot_history.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "base/error.h"
#include "platform/little_endian.h"
#include "platform/paths.h"

namespace quorlin {

namespace {
constexpr char kMagic[8] = {'Q', 'R', 'L', 'N', 'V', 'E', 'R', '1'};
constexpr const char* kSuffix = ".qver";
}  // namespace

VersionFile::VersionFile(int slot, int64_t time) : bytes_(kMagic, kMagic + sizeof kMagic) {
  bytes_.push_back(static_cast<uint8_t>(slot));
  PutU64(bytes_, static_cast<uint64_t>(time));
}

void VersionFile::AddEntries(const ArchivePair& pair, const SlotPlaces& places) {
  size_t total = bytes_.size() + 1 + 5 * kSlotEntryCount + 64 + 8;
  for (const EntryPlace& place : places.Entries) total += place.Found() ? place.Length : 0;
  bytes_.reserve(total);
  bytes_.push_back(static_cast<uint8_t>(kSlotEntryCount));
  for (int e = 0; e < kSlotEntryCount; ++e) {
    const EntryPlace& place = places.Entries[static_cast<size_t>(e)];
    bytes_.push_back(place.Found() ? 1 : 0);
    PutU32(bytes_, place.Found() ? place.Length : 0);
    if (!place.Found()) continue;
    const size_t at = bytes_.size();
    bytes_.resize(at + place.Length);
    ArchiveFile& file = *pair[EntryArchive(e)].File;
    if (file.ReadAt(place.Offset, bytes_.data() + at, place.Length) != place.Length) {
      throw QuorlinError(kErrInputPastEnd, "Input past end of file " + file.Path());
    }
    at_[static_cast<size_t>(e)] = std::pair{at, static_cast<size_t>(place.Length)};
  }
}

void VersionFile::AddEntries(const SlotBytes& entries) {
  bytes_.push_back(static_cast<uint8_t>(kSlotEntryCount));
  for (size_t e = 0; e < entries.size(); ++e) {
    bytes_.push_back(entries[e] ? 1 : 0);
    PutU32(bytes_, entries[e] ? static_cast<uint32_t>(entries[e]->size()) : 0);
    if (!entries[e]) continue;
    at_[e] = std::pair{bytes_.size(), entries[e]->size()};
    bytes_.insert(bytes_.end(), entries[e]->begin(), entries[e]->end());
  }
}

SlotView VersionFile::Entries() const {
  SlotView view;
  for (size_t e = 0; e < at_.size(); ++e) {
    if (at_[e]) view[e] = std::span<const uint8_t>(bytes_).subspan(at_[e]->first, at_[e]->second);
  }
  return view;
}

std::vector<uint8_t> VersionFile::Finish(const std::string& picture) && {
  const size_t name = std::min<size_t>(picture.size(), 0xFFFF);
  PutU16(bytes_, static_cast<uint16_t>(name));
  bytes_.insert(bytes_.end(), picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(name));
  PutU64(bytes_, FileChecksum(bytes_));
  return std::move(bytes_);
}

std::vector<uint8_t> EncodeVersion(const SlotVersion& version) {
  VersionFile file(version.Slot, version.Time);
  file.AddEntries(version.Entries);
  return std::move(file).Finish(version.Picture);
}

std::optional<SlotVersion> DecodeVersion(std::span<const uint8_t> bytes, VersionFault& fault) {
  fault = VersionFault::Damaged;
  if (bytes.size() < sizeof kMagic || !std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin())) return {};
  // The structure first: a file that ends inside it, or before its checksum, is cut.
  fault = VersionFault::Cut;
  SlotVersion version;
  size_t end = 0;
  try {
    ByteReader in(bytes.subspan(sizeof kMagic));
    version.Slot = in.U8();
    version.Time = static_cast<int64_t>(in.U64());
    if (in.U8() != kSlotEntryCount) {
      fault = VersionFault::Damaged;
      return {};
    }
    for (auto& entry : version.Entries) {
      const uint8_t present = in.U8();
      const auto data = in.Take(in.U32());
      if (present > 1 || (!present && !data.empty())) {
        fault = VersionFault::Damaged;
        return {};
      }
      if (present) entry.emplace(data.begin(), data.end());
    }
    const auto name = in.Take(in.U16());
    version.Picture.assign(name.begin(), name.end());
    end = sizeof kMagic + in.Position();
  } catch (const QuorlinError&) {
    return {};
  }
  if (bytes.size() < end + 8) return {};
  // Anything after the checksum, or a checksum that does not match, is damage.
  fault = VersionFault::Damaged;
  if (bytes.size() != end + 8 || ByteReader(bytes.subspan(end)).U64At(0) != FileChecksum(bytes.first(end))) return {};
  fault = VersionFault::None;
  return version;
}

std::string VersionFileName(int slot, int number) {
  char name[40];
  std::snprintf(name, sizeof name, "slot%d-%06d%s", slot, number, kSuffix);
  return name;
}

std::optional<std::pair<int, int>> ParseVersionFileName(const std::string& name) {
  int slot = 0, number = 0, used = 0;
  if (std::sscanf(name.c_str(), "slot%2d-%6d.qver%n", &slot, &number, &used) != 2 ||
      static_cast<size_t>(used) != name.size() || name != VersionFileName(slot, number) || slot < 1 ||
      slot > kSlotCount || number < 1) {
    return std::nullopt;
  }
  return std::pair{slot, number};
}

std::vector<KeptVersion> ListVersions(const std::string& nativeHistoryFolder, int slot) {
  namespace fs = std::filesystem;
  std::vector<KeptVersion> found;
  std::error_code ec;
  for (fs::directory_iterator it(FsPath(nativeHistoryFolder), ec), end; !ec && it != end; it.increment(ec)) {
    const auto parsed = ParseVersionFileName(FromFsPath(it->path().filename()));
    if (parsed && parsed->first == slot) found.push_back({parsed->second, FromFsPath(it->path())});
  }
  std::sort(found.begin(), found.end(), [](const KeptVersion& a, const KeptVersion& b) { return a.Number > b.Number; });
  return found;
}

int NextVersionNumber(const std::vector<KeptVersion>& versions) {
  return versions.empty() ? 1 : versions.front().Number + 1;
}

std::vector<uint8_t> KeepVersion(Journal& journal, const std::string& nativeHistoryFolder, int slot,
                                 std::vector<uint8_t> version, const std::vector<std::string>& dropped) {
  std::vector<KeptVersion> kept = ListVersions(nativeHistoryFolder, slot);
  const int number = NextVersionNumber(kept);
  const auto name = [](const KeptVersion& v) { return FromFsPath(FsPath(v.Path).filename()); };
  std::erase_if(kept, [&](const KeptVersion& v) {
    return std::find(dropped.begin(), dropped.end(), name(v)) != dropped.end();
  });
  // With the new one, no more than kMaxVersionsPerSlot remain: the oldest go first.
  for (size_t i = kMaxVersionsPerSlot - 1; i < kept.size(); ++i) journal.Drop.push_back(name(kept[i]));
  journal.Keep.push_back(VersionFileName(slot, number));
  return version;
}

}  // namespace quorlin
