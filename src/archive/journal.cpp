#include "archive/journal.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "archive/skin_index.h"
#include "archive/slot_history.h"
#include "base/error.h"
#include "platform/little_endian.h"

namespace quorlin {

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'L', 'N', 'J', 'R', 'N', '2'};
constexpr char kMagicWithoutHistory[8] = {'Q', 'R', 'L', 'N', 'J', 'R', 'N', '1'};

void PutText(std::vector<uint8_t>& out, const std::string& text) {
  PutU16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

bool KnownArchive(const std::string& name) { return name == kTexturesArchive || name == kPropsArchive; }

}  // namespace

uint64_t FileChecksum(std::span<const uint8_t> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

uint64_t Checksum64(std::span<const uint8_t> bytes) {
  constexpr uint64_t kBasis = 0xcbf29ce484222325ull, kPrime = 0x100000001b3ull;
  const auto word = [&bytes](size_t at) {
    uint64_t w = 0;
    for (int k = 7; k >= 0; --k) w = w << 8 | bytes[at + static_cast<size_t>(k)];
    return w;
  };
  const auto mix = [](uint64_t h, uint64_t w) {
    h = (h ^ w) * kPrime;
    return h ^ (h >> 29);
  };
  // Four lanes over interleaved words keep the multiplier busy; then folded.
  uint64_t lane[4] = {kBasis, kBasis ^ 1, kBasis ^ 2, kBasis ^ 3};
  size_t i = 0;
  for (; i + 32 <= bytes.size(); i += 32) {
    for (size_t j = 0; j < 4; ++j) lane[j] = mix(lane[j], word(i + 8 * j));
  }
  uint64_t h = mix(mix(mix(lane[0], lane[1]), lane[2]), lane[3]);
  for (; i + 8 <= bytes.size(); i += 8) h = mix(h, word(i));
  for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * kPrime;
  return h;
}

std::vector<uint8_t> EncodeJournal(const Journal& journal) {
  size_t size = 64 + journal.what.size();
  for (const auto& w : journal.writes) size += 13 + w.bytes.size();
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  out.reserve(size);
  PutText(out, journal.what);
  out.push_back(static_cast<uint8_t>(journal.archives.size()));
  for (const auto& [name, length] : journal.archives) {
    PutText(out, name);
    PutU64(out, length);
  }
  PutU32(out, static_cast<uint32_t>(journal.writes.size()));
  for (const auto& w : journal.writes) {
    out.push_back(w.archive);
    PutU64(out, w.position);
    PutU32(out, static_cast<uint32_t>(w.bytes.size()));
    out.insert(out.end(), w.bytes.begin(), w.bytes.end());
  }
  out.push_back(static_cast<uint8_t>(journal.restores.size()));
  out.insert(out.end(), journal.restores.begin(), journal.restores.end());
  for (const auto* names : {&journal.keep, &journal.drop}) {
    out.push_back(static_cast<uint8_t>(names->size()));
    for (const std::string& name : *names) PutText(out, name);
  }
  PutU64(out, FileChecksum(out));
  return out;
}

std::optional<Journal> DecodeJournal(std::span<const uint8_t> bytes) {
  if (bytes.size() < sizeof kMagic + 8) return {};
  const bool history = std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin());
  if (!history && !std::equal(kMagicWithoutHistory, kMagicWithoutHistory + sizeof kMagic, bytes.begin())) return {};
  const auto body = bytes.first(bytes.size() - 8);
  if ((history ? FileChecksum(body) : Checksum64(body)) != ByteReader(bytes.last(8)).U64At(0)) return {};
  try {
    ByteReader in(body.subspan(sizeof kMagic));
    const auto text = [&in] {
      const auto chars = in.Take(in.U16());
      return std::string(chars.begin(), chars.end());
    };
    Journal journal;
    journal.what = text();
    for (int n = in.U8(); n > 0; --n) {
      std::string name = text();
      const uint64_t length = in.U64();
      if (!KnownArchive(name)) return {};
      journal.archives.emplace_back(std::move(name), length);
    }
    for (uint32_t writes = in.U32(); writes > 0; --writes) {
      Journal::Write w;
      w.archive = in.U8();
      w.position = in.U64();
      const auto data = in.Take(in.U32());
      if (w.archive >= journal.archives.size()) return {};
      w.bytes.assign(data.begin(), data.end());
      journal.writes.push_back(std::move(w));
    }
    for (int n = in.U8(); n > 0; --n) {
      journal.restores.push_back(in.U8());
      if (journal.restores.back() >= journal.archives.size()) return {};
    }
    for (auto* names : {&journal.keep, &journal.drop}) {
      for (int n = history ? in.U8() : 0; n > 0; --n) {
        names->push_back(text());
        if (!ParseVersionFileName(names->back())) return {};  // nothing but a version file of ours
      }
    }
    if (in.Position() != in.Size()) return {};  // nothing may follow
    return journal;
  } catch (const QuorlinError&) {
    return {};  // cut short
  }
}

}  // namespace quorlin
