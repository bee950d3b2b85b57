#include "archive/slot_digests.h"

#include "base/error.h"
#include "platform/paths.h"
#include "platform/little_endian.h"

namespace quorlin {

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'L', 'N', 'S', 'L', 'T', '1'};

void PutIdentity(std::vector<uint8_t>& out, const FileIdentity& id) {
  for (const uint64_t v :
       {id.Device, id.File, id.Size, static_cast<uint64_t>(id.Modified), static_cast<uint64_t>(id.Changed)}) {
    PutU64(out, v);
  }
}

FileIdentity ReadIdentity(ByteReader& in) {
  FileIdentity id;
  id.Device = in.U64(), id.File = in.U64(), id.Size = in.U64();
  id.Modified = static_cast<int64_t>(in.U64()), id.Changed = static_cast<int64_t>(in.U64());
  return id;
}

void PutDigest(std::vector<uint8_t>& out, const SlotDigest& d) {
  PutU64(out, d.Low);
  PutU64(out, d.High);
}

SlotDigest ReadDigest(ByteReader& in) {
  SlotDigest d;
  d.Low = in.U64(), d.High = in.U64();
  return d;
}

}  // namespace

std::vector<uint8_t> EncodeSlotState(const SlotState& state) {
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  for (const auto* pair : {&state.Game, &state.Backups}) {
    out.push_back(pair->has_value());
    if (!*pair) continue;
    PutIdentity(out, (*pair)->Textures);
    PutIdentity(out, (*pair)->Props);
    PutU64(out, (*pair)->Positions);
    for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) PutDigest(out, (*pair)->BySlot[slot]);
  }
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    const SlotSource& source = state.Sources[slot];
    PutDigest(out, source.Contents);
    const size_t n = std::min<size_t>(source.Picture.size(), 0xFFFF);
    PutU16(out, static_cast<uint16_t>(n));
    out.insert(out.end(), source.Picture.begin(), source.Picture.begin() + static_cast<std::ptrdiff_t>(n));
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
    for (auto* pair : {&state.Game, &state.Backups}) {
      const uint8_t known = in.U8();
      if (known > 1) return {};
      if (!known) continue;
      PairDigests& d = pair->emplace();
      d.Textures = ReadIdentity(in);
      d.Props = ReadIdentity(in);
      d.Positions = in.U64();
      for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) d.BySlot[slot] = ReadDigest(in);
    }
    for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
      state.Sources[slot].Contents = ReadDigest(in);
      const auto name = in.Take(in.U16());
      state.Sources[slot].Picture.assign(name.begin(), name.end());
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
  return known && textures.File != 0 && props.File != 0 && known->Textures == textures && known->Props == props;
}

PairDigests TakeDigests(const ArchivePair& pair, const SkinIndex& index) {
  PairDigests now;
  now.Textures = pair.Textures.File->Native().Identity();
  now.Props = pair.Props.File->Native().Identity();
  now.Positions = PositionsChecksum(index);
  std::vector<uint8_t> buffer;
  for (int slot = kFirstMenuSlot; slot <= kLastMenuSlot; ++slot) {
    now.BySlot[slot] = DigestInPlace(pair, LocateSlot(pair, index, slot), buffer);
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
  if (state.Game && state.Game->Textures == before.first && state.Game->Props == before.second) {
    state.Game->Textures = after.first;
    state.Game->Props = after.second;
    state.Game->BySlot[slot] = now;
  } else {
    state.Game.reset();
  }
  state.Sources[slot] = {now, picture};
}

std::string SourceOf(const SlotState& state, int slot, const SlotDigest& contents) {
  if (slot < kFirstMenuSlot || slot > kLastMenuSlot || state.Sources[slot].Contents != contents) return {};
  return state.Sources[slot].Picture;
}

}  // namespace quorlin
