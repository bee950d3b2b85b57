#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorlin {

// Game paths are Windows paths formed as text (MechPath + MechPathSep + a relative
// name such as "resource\textures.mw4"). Everything that touches the file system
// first maps them to a native path here, in one place.

// The user's home folder ($HOME; empty when unset). The one place it is read.
std::string HomeFolder();

// An environment variable's value; empty when it is unset.
std::string EnvironmentValue(const char* name);

// The Wine prefix used to map drive letters: $WINEPREFIX, else ~/.wine.
std::string DefaultWinePrefix();

// Maps a Windows-form path to a native one. On Windows it is the path itself, or,
// for a file that has one, the copy Windows keeps of it for this user in
// %LOCALAPPDATA%\VirtualStore (what a program that Windows virtualizes, as it does
// the game, reads instead of the file). Elsewhere backslashes become slashes, "X:"
// goes through <prefix>/dosdevices/x:, and every part that does not exist with its
// exact case is matched case-insensitively against its directory, as Wine does.
std::string MapToNative(const std::string& windowsPath, const std::string& winePrefix);

// Whether MapToNative took this native path from the VirtualStore (always false
// elsewhere than on Windows).
bool IsVirtualStoreCopy(const std::string& nativePath);

// Why this process cannot write what a command is about to write (each native path:
// the file if it exists, and the folder it is in or would be created in), naming the
// folder: nothing when it can. A folder is tried once, by creating and removing a
// file of ours in it; a file by opening it for writing without changing it.
struct WriteRefusal {
  std::string Folder;  // the folder concerned (the file's folder for a file)
  std::string Reason;  // what this user may not do there, in plain words
};
std::optional<WriteRefusal> CannotWrite(const std::vector<std::string>& nativePaths);

// Whether this process may create and remove files in a folder of the program's own,
// as its permissions say (on Windows, by trying); true when the folder is not there yet.
bool FolderWritable(const std::string& nativeFolder);

// True when the path names an ordinary file. Attributes 0 means hidden and system
// files count as missing (on Windows; elsewhere any regular file counts).
// False for an empty path and on any failure.
bool FileExists(const std::string& path, int attributes, const std::string& winePrefix = DefaultWinePrefix());

// The same test for a path that is already native.
bool NativeFileExists(const std::string& nativePath);

// A native path (its names in UTF-8, as every file name is here) as std::filesystem
// takes it, and back: on Windows std::filesystem reads a plain string in another
// encoding.
std::filesystem::path FsPath(const std::string& nativePath);
std::string FromFsPath(const std::filesystem::path& path);

// Length in bytes of a native file; throws QuorlinError when it cannot be read.
unsigned long long NativeFileSize(const std::string& nativePath);

// Makes a native file writable and readable by its owner and clears Windows'
// read-only, hidden and system attributes ("normal" attributes).
void SetNormalAttributes(const std::string& nativePath);

}  // namespace quorlin
