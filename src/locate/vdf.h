#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlin {

// One key of Valve's KeyValues text (the .vdf files Steam keeps its settings in):
// either a value or a block of further keys.
struct VdfNode {
  std::string Key;
  std::string Value;  // empty for a block
  bool Block = false;
  std::vector<VdfNode> Children;  // a block's keys, in file order

  bool operator==(const VdfNode&) const = default;
};

// Blocks nested deeper than this make the text unreadable (it bounds the reader's
// recursion on hostile input; Steam's files nest three or four levels).
inline constexpr int kVdfMaxDepth = 64;

// Reads KeyValues text: keys and values quoted ("...", with the escapes \n \t \r
// \\ and \"; any other backslash is kept with the character after it, so that a
// Windows path with single backslashes survives) or bare (up to white space, a
// quote or a brace), a key followed by "{" opening a block, "//" starting a
// comment to the end of the line, a UTF-8 byte order mark skipped. Returns the
// top-level keys, or nothing when the text is not well formed: an unterminated
// string or block, a key without a value, a stray "}", nesting beyond kVdfMaxDepth.
std::optional<std::vector<VdfNode>> ParseVdf(std::string_view text);

// The library folders a steamapps/libraryfolders.vdf lists, in file order: under
// the top-level "libraryfolders" block, the "path" of each numbered block (the
// current form) or the value of each numbered key (the older form). Keys compare
// ignoring ASCII case; empty paths are left out. Empty when the text does not read.
std::vector<std::string> SteamLibraryFolders(std::string_view text);

}  // namespace quorlin
