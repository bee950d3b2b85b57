#include "samplegame/sample_game.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <stdexcept>

#include "archive/patch.h"
#include "archive/skin_index.h"
#include "image/targa.h"

namespace fs = std::filesystem;

namespace quorlin::sample {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
}

}  // namespace

std::vector<uint8_t> EncodeArchiveHeader(const ArchiveHeader& h) {
  std::vector<uint8_t> out(h.Tag.begin(), h.Tag.end());
  Put32(out, h.Unknown4);
  Put32(out, h.Unknown8);
  Put32(out, h.DataBase);
  Put16(out, static_cast<uint16_t>(h.EntryCount));
  Put16(out, h.Unknown18);
  return out;
}

std::vector<uint8_t> EncodeDirEntry(const DirEntry& e, std::span<const uint8_t> skipped) {
  std::vector<uint8_t> out(e.Unknown0.begin(), e.Unknown0.end());
  Put32(out, e.DataLength);
  Put32(out, e.DataOffset);
  out.insert(out.end(), e.Unknown20.begin(), e.Unknown20.end());
  out.push_back(e.NameLength);
  Put16(out, static_cast<uint16_t>(skipped.size()));
  out.insert(out.end(), skipped.begin(), skipped.end());
  out.insert(out.end(), e.Name.begin(), e.Name.begin() + std::min<size_t>(e.NameLength, e.Name.size()));
  return out;
}

BuiltArchive BuildArchive(const std::vector<EntrySpec>& entries, const ArchiveOptions& options) {
  std::mt19937 rng(options.Seed);
  // Directory order: a permutation of the given order; data order: another one.
  std::vector<size_t> directoryOrder(entries.size());
  std::iota(directoryOrder.begin(), directoryOrder.end(), size_t{0});
  if (options.ShuffleDirectory) std::shuffle(directoryOrder.begin(), directoryOrder.end(), rng);
  std::vector<size_t> dataOrder = directoryOrder;
  if (options.ShuffleData) std::shuffle(dataOrder.begin(), dataOrder.end(), rng);

  BuiltArchive built;
  built.Places.resize(entries.size());
  size_t directorySize = 0;
  for (size_t p = 0; p < directoryOrder.size(); ++p) {
    const EntrySpec& e = entries[directoryOrder[p]];
    built.Places[directoryOrder[p]].Position = static_cast<int>(p);
    directorySize += kDirEntryFixedSize + e.Skip + e.Name.size();
  }
  uint32_t next = 0;
  for (size_t i : dataOrder) {
    built.Places[i].Offset = next;
    built.Places[i].Length = static_cast<uint32_t>(entries[i].Data.size());
    next += built.Places[i].Length + static_cast<uint32_t>(rng() % 8);  // small gaps
  }

  ArchiveHeader header;
  header.Tag = {'M', 'W', '4', 'A'};
  header.Unknown4 = 0x00010002;
  header.Unknown8 = static_cast<uint32_t>(entries.size());
  header.DataBase = static_cast<uint32_t>(kArchiveHeaderSize + directorySize + options.DataBasePadding);
  header.EntryCount = static_cast<int16_t>(entries.size() + 1);
  header.Unknown18 = 0xBEEF;

  std::vector<uint8_t>& out = built.Bytes;
  out = EncodeArchiveHeader(header);
  for (size_t i : directoryOrder) {
    built.Places[i].Record = out.size();
    DirEntry d;
    for (auto& b : d.Unknown0) b = static_cast<uint8_t>(rng());
    d.DataLength = built.Places[i].Length;
    d.DataOffset = static_cast<uint32_t>(built.Places[i].Offset);
    d.Unknown20 = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
    d.NameLength = static_cast<uint8_t>(entries[i].Name.size());
    d.Name = entries[i].Name;
    std::vector<uint8_t> skipped(entries[i].Skip);
    for (auto& b : skipped) b = static_cast<uint8_t>(rng());
    const auto record = EncodeDirEntry(d, skipped);
    out.insert(out.end(), record.begin(), record.end());
  }
  out.resize(header.DataBase, 0xAA);
  out.resize(header.DataBase + static_cast<size_t>(next), 0x55);
  for (size_t i = 0; i < entries.size(); ++i) {
    built.Places[i].Offset += header.DataBase;
    std::copy(entries[i].Data.begin(), entries[i].Data.end(),
              out.begin() + static_cast<std::ptrdiff_t>(built.Places[i].Offset));
  }
  return built;
}

ImageBuffer SamplePicture(int side) {
  ImageBuffer image;
  image.Width = side;
  image.Height = side;
  image.BitsPerPixel = 24;
  image.Pixels.resize(static_cast<size_t>(side) * static_cast<size_t>(side) * 3);
  const int c = side / 2;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      const int dx = x - c;
      const int dy = y - c;
      const bool ring = dx * dx + dy * dy < (side / 3) * (side / 3) && dx * dx + dy * dy > (side / 4) * (side / 4);
      const bool checker = ((x / 32) + (y / 32)) % 2 == 0;
      p[0] = static_cast<uint8_t>(ring ? 40 : (x * 255) / side);       // blue
      p[1] = static_cast<uint8_t>(ring ? 200 : (checker ? 90 : 150));  // green
      p[2] = static_cast<uint8_t>(ring ? 250 : (y * 255) / side);      // red
      // Every pixel distinct enough that sampling mistakes show: mix in x and y.
      p[0] = static_cast<uint8_t>(p[0] ^ (y & 7));
      p[1] = static_cast<uint8_t>(p[1] ^ (x & 7));
    }
  }
  // A marked top-left corner, so an upside-down picture is obvious.
  for (int y = 0; y < side / 16; ++y) {
    for (int x = 0; x < side / 16; ++x) {
      uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      p[0] = 255;
      p[1] = 255;
      p[2] = 255;
    }
  }
  return image;
}

std::vector<uint8_t> EncodeBmp(const ImageBuffer& image) {
  const uint32_t row = (static_cast<uint32_t>(image.Width) * 3 + 3) & ~3u;
  const uint32_t pixels = row * static_cast<uint32_t>(image.Height);
  std::vector<uint8_t> out = {'B', 'M'};
  Put32(out, 54 + pixels);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(image.Width));
  Put32(out, static_cast<uint32_t>(image.Height));  // positive: bottom-up
  Put16(out, 1);
  Put16(out, 24);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  for (int y = image.Height - 1; y >= 0; --y) {
    const uint8_t* p = image.Pixels.data() + image.Offset(0, y);
    out.insert(out.end(), p, p + image.Width * 3);
    out.resize(out.size() + (row - static_cast<uint32_t>(image.Width) * 3), 0);
  }
  return out;
}

namespace {

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
}

// Appends one PNG chunk: length, type, data, and the CRC-32 of type and data.
void PngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = start; i < out.size(); ++i) {
    crc ^= out[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  PutBig32(out, ~crc);
}

}  // namespace

std::vector<uint8_t> EncodePng(const ImageBuffer& image) {
  std::vector<uint8_t> raw;  // each row: filter type 0, then red, green, blue
  for (int y = 0; y < image.Height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < image.Width; ++x) {
      const uint8_t* p = image.Pixels.data() + image.Offset(x, y);
      raw.insert(raw.end(), {p[2], p[1], p[0]});
    }
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  uint32_t a = 1;
  uint32_t b = 0;
  for (const uint8_t v : raw) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size(); at += 65535) {
    const auto n = static_cast<uint16_t>(std::min<size_t>(65535, raw.size() - at));
    const auto inverse = static_cast<uint16_t>(~n);
    z.insert(z.end(),
             {static_cast<uint8_t>(at + n == raw.size()), static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8),
              static_cast<uint8_t>(inverse & 0xFF), static_cast<uint8_t>(inverse >> 8)});
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  PutBig32(z, b << 16 | a);
  std::vector<uint8_t> header;
  PutBig32(header, static_cast<uint32_t>(image.Width));
  PutBig32(header, static_cast<uint32_t>(image.Height));
  header.insert(header.end(), {8, 2, 0, 0, 0});
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  PngChunk(out, "IHDR", header);
  PngChunk(out, "IDAT", z);
  PngChunk(out, "IEND", {});
  return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw std::runtime_error("cannot read " + path);
  return bytes;
}

namespace {

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// A stored Targa image of a solid colour: what a prepared entry holds before a
// skin is inserted.
std::vector<uint8_t> SolidTarga(int side, uint8_t b, uint8_t g, uint8_t r) {
  ImageBuffer image;
  image.Width = side;
  image.Height = side;
  image.BitsPerPixel = 24;
  image.Pixels.resize(static_cast<size_t>(side) * static_cast<size_t>(side) * 3);
  for (size_t i = 0; i < image.Pixels.size(); i += 3) {
    image.Pixels[i] = b;
    image.Pixels[i + 1] = g;
    image.Pixels[i + 2] = r;
  }
  return SaveTGA(image);
}

std::string StoredName(const std::string& expected, bool mixedCase, std::mt19937& rng) {
  if (!mixedCase || rng() % 4 != 0) return expected;
  std::string upper = expected;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return upper + "  ";
}

std::vector<EntrySpec> Fillers(std::mt19937& rng, int count, const std::string& folder) {
  std::vector<EntrySpec> entries;
  for (int i = 0; i < count; ++i) {
    EntrySpec e;
    e.Name = folder + "\\item" + std::to_string(i) + (i % 3 ? ".tga" : ".dds");
    e.Data = RandomBytes(rng, 16 + rng() % 1500);
    e.Skip = static_cast<uint16_t>(i % 5 == 0 ? 1 + rng() % 40 : 0);
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace

SampleGame WriteSampleGame(const std::string& dir, const GameOptions& options) {
  std::mt19937 rng(options.Seed);
  fs::create_directories(fs::path(dir) / "resource");
  auto prepared = [&](int slot) { return options.PreparedSlots.empty() || options.PreparedSlots.count(slot) > 0; };

  std::vector<EntrySpec> textures = Fillers(rng, options.FillerEntries, "textures");
  std::vector<EntrySpec> props =
      Fillers(rng, options.PropsFillerEntries < 0 ? options.FillerEntries : options.PropsFillerEntries,
              "shellscripts\\graphics\\misc");
  // The expected name of each skin entry, by its index in the entry lists.
  std::map<size_t, std::string> textureNames;
  std::map<size_t, std::string> propsNames;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const auto shade = static_cast<uint8_t>(slot * 6);
    for (int level = 0; level < kLevelCount; ++level) {
      const std::string name = ExpectedTextureName(slot, level);
      if (options.DropNames.count(name)) continue;
      EntrySpec e;
      e.Name = StoredName(name, options.MixedCaseNames, rng);
      if (prepared(slot) && !options.UnpreparedTextures.count(slot)) {
        e.Data = SolidTarga(512 >> level, shade, static_cast<uint8_t>(255 - shade), static_cast<uint8_t>(level * 40));
      } else {
        // What an unprepared entry looks like: a compressed image of another length.
        e.Data = RandomBytes(rng, RequiredTextureLength(level) / 6 + 1);
      }
      e.Skip = static_cast<uint16_t>(slot % 7 == 0 ? 3 + level : 0);
      textureNames[textures.size()] = name;
      textures.push_back(std::move(e));
    }
    const std::string lobby = ExpectedLobbyName(slot);
    if (!options.DropNames.count(lobby)) {
      EntrySpec e;
      e.Name = StoredName(lobby, options.MixedCaseNames, rng);
      if (prepared(slot) && !options.UnpreparedProps.count(slot)) {
        e.Data = SolidTarga(kLobbySide, static_cast<uint8_t>(255 - shade), shade, 128);
      } else {
        e.Data = RandomBytes(rng, 1200);
      }
      e.Skip = static_cast<uint16_t>(slot % 5 == 0 ? 2 : 0);
      propsNames[props.size()] = lobby;
      props.push_back(std::move(e));
    }
  }
  SampleGame game;
  ArchiveOptions archive;
  archive.Seed = options.Seed;
  const BuiltArchive builtTextures = BuildArchive(textures, archive);
  archive.Seed = options.Seed + 1000;
  const BuiltArchive builtProps = BuildArchive(props, archive);
  for (const auto& [i, name] : textureNames) game.Textures[name] = builtTextures.Places[i];
  for (const auto& [i, name] : propsNames) game.Props[name] = builtProps.Places[i];
  game.TexturesRecords = static_cast<int>(textures.size());
  game.PropsRecords = static_cast<int>(props.size());
  WriteFile((fs::path(dir) / "resource" / "textures.mw4").string(), builtTextures.Bytes);
  WriteFile((fs::path(dir) / "resource" / "props.mw4").string(), builtProps.Bytes);

  if (options.WritePictures) {
    const ImageBuffer picture = SamplePicture();
    WriteFile((fs::path(dir) / "sample-skin.bmp").string(), EncodeBmp(picture));
    WriteFile((fs::path(dir) / "sample-skin.png").string(), EncodePng(picture));
    WriteFile((fs::path(dir) / "sample-skin.tga").string(), SaveTGA(picture));
  }
  return game;
}

std::string SampleSystemReg() {
  // The registry path's letter case differs from the folders on purpose: Windows
  // paths are case-insensitive, and so is their mapping here.
  return "WINE REGISTRY Version 2\n"
         ";; All keys relative to \\\\Machine\n"
         "\n"
         "#arch=win64\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance] 1733475600\n"
         "#time=1db47c0a1b2c3d4\n"
         "\"CDPath\"=\"D:\\\\\"\n"
         "\"EXE Path\"=\"C:\\\\GAMES\\\\Mechwarrior Vengeance\\\\\"\n"
         "\"Version\"=dword:00000001\n"
         "\n";
}

void WriteWinePrefix(const std::string& prefix, const std::string& gameDir) {
  const fs::path root(prefix);
  fs::create_directories(root / "drive_c" / "Games");
  fs::create_directories(root / "dosdevices");
  std::error_code ec;
  fs::remove(root / "dosdevices" / "c:", ec);
  fs::create_directory_symlink("../drive_c", root / "dosdevices" / "c:");
  const fs::path link = root / "drive_c" / "Games" / "Mechwarrior Vengeance";
  fs::remove(link, ec);
  fs::create_directory_symlink(fs::absolute(gameDir), link);

  const std::string reg = SampleSystemReg();
  WriteFile((root / "system.reg").string(), std::vector<uint8_t>(reg.begin(), reg.end()));
}

}  // namespace quorlin::sample
