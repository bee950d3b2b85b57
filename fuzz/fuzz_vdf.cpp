// Fuzzes the reader of Valve's KeyValues text: the input is the text of a
// steamapps/libraryfolders.vdf.
//
// The text is read from a buffer of exactly its size (no terminating zero to stop
// a read that runs past the end; the address sanitizer catches one). Checked
// besides:
//   - a text that reads, written back out (every key and value quoted, escaped)
//     reads as the same keys, and lists the same library folders;
//   - a comment line added after a text changes neither whether it reads nor
//     what it reads as;
//   - no block is nested deeper than kVdfMaxDepth, and every folder listed is
//     non-empty; a text that does not read lists none.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "locate/vdf.h"

using namespace quorlin;

namespace {

// The writer the reader is held against: quoted strings with \\, \", \n, \t and
// \r escaped, blocks in braces.
void Quote(const std::string& text, std::string& out) {
  out.push_back('"');
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out.push_back(c);
    }
  }
  out.push_back('"');
}

void Write(const std::vector<VdfNode>& keys, std::string& out) {
  for (const VdfNode& node : keys) {
    Quote(node.Key, out);
    if (node.Block) {
      out += "\n{\n";
      Write(node.Children, out);
      out += "}\n";
    } else {
      out.push_back('\t');
      Quote(node.Value, out);
      out.push_back('\n');
    }
  }
}

int Depth(const std::vector<VdfNode>& keys) {
  int deepest = 0;
  for (const VdfNode& node : keys) {
    if (node.Block) deepest = std::max(deepest, 1 + Depth(node.Children));
  }
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto buffer = std::make_unique<char[]>(size == 0 ? 1 : size);
  std::copy(data, data + size, buffer.get());
  const std::string_view text(buffer.get(), size);

  const auto keys = ParseVdf(text);
  const std::vector<std::string> folders = SteamLibraryFolders(text);
  for (const std::string& folder : folders) QUORLIN_FUZZ_CHECK(!folder.empty(), "no empty folder is listed");

  const auto commented = ParseVdf(std::string(text) + "\n// a comment\n");
  QUORLIN_FUZZ_CHECK(keys.has_value() == commented.has_value(), "a comment line does not change whether text reads");
  if (!keys) {
    QUORLIN_FUZZ_CHECK(folders.empty(), "a text that does not read lists no folders");
    return 0;
  }
  QUORLIN_FUZZ_CHECK(*commented == *keys, "a comment line does not change what text reads as");
  QUORLIN_FUZZ_CHECK(Depth(*keys) <= kVdfMaxDepth, "blocks nest no deeper than the limit");

  std::string written;
  Write(*keys, written);
  const auto again = ParseVdf(written);
  QUORLIN_FUZZ_CHECK(again.has_value() && *again == *keys, "written back out, the keys read the same");
  QUORLIN_FUZZ_CHECK(SteamLibraryFolders(written) == folders, "written back out, the same folders are listed");
  return 0;
}
