#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "samplegame/sample_game.h"
#include "support/recording_front_end.h"
#include "support/temp_dir.h"

namespace quorlin::test {

// Small generated games: a few prepared slots, a few dozen other entries.
inline sample::GameOptions SmallGame(std::set<int> prepared = {9, 12, 37}) {
  sample::GameOptions options;
  options.FillerEntries = 40;
  options.PreparedSlots = std::move(prepared);
  options.WritePictures = false;
  return options;
}

// A file's bytes; none when it is not there.
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  return std::filesystem::exists(path) ? sample::ReadFile(path) : std::vector<uint8_t>{};
}

// Compares whole files, naming the first differing byte rather than printing megabytes.
inline ::testing::AssertionResult SameBytes(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  if (got == want) return ::testing::AssertionSuccess();
  const auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
  return ::testing::AssertionFailure() << got.size() << " bytes, not " << want.size() << "; byte " << at << " differs";
}

// The bytes at a place the generator recorded, and that place overwritten.
inline std::vector<uint8_t> At(const std::vector<uint8_t>& file, const sample::Placed& place) {
  if (place.Offset + place.Length > file.size()) return {};
  const auto begin = file.begin() + static_cast<std::ptrdiff_t>(place.Offset);
  return {begin, begin + place.Length};
}
inline void Put(std::vector<uint8_t>& file, const sample::Placed& place, const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(bytes.size(), place.Length);
  std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(place.Offset));
}

// The bytes with some of them changed: {offset, new value} pairs.
inline std::vector<uint8_t> With(std::vector<uint8_t> bytes, std::initializer_list<std::pair<size_t, uint8_t>> edits) {
  for (const auto& [at, value] : edits) bytes.at(at) = value;
  return bytes;
}

// A square level as stored: a Targa header, then every step-th pixel or (box) its step x step block's rounded mean.
inline std::vector<uint8_t> LevelTarga(const ImageBuffer& picture, int side, bool box = false) {
  const auto lo = static_cast<uint8_t>(side & 0xFF), hi = static_cast<uint8_t>(side >> 8);
  std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, lo, hi, lo, hi, 24, 0x20};
  const int step = picture.Width / side, n = box ? step : 1;
  for (int i = 0; i < side * side * 3; ++i) {  // row by row, each pixel's three channels in turn
    const int x = i / 3 % side, y = i / 3 / side, c = i % 3;
    int sum = 0;
    for (int j = 0; j < n * n; ++j) sum += picture.Pixels[picture.Offset(x * step + j % n, y * step + j / n) + c];
    out.push_back(static_cast<uint8_t>((sum + n * n / 2) / (n * n)));
  }
  return out;
}

// Every pixel telling its position (blue x, green y, red both with their high bits): a shift, flip or swap shows.
inline ImageBuffer PositionPicture(int width = 512, int height = 0) {
  ImageBuffer image{width, height > 0 ? height : width, 24, {}};
  for (int i = 0; i < image.Width * image.Height; ++i) {
    const int x = i % image.Width, y = i / image.Width;
    const auto mixed = static_cast<uint8_t>((x >> 8 | y >> 8 << 1) | (((x * 7) ^ (y * 13)) & 0xF8));
    image.Pixels.insert(image.Pixels.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(y), mixed});
  }
  return image;
}

// An uncompressed 24-bit Targa, rows as the descriptor's origin bits say (0: bottom-up), after an ID and a colour map.
inline std::vector<uint8_t> Targa(const ImageBuffer& image, uint8_t descriptor = 0, uint8_t idLength = 0,
                                  uint16_t mapEntries = 0) {
  std::vector<uint8_t> out(18, 0);
  out[0] = idLength, out[1] = mapEntries ? 1 : 0, out[2] = 2, out[7] = 24, out[16] = 24, out[17] = descriptor;
  for (const auto& [at, value] : {std::pair{5, int{mapEntries}}, {12, image.Width}, {14, image.Height}}) {
    out[at] = static_cast<uint8_t>(value), out[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  out.resize(out.size() + idLength + mapEntries * 3u, 'I');
  for (int k = 0; k < image.Width * image.Height; ++k) {  // the k-th pixel stored
    const int r = k / image.Width, i = k % image.Width;
    const int x = (descriptor & 0x10) ? image.Width - 1 - i : i, y = (descriptor & 0x20) ? r : image.Height - 1 - r;
    for (int c = 0; c < 3; ++c) out.push_back(image.Pixels[image.Offset(x, y) + c]);
  }
  return out;
}

// Sets an environment variable for the rest of the process, or removes it (nullptr).
inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  value ? setenv(name, value, 1) : unsetenv(name);
#endif
}

inline std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

#ifdef __linux__
// A file or folder even root cannot change (the immutable flag) until the guard goes; ok(): the flag was set.
class Immutable {
 public:
  explicit Immutable(std::string path) : path_(std::move(path)), ok_(Chattr("+i")) {}
  ~Immutable() { Release(); }
  bool ok() const { return ok_; }
  void Release() { if (std::exchange(ok_, false)) Chattr("-i"); }

 private:
  bool Chattr(const char* flag) const {
    return std::system(("chattr " + std::string(flag) + " '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  std::string path_;
  bool ok_;
};
#endif

// A generated game in its own folder, its archives' layout, and a program state and recording ui over it.
struct TestGame {
  explicit TestGame(const sample::GameOptions& o = SmallGame()) : layout(sample::WriteSampleGame(dir.str(), o)) {}
  Outcome Start() {
    state = ProgramState{};
    ui = RecordingFrontEnd{};
    StartupOptions options;
    options.GameDir = dir.str();
    return StartUp(state, ui, options).Outcome;
  }
  std::string Resource(const std::string& name) const {  // with the platform's separators, as the program prints
    return std::filesystem::path(dir / ("resource/" + name)).make_preferred().string();
  }
  std::string Textures() const { return Resource("textures.mw4"); }
  std::string Props() const { return Resource("props.mw4"); }
  void LoadPicture(const ImageBuffer& picture) { state.LoadedImage = picture; }  // as File > Open leaves it
  // A command as the window runs it: files opened afresh, closed when it ends.
  Outcome Run(auto command) {
    ui = RecordingFrontEnd{};
    state.Archives.Close();
    const Outcome outcome = command();
    state.Archives.Close();
    return outcome;
  }
  Outcome Insert(int slot, LevelFilter filter = LevelFilter::Nearest) {
    SelectSlot(state, static_cast<int16_t>(slot));
    return Run([&] { return InsertIntoSelectedSlot(state, ui, filter); });
  }
  // The archives as they must be after a picture went into a slot.
  void Inserted(std::vector<uint8_t>& textures, std::vector<uint8_t>& props, int slot, const ImageBuffer& picture,
                bool withProps = true, bool box = false) const {
    for (int level = 0; level < 6; ++level) {
      Put(textures, layout.Textures.at(ExpectedTextureName(slot, level)), LevelTarga(picture, 512 >> level, box));
    }
    if (withProps) Put(props, layout.Props.at(ExpectedLobbyName(slot)), LevelTarga(picture, 32, box));
  }
  // Rewrites one 32-bit field (12: DataLength, 16: DataOffset) of the record of slot 12's level (6: its
  // lobby preview); DataOffset is set so that the entry ends pastEnd bytes past the end of the file.
  void SetRecord(int level, size_t field, uint32_t value, int pastEnd = 0) const {
    const std::string file = level == 6 ? Props() : Textures();
    auto bytes = ReadBytes(file);
    const auto& place =
        level == 6 ? layout.Props.at(ExpectedLobbyName(12)) : layout.Textures.at(ExpectedTextureName(12, level));
    const uint32_t dataBase = bytes[12] | bytes[13] << 8 | bytes[14] << 16 | bytes[15] << 24;
    if (field == 16) value = static_cast<uint32_t>(bytes.size() + pastEnd - place.Length - dataBase);
    for (int k = 0; k < 4; ++k) bytes[place.Record + field + k] = static_cast<uint8_t>(value >> (8 * k));
    sample::WriteFile(file, bytes);
  }

  TempDir dir;
  sample::SampleGame layout;
  ProgramState state;
  RecordingFrontEnd ui;
};

}  // namespace quorlin::test
