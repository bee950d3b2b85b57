#pragma once

#include <string>

namespace quorlin {

// Game paths are Windows paths formed as text (MechPath + MechPathSep + a relative
// name such as "resource\textures.mw4"). Everything that touches the file system
// first maps them to a native path here, in one place.

// The Wine prefix used to map drive letters: $WINEPREFIX, else ~/.wine.
std::string DefaultWinePrefix();

// Maps a Windows-form path to a native one. On Windows the path is returned as is.
// Elsewhere backslashes become slashes, "X:" goes through <prefix>/dosdevices/x:,
// and every part that does not exist with its exact case is matched
// case-insensitively against its directory, as Wine does.
std::string MapToNative(const std::string& windowsPath, const std::string& winePrefix);

// True when the path names an ordinary file. Attributes 0 means hidden and system
// files count as missing (on Windows; elsewhere any regular file counts).
// False for an empty path and on any failure.
bool FileExists(const std::string& path, int attributes, const std::string& winePrefix = DefaultWinePrefix());

// The same test for a path that is already native.
bool NativeFileExists(const std::string& nativePath);

// Length in bytes of a native file; throws QuorlinError when it cannot be read.
unsigned long long NativeFileSize(const std::string& nativePath);

// Makes a native file writable and readable by its owner and clears Windows'
// read-only, hidden and system attributes ("normal" attributes).
void SetNormalAttributes(const std::string& nativePath);

// Trims leading and trailing spaces only (not tabs), as the game paths and entry
// names are compared.
std::string TrimSpaces(const std::string& text);

// ASCII lower case; other bytes are left alone.
std::string LowerAscii(std::string text);

}  // namespace quorlin
