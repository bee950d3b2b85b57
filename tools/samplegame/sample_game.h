#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "image/image_buffer.h"

namespace quorlin::sample {

// The archive layout written field by field, little-endian, without the reader's
// help, so that tests can hold the reader against it:
//   header  0 Tag[4]  4 u32  8 u32  12 u32 DataBase  16 i16 EntryCount  18 u16
//   record  0 bytes[12]  12 u32 DataLength  16 u32 DataOffset  20 bytes[2]
//           22 u8 NameLength  23 u16 skip count  25 skipped bytes, then the name
std::vector<uint8_t> EncodeArchiveHeader(const ArchiveHeader& header);
std::vector<uint8_t> EncodeDirEntry(const DirEntry& entry, std::span<const uint8_t> skipped = {});

// One entry of a generated archive.
struct EntrySpec {
  std::string Name;
  std::vector<uint8_t> Data;
  uint16_t Skip = 0;  // bytes between the fixed part of the record and the name
};

struct ArchiveOptions {
  uint32_t Seed = 1;
  bool ShuffleDirectory = true;   // directory order differs from the given order
  bool ShuffleData = true;        // data order differs from directory order
  uint32_t DataBasePadding = 16;  // bytes between the directory and DataBase
};

// Where an entry went: its directory position, the file offset of its directory
// record, and its data's place in the file.
struct Placed {
  int Position = -1;
  uint64_t Record = 0;
  uint64_t Offset = 0;
  uint32_t Length = 0;
};

struct BuiltArchive {
  std::vector<uint8_t> Bytes;
  std::vector<Placed> Places;  // places[i] belongs to entries[i] as given
};

// Builds a whole archive: header, EntryCount = entries + 1, one record per entry
// (in shuffled order when asked), then the data with small gaps between entries.
BuiltArchive BuildArchive(const std::vector<EntrySpec>& entries, const ArchiveOptions& options);

struct GameOptions {
  uint32_t Seed = 1;
  int FillerEntries = 300;           // other entries in each archive
  int PropsFillerEntries = -1;       // other entries in props.mw4 if not the same
  std::set<int> PreparedSlots;       // empty: every slot 1..37
  std::set<int> UnpreparedTextures;  // slots whose texture entries keep other lengths
  std::set<int> UnpreparedProps;     // slots whose lobby entry keeps another length
  std::set<std::string> DropNames;   // expected names left out of the archives
  bool MixedCaseNames = false;       // store some skin names upper-cased with spaces
  bool WritePictures = true;         // sample-skin.bmp, .png and .tga
};

// Where every skin entry of a written game lies, keyed by its expected
// (lower-case) name: what tests compare the archives against.
struct SampleGame {
  std::map<std::string, Placed> Textures;
  std::map<std::string, Placed> Props;
  int TexturesRecords = 0;  // directory records in each archive (EntryCount - 1)
  int PropsRecords = 0;
};

// Writes <dir>/resource/textures.mw4 and props.mw4 (and the sample pictures).
SampleGame WriteSampleGame(const std::string& dir, const GameOptions& options);

// The picture the demo inserts: 512x512, colourful, with a distinct top-left.
ImageBuffer SamplePicture(int side = 512);

// A 24-bit bottom-up Windows bitmap of a buffer.
std::vector<uint8_t> EncodeBmp(const ImageBuffer& image);
// A PNG of a buffer: 8-bit RGB, rows unfiltered, in stored (uncompressed) deflate
// blocks, so that it is written without a compression library.
std::vector<uint8_t> EncodePng(const ImageBuffer& image);

// Writes bytes to a native file, replacing it.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);

// The text of the sample prefix's system.reg: the game's key under
// Software\Wow6432Node, "EXE Path" C:\GAMES\Mechwarrior Vengeance\ (letter case
// differing from the folders on purpose), "CDPath" D:\ and a dword.
std::string SampleSystemReg();

// A minimal Wine prefix: system.reg with the game's key under
// Software\Wow6432Node, dosdevices/c: linking to drive_c, and the game folder
// reachable as C:\Games\Mechwarrior Vengeance (a link to gameDir).
void WriteWinePrefix(const std::string& prefix, const std::string& gameDir);

}  // namespace quorlin::sample
