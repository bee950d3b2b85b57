#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "archive/archive.h"
#include "archive/skin_index.h"
#include "samplegame/sample_game.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace quorlin::test {

// Small generated games: a few prepared slots, a few dozen other entries.
inline sample::GameOptions SmallGame(std::set<int> prepared = {9, 12, 37}) {
  sample::GameOptions options;
  options.fillerEntries = 40;
  options.preparedSlots = std::move(prepared);
  options.writePictures = false;
  return options;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) { return sample::ReadFile(path); }

// The stored bytes of the entry with this name (first match), found through the
// archive's own directory.
inline std::vector<uint8_t> EntryBytes(const std::string& archivePath, const std::string& name) {
  const std::vector<uint8_t> bytes = ReadBytes(archivePath);
  const ArchiveDirectory dir = ParseArchiveDirectory(bytes);
  const long p = dir.Find(name);
  if (p < 0) return {};
  const DirEntry& e = dir.Directory[static_cast<size_t>(p)];
  const auto start = static_cast<size_t>(ArchiveDirectory::DataPosition(dir.Header, e));
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                              bytes.begin() + static_cast<std::ptrdiff_t>(start + e.DataLength));
}

// A file or folder the kernel refuses to change, even for root (the immutable
// flag); undone when the guard goes. Skips the test where the file system lacks it.
class Immutable {
 public:
  explicit Immutable(std::string path) : path_(std::move(path)) { ok_ = SetFlag(true); }
  ~Immutable() {
    if (ok_) SetFlag(false);
  }
  bool ok() const { return ok_; }
  void Release() {
    if (ok_) SetFlag(false);
    ok_ = false;
  }

 private:
  bool SetFlag(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }
  std::string path_;
  bool ok_ = false;
};

// A generated game with start-up already run on it.
class GameTest : public ::testing::Test {
 protected:
  void MakeGame(const sample::GameOptions& options = SmallGame()) { sample::WriteSampleGame(dir.str(), options); }
  Outcome Start() {
    StartupOptions options;
    options.GameDir = dir.str();
    return Form_Load(state, shell, options);
  }
  std::string Resource(const std::string& name) const { return dir / ("resource/" + name); }
  std::string Textures() const { return Resource("textures.mw4"); }
  std::string Props() const { return Resource("props.mw4"); }

  // Loads a picture straight into LoadedImage, as a successful File > Open does.
  void LoadPicture(const ImageBuffer& picture) {
    state.LoadedImage = picture;
    CopyImage(state.LoadedImage, state.WorkImage);
  }

  TempDir dir;
  ProgramState state;
  RecordingShell shell;
};

}  // namespace quorlin::test
