#include "archive/slot_digests.h"

#include "base/error.h"
#include "platform/paths.h"
#include "platform/little_endian.h"

namespace quorlin {

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'L', 'N', 'S', 'L', 'T', '1'};

void PutIdentity(std::vector<uint8_t>& out, const FileIdentity& id) {
  for (const uint64_t v : {id.device, id.file, id.size, static_cast<uint64_t>(id.modified),
                           static_cast<uint64_t>(id.changed)}) {
    PutU64(out, v);
  }
}

FileIdentity ReadIdentity(ByteReader& in) {
  FileIdentity id;
  id.device = in.U64(), id.file = in.U64(), id.size = in.U64();
  id.modified = static_cast<int64_t>(in.U64()), id.changed = static_cast<int64_t>(in.U64());
  return id;
}

void PutDigest(std::vector<uint8_t>& out, const SlotDigest& d) {
  PutU64(out, d.low);
  PutU64(out, d.high);
}

SlotDigest ReadDigest(ByteReader& in) {
  SlotDigest d;
  d.low = in.U64(), d.high = in.U64();
  return d;
}

}  // namespace

std::vector<uint8_t> EncodeSlotState(const SlotState& state) {
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  for (const auto* pair : {&state.game, &state.backups}) {
    out.push_back(pair->has_value());
    if (!*pair) continue;
    PutIdentity(out, (*pair)->textures);
    PutIdentity(out, (*pair)->props);
    PutU64(out, (*pair)->positions);
    for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) PutDigest(out, (*pair)->bySlot[slot]);
  }
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    const SlotSource& source = state.sources[slot];
    PutDigest(out, source.contents);
    const size_t n = std::min<size_t>(source.picture.size(), 0xFFFF);
    PutU16(out, static_cast<uint16_t>(n));
    out.insert(out.end(), source.picture.begin(), source.picture.begin() + static_cast<std::ptrdiff_t>(n));
  }
  PutU64(out, FileChecksum(out));
  return out;
}

std::optional<SlotState> DecodeSlotState(std::span<const uint8_t> bytes) {
  if (bytes.size() < sizeof kMagic + 8 || !std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin())) return {};
  const auto body = bytes.first(bytes.size() - 8);
  if (FileChecksum(body) != ByteReader(bytes.last(8)).U64At(0)) return {};
  try {
    ByteReader in(body.subspan(sizeof kMagic));
    SlotState state;
    for (auto* pair : {&state.game, &state.backups}) {
      const uint8_t known = in.U8();
      if (known > 1) return {};
      if (!known) continue;
      PairDigests& d = pair->emplace();
      d.textures = ReadIdentity(in);
      d.props = ReadIdentity(in);
      d.positions = in.U64();
      for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) d.bySlot[slot] = ReadDigest(in);
    }
    for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
      state.sources[slot].contents = ReadDigest(in);
      const auto name = in.Take(in.U16());
      state.sources[slot].picture.assign(name.begin(), name.end());
    }
    if (in.Position() != in.Size()) return {};
    return state;
  } catch (const QuorlinError&) {
    return {};
  }
}

uint64_t PositionsChecksum(const SkinIndex& index) {
  std::vector<uint8_t> bytes;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    for (const int16_t p : index.TexturesSkinIndex[slot]) PutU16(bytes, static_cast<uint16_t>(p));
    PutU16(bytes, static_cast<uint16_t>(index.PropsSkinIndex[slot]));
  }
  return FileChecksum(bytes);
}

bool TakenOf(const std::optional<PairDigests>& known, const FileIdentity& textures, const FileIdentity& props) {
  return known && textures.file != 0 && props.file != 0 && known->textures == textures && known->props == props;
}

PairDigests TakeDigests(const ArchivePair& pair, const SkinIndex& index) {
  PairDigests now;
  now.textures = pair.textures.file->Native().Identity();
  now.props = pair.props.file->Native().Identity();
  now.positions = PositionsChecksum(index);
  std::vector<uint8_t> buffer;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    now.bySlot[slot] = DigestInPlace(pair, LocateSlot(pair, index, slot), buffer);
  }
  return now;
}

SlotState LoadSlotState(const GameLocation& game) {
  const std::string path = game.NativeWorkPath(kSlotStateName);
  try {
    if (NativeFileExists(path)) {
      if (auto state = DecodeSlotState(ReadWholeFile(path))) return *state;
    }
  } catch (const QuorlinError&) {
  }
  return {};
}

void SaveSlotState(const GameLocation& game, const SlotState& state) {
  try {
    WriteCacheFile(game.NativeWorkPath(kSlotStateName), EncodeSlotState(state));
  } catch (const QuorlinError&) {
  }
}

void RecordSlotChange(SlotState& state, int slot, const SlotDigest& now, const std::string& picture,
                      const std::pair<FileIdentity, FileIdentity>& before,
                      const std::pair<FileIdentity, FileIdentity>& after) {
  if (slot < kFirstMenuSlot || slot > kLastMenuSlot) return;
  if (state.game && state.game->textures == before.first && state.game->props == before.second) {
    state.game->textures = after.first;
    state.game->props = after.second;
    state.game->bySlot[slot] = now;
  } else {
    state.game.reset();
  }
  state.sources[slot] = {now, picture};
}

std::string SourceOf(const SlotState& state, int slot, const SlotDigest& contents) {
  if (slot < kFirstMenuSlot || slot > kLastMenuSlot || state.sources[slot].contents != contents) return {};
  return state.sources[slot].picture;
}

}  // namespace quorlin
