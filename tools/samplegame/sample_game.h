#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "image/image_buffer.h"

namespace quorlin::sample {

// One entry of a generated archive.
struct EntrySpec {
  std::string name;
  std::vector<uint8_t> data;
  uint16_t skip = 0;  // bytes between the fixed part of the record and the name
};

struct ArchiveOptions {
  uint32_t seed = 1;
  bool shuffleDirectory = true;   // directory order differs from the given order
  bool shuffleData = true;        // data order differs from directory order
  uint32_t dataBasePadding = 16;  // bytes between the directory and DataBase
};

// Builds a whole archive: header, EntryCount = entries + 1, one record per entry
// (in shuffled order when asked), then the data. Returns the bytes.
std::vector<uint8_t> BuildArchive(std::vector<EntrySpec> entries, const ArchiveOptions& options);

struct GameOptions {
  uint32_t seed = 1;
  int fillerEntries = 300;           // other entries in each archive
  std::set<int> preparedSlots;       // empty: every slot 1..37
  std::set<int> unpreparedTextures;  // slots whose texture entries keep other lengths
  std::set<int> unpreparedProps;     // slots whose lobby entry keeps another length
  std::set<std::string> dropNames;   // expected names left out of the archives
  bool mixedCaseNames = false;       // store some skin names upper-cased with spaces
  bool writePictures = true;         // sample-skin.bmp and sample-skin.tga
};

// Writes <dir>/resource/textures.mw4 and props.mw4 (and the sample pictures).
void WriteSampleGame(const std::string& dir, const GameOptions& options);

// The picture the demo inserts: 512x512, colourful, with a distinct top-left.
ImageBuffer SamplePicture(int side = 512);

// A 24-bit bottom-up Windows bitmap of a buffer.
std::vector<uint8_t> EncodeBmp(const ImageBuffer& image);

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
