#include "locate/wine_registry.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <string_view>

#include "base/strings.h"
#include "platform/little_endian.h"

namespace quorlin {

// ---- Wine's system.reg ---------------------------------------------------------
//
//   WINE REGISTRY Version 2
//   [Software\\Microsoft\\Microsoft Games\\Mechwarrior Vengeance] 1700000000
//   #time=1d9...
//   "EXE Path"="C:\\Games\\MW4\\"
//   "Count"=dword:0000000a
//   "Other"=str(2):"%ProgramFiles%"     (REG_EXPAND_SZ)
//   "Blob"=hex:01,02,\                  (continued on the next line)
//     03
//   @="default value"

namespace {

// Reads a quoted string starting at text[pos] == '"'; handles \\ \" \n \r \t \0
// and \xNNNN. Code units above 255 become '?'. Returns false when unterminated.
bool ReadQuoted(const std::string& text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos >= text.size()) return false;
    const char e = text[pos++];
    constexpr std::string_view kLetters = "nrtabefv", kMeant = "\n\r\t\a\b\x1b\f\v";
    if (const size_t k = kLetters.find(e); k != std::string_view::npos) {
      out.push_back(kMeant[k]);
    } else if (e == 'x') {  // up to four hex digits; "\x" alone is an x
      unsigned value = 0;
      int digits = 0;
      for (; digits < 4 && pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos])); ++digits) {
        const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos++])));
        value = value * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : h - 'a' + 10);
      }
      out.push_back(digits == 0 ? 'x' : value < 256 ? static_cast<char>(value) : '?');
    } else if (e >= '0' && e <= '7') {  // up to three octal digits
      unsigned value = static_cast<unsigned>(e - '0');
      for (int i = 0; i < 2 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7'; ++i) {
        value = value * 8 + static_cast<unsigned>(text[pos++] - '0');
      }
      out.push_back(value < 256 ? static_cast<char>(value) : '?');
    } else {
      out.push_back(e);  // \\ and \" and anything unknown: the character itself
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits.push_back(c);
      if (digits.size() > 2) return false;
    } else if (c == ',') {
      if (digits.empty()) return false;
      out.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    } else if (c != ' ' && c != '\t') {
      return false;
    }
  }
  if (!digits.empty()) out.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
  return true;
}

// Turns the value part after '=' into a type and bytes. False for a line that
// does not parse; such a value is skipped.
bool ParseValueData(const std::string& data, uint32_t& type, std::vector<uint8_t>& bytes) {
  size_t pos = 0;
  if (!data.empty() && data[0] == '"') {
    std::string text;
    if (!ReadQuoted(data, pos, text)) return false;
    type = kRegSz;
    bytes.assign(text.begin(), text.end());
    bytes.push_back(0);
    return true;
  }
  if (data.rfind("str(", 0) == 0) {
    const size_t close = data.find("):");
    if (close == std::string::npos) return false;
    try {
      type = static_cast<uint32_t>(std::stoul(data.substr(4, close - 4), nullptr, 16));
    } catch (...) {
      return false;
    }
    pos = close + 2;
    std::string text;
    if (!ReadQuoted(data, pos, text)) return false;
    bytes.assign(text.begin(), text.end());
    bytes.push_back(0);
    return true;
  }
  if (data.rfind("dword:", 0) == 0) {
    const std::string hex = data.substr(6);
    if (hex.empty() || hex.size() > 8) return false;
    for (char c : hex) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    type = kRegDword;
    PutU32(bytes, static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
    return true;
  }
  if (data.rfind("hex", 0) == 0) {
    size_t colon = data.find(':');
    if (colon == std::string::npos) return false;
    type = kRegBinary;
    if (data.compare(0, 4, "hex(") == 0) {
      const size_t close = data.find(')');
      if (close == std::string::npos || close > colon) return false;
      try {
        type = static_cast<uint32_t>(std::stoul(data.substr(4, close - 4), nullptr, 16));
      } catch (...) {
        return false;
      }
    } else if (colon != 3) {
      return false;
    }
    if (!ParseHexBytes(data.substr(colon + 1), bytes)) return false;
    if (type == kRegSz) {
      // Wine keeps strings as UTF-16; hand them out as single-byte text.
      std::vector<uint8_t> narrow;
      for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = bytes[i] | (bytes[i + 1] << 8);
        narrow.push_back(unit < 256 ? static_cast<uint8_t>(unit) : static_cast<uint8_t>('?'));
      }
      bytes = std::move(narrow);
    }
    return true;
  }
  return false;
}

std::string_view RightTrim(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The next line of text from pos (without its '\n'), as std::getline would give
// it: false once nothing is left.
bool NextLine(std::string_view text, size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  const void* newline = std::memchr(text.data() + pos, '\n', text.size() - pos);
  const size_t end = newline ? static_cast<size_t>(static_cast<const char*>(newline) - text.data()) : text.size();
  line = text.substr(pos, end - pos);
  pos = newline ? end + 1 : end;
  return true;
}

// True when a "[...]" line names the key wanted (lower case): the name inside
// the brackets, with "\\" between parts, compared ignoring ASCII case. Compared
// in place, since a system.reg has tens of thousands of keys and only one matters.
bool SectionIs(std::string_view line, std::string_view wanted) {
  size_t at = 0;
  for (size_t i = 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      c = line[++i];
    } else if (c == ']') {
      return at == wanted.size();
    }
    if (at == wanted.size()) return false;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != wanted[at++]) return false;
  }
  return false;  // no closing bracket
}

}  // namespace

std::optional<MemoryRegistryKey> ParseWineRegistryKey(const std::string& regText, const std::string& keyPath) {
  const std::string wanted = LowerAscii(keyPath);
  std::optional<MemoryRegistryKey> key;
  bool inKey = false;
  // Lines are looked at in place; only a line continued onto the next ones is
  // copied, to join its parts.
  const std::string_view text(regText);
  size_t pos = 0;
  std::string_view physical;
  std::string joined;
  while (NextLine(text, pos, physical)) {
    std::string_view line = RightTrim(physical);
    // Hex values continue on the next line after a trailing backslash.
    if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos) {
      joined.assign(line);
      std::string_view next;
      while (!joined.empty() && joined.back() == '\\' && NextLine(text, pos, next)) {
        joined.pop_back();
        const size_t start = next.find_first_not_of(" \t");
        joined += RightTrim(start == std::string_view::npos ? std::string_view() : next.substr(start));
      }
      line = joined;
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (inKey) break;  // the key's section has ended
      inKey = SectionIs(line, wanted);
      if (inKey) key.emplace();
      continue;
    }
    if (!inKey) continue;
    const std::string value(line);
    std::string valueName;
    size_t at = 0;
    if (value[0] == '@') {
      at = 1;
    } else if (!ReadQuoted(value, at, valueName)) {
      continue;
    }
    if (at >= value.size() || value[at] != '=') continue;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    if (ParseValueData(value.substr(at + 1), type, bytes)) key->Set(valueName, type, std::move(bytes));
  }
  return key;
}

namespace {

std::unique_ptr<RegistryKey> KeyFromWineText(const std::string& text) {
  const std::string plain = kGameRegistryKey;
  const std::string wow = "Software\\Wow6432Node\\" + plain.substr(std::string("Software\\").size());
  for (const std::string& path : {wow, plain}) {
    if (auto key = ParseWineRegistryKey(text, path)) {
      return std::make_unique<MemoryRegistryKey>(std::move(*key));
    }
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<RegistryKey> OpenGameKeyInWinePrefix(const std::string& winePrefix) {
  std::ifstream file(winePrefix + "/system.reg", std::ios::binary);
  if (!file) return nullptr;
  // A system.reg runs to megabytes: read it in large blocks straight into the
  // text rather than through a string stream.
  std::string text;
  constexpr size_t kBlock = size_t{1} << 20;
  for (size_t got = 0;; got = text.size()) {
    text.resize(got + kBlock);
    file.read(text.data() + got, static_cast<std::streamsize>(kBlock));
    text.resize(got + static_cast<size_t>(file.gcount()));
    if (!file) break;
  }
  return KeyFromWineText(text);
}

}  // namespace quorlin
