#include "archive/journal.h"

#include "archive/byte_source.h"
#include "archive/skin_index.h"

namespace quorlin {

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'L', 'N', 'J', 'R', 'N', '1'};

void PutU64(std::vector<uint8_t>& out, uint64_t v) {
  PutU32(out, static_cast<uint32_t>(v));
  PutU32(out, static_cast<uint32_t>(v >> 32));
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
  PutU16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

bool KnownArchive(const std::string& name) { return name == kTexturesArchive || name == kPropsArchive; }

// A little-endian u64: the low word is read first (two reads in one expression
// would leave their order to the compiler).
uint64_t U64(MemorySource& in) {
  const uint64_t low = in.U32();
  return low | static_cast<uint64_t>(in.U32()) << 32;
}

}  // namespace

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
  PutU64(out, Checksum64(out));
  return out;
}

std::optional<Journal> DecodeJournal(std::span<const uint8_t> bytes) {
  if (bytes.size() < sizeof kMagic + 8 || !std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin())) return {};
  const auto body = bytes.first(bytes.size() - 8);
  MemorySource tail(bytes.last(8));
  const uint64_t stored = U64(tail);
  if (Checksum64(body) != stored) return {};

  MemorySource in(body.subspan(sizeof kMagic));
  const auto text = [&in] {
    std::string s(in.U16(), '\0');
    in.Read(reinterpret_cast<uint8_t*>(s.data()), s.size());
    return s;
  };
  Journal journal;
  journal.what = text();
  for (int n = in.U8(); n > 0; --n) {
    std::string name = text();
    const uint64_t length = U64(in);
    if (!KnownArchive(name)) return {};
    journal.archives.emplace_back(std::move(name), length);
  }
  const uint32_t writes = in.U32();
  for (uint32_t i = 0; i < writes && !in.Exhausted(); ++i) {
    Journal::Write w;
    w.archive = in.U8();
    w.position = U64(in);
    const uint32_t length = in.U32();
    if (w.archive >= journal.archives.size() || length > body.size()) return {};
    w.bytes.resize(length);
    if (in.Read(w.bytes.data(), length) != length) return {};
    journal.writes.push_back(std::move(w));
  }
  for (int n = in.U8(); n > 0; --n) {
    journal.restores.push_back(in.U8());
    if (journal.restores.back() >= journal.archives.size()) return {};
  }
  if (in.Exhausted() || journal.writes.size() != writes) return {};
  uint8_t extra = 0;
  if (in.Read(&extra, 1) != 0) return {};  // nothing may follow
  return journal;
}

}  // namespace quorlin
