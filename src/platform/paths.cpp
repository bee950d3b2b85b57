#include "platform/paths.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace quorlin {

std::string TrimSpaces(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string DefaultWinePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
  return ".wine";
}

#ifdef _WIN32

std::string MapToNative(const std::string& windowsPath, const std::string& /*winePrefix*/) { return windowsPath; }

bool NativeFileExists(const std::string& nativePath) {
  if (nativePath.empty()) return false;
  const DWORD attributes = GetFileAttributesA(nativePath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (attributes & kNotOrdinary) == 0;
}

void SetNormalAttributes(const std::string& nativePath) {
  SetFileAttributesA(nativePath.c_str(), FILE_ATTRIBUTE_NORMAL);
}

#else

namespace {

// Resolves one path part inside dir: the exact name when it exists, else the
// first entry whose name matches ignoring ASCII case, else the name as given.
std::string ResolvePart(const fs::path& dir, const std::string& part) {
  std::error_code ec;
  if (part == "." || part == ".." || fs::exists(dir / part, ec)) return part;
  const std::string wanted = LowerAscii(part);
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (LowerAscii(name) == wanted) return name;
  }
  return part;
}

}  // namespace

std::string MapToNative(const std::string& windowsPath, const std::string& winePrefix) {
  std::string path = windowsPath;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  fs::path base;
  std::string rest = path;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    base = fs::path(winePrefix) / "dosdevices" / (std::string(1, drive) + ":");
    rest = path.substr(2);
  } else if (!path.empty() && path[0] == '/') {
    base = "/";
    rest = path.substr(1);
  }
  // Walk the parts, fixing letter case where the exact name is not there.
  fs::path result = base;
  size_t pos = 0;
  while (pos <= rest.size()) {
    const size_t slash = rest.find('/', pos);
    const std::string part = rest.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    if (!part.empty()) result /= ResolvePart(result, part);
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  if (result.empty()) return path;
  return result.string();
}

bool NativeFileExists(const std::string& nativePath) {
  if (nativePath.empty()) return false;
  struct stat st {};
  return ::stat(nativePath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void SetNormalAttributes(const std::string& nativePath) {
  struct stat st {};
  if (::stat(nativePath.c_str(), &st) != 0) {
    throw ErrorFromErrno(errno, "Cannot read the attributes of", nativePath);
  }
  if (::chmod(nativePath.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) != 0) {
    throw ErrorFromErrno(errno, "Cannot set the attributes of", nativePath);
  }
}

#endif

bool FileExists(const std::string& path, int /*attributes*/, const std::string& winePrefix) {
  // Every caller passes attributes 0: ordinary files only.
  if (path.empty()) return false;
  return NativeFileExists(MapToNative(path, winePrefix));
}

unsigned long long NativeFileSize(const std::string& nativePath) {
  std::error_code ec;
  const auto size = fs::file_size(nativePath, ec);
  if (ec) throw ErrorFromErrno(ec.value(), "Cannot read the size of", nativePath);
  return size;
}

}  // namespace quorlin
