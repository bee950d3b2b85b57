#pragma once

#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace quorlin::test {

// A fresh folder under the system's temporary directory, removed with all in it (read-only files too).
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("quorlin-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string operator/(const std::string& relative) const { return (path_ / relative).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace quorlin::test
