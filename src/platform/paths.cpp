#include "platform/paths.h"

#include "base/strings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "platform/system_error.h"
#include "platform/native_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace quorlin {

std::string HomeFolder() { return EnvironmentValue("HOME"); }

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string DefaultWinePrefix() {
  if (std::string prefix = EnvironmentValue("WINEPREFIX"); !prefix.empty()) return prefix;
  if (const std::string home = HomeFolder(); !home.empty()) return home + "/.wine";
  return ".wine";
}

#ifdef _WIN32

namespace {
// %LOCALAPPDATA%\VirtualStore\ + the path without its drive, for "X:\..." paths.
std::string VirtualStorePath(const std::string& windowsPath) {
  const char* local = std::getenv("LOCALAPPDATA");
  if (!local || !*local || windowsPath.size() < 3 || windowsPath[1] != ':' || windowsPath[2] != '\\') return {};
  return std::string(local) + "\\VirtualStore" + windowsPath.substr(2);
}
}  // namespace

std::string MapToNative(const std::string& windowsPath, const std::string& /*winePrefix*/) {
  const std::string copy = VirtualStorePath(windowsPath);
  return !copy.empty() && NativeFileExists(copy) ? copy : windowsPath;
}

bool IsVirtualStoreCopy(const std::string& nativePath) {
  const char* local = std::getenv("LOCALAPPDATA");
  return local && *local && LowerAscii(nativePath).rfind(LowerAscii(std::string(local) + "\\VirtualStore\\"), 0) == 0;
}

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

bool IsVirtualStoreCopy(const std::string&) { return false; }

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
  std::replace(path.begin(), path.end(), '\\', '/');
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

fs::path FsPath(const std::string& nativePath) { return fs::path(std::u8string(nativePath.begin(), nativePath.end())); }

std::string FromFsPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

unsigned long long NativeFileSize(const std::string& nativePath) {
  std::error_code ec;
  const auto size = fs::file_size(nativePath, ec);
  if (ec) throw ErrorFromErrno(ec.value(), "Cannot read the size of", nativePath);
  return size;
}

namespace {

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of("/\\");
  return cut == std::string::npos ? "." : path.substr(0, cut == 0 ? 1 : cut);
}

#ifdef _WIN32
// Whether the folder refuses this process a new file of its own.
bool CreatingRefused(const std::string& folder) {
  const std::string probe = folder + "\\quorlin" + kTemporaryMark + "probe";
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(file);
  return false;
}
bool WritingRefused(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(file);
  return false;
}
#else
bool Refusal(int err) { return err == EACCES || err == EPERM || err == EROFS; }
bool CreatingRefused(const std::string& folder) {
  std::string probe = folder + "/quorlin" + kTemporaryMark + "probe-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return Refusal(errno);
  ::close(fd);
  ::unlink(probe.c_str());
  return false;
}
bool WritingRefused(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return Refusal(errno);
  ::close(fd);
  return false;
}
#endif

}  // namespace

std::optional<WriteRefusal> CannotWrite(const std::vector<std::string>& nativePaths) {
  std::vector<std::string> probed;  // one probe file per folder, however many files lie there
  for (const std::string& path : nativePaths) {
    const std::string folder = FolderOf(path);
    const bool seen = std::find(probed.begin(), probed.end(), folder) != probed.end();
    if (!seen) probed.push_back(folder);
    if (!seen && CreatingRefused(folder)) {
      return WriteRefusal{folder, "this user may not create files in it (no permission to write in the folder)"};
    }
    if (NativeFileExists(path) && WritingRefused(path)) {
      return WriteRefusal{folder, "this user may not change " + path.substr(folder.size() + 1) +
                                      " in it (no permission to write the file)"};
    }
  }
  return std::nullopt;
}

bool FolderWritable(const std::string& nativeFolder) {
#ifdef _WIN32
  // A folder's read-only attribute means nothing on Windows; its access list is what
  // counts, and trying is the one sure way to know it.
  const DWORD attributes = GetFileAttributesA(nativeFolder.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || !CreatingRefused(nativeFolder);
#else
  return ::access(nativeFolder.c_str(), F_OK) != 0 || ::access(nativeFolder.c_str(), W_OK | X_OK) == 0;
#endif
}

}  // namespace quorlin
