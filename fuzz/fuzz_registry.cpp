// Fuzzes the Wine system.reg reader: the input is the text of a system.reg.
//
// The game's key is looked up under both paths start-up tries (the Wow6432Node
// one, then the plain one), and "EXE Path", "CDPath" and "Version" are read from
// whatever key is found, as start-up reads them. Neither step may throw.
//
// Checked besides: key paths compare case-insensitively (the upper-cased path
// finds the same key with the same values), and ReadRegistryValue agrees with
// Query about each value's type and size.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "locate/registry.h"
#include "locate/wine_registry.h"

using namespace quorlin;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}

struct ValueRead {
  long code;
  std::string text;
};

ValueRead Read(const RegistryKey& key, const std::string& name) {
  ValueRead r{0, "untouched"};
  r.code = ReadRegistryValue(key, name, r.text);
  return r;
}

void CheckValue(const MemoryRegistryKey& key, const std::string& name) {
  uint32_t type = 0;
  uint32_t size = 0;
  const long queried = key.Query(name, &type, nullptr, &size);
  const ValueRead r = Read(key, name);
  if (queried != kRegSuccess) {
    QUORLIN_FUZZ_CHECK(r.code == queried && r.text == "untouched", "a missing value is reported, text untouched");
    return;
  }
  std::vector<uint8_t> stored(size);
  uint32_t got = size;
  QUORLIN_FUZZ_CHECK(key.Query(name, &type, stored.data(), &got) == kRegSuccess && got == size,
                     "a value reads whole into a buffer of its size");
  if (size > 0) {
    uint32_t small = size - 1;
    std::vector<uint8_t> tooSmall(size);
    QUORLIN_FUZZ_CHECK(key.Query(name, &type, tooSmall.data(), &small) == kRegMoreData && small == size,
                       "a short buffer gets more-data and the size");
  }
  if (type == kRegSz) {
    QUORLIN_FUZZ_CHECK(r.code == kRegSuccess, "a string value reads");
    const std::string expected(stored.begin(), stored.end() - (size == 0 ? 0 : 1));
    QUORLIN_FUZZ_CHECK(r.text == expected, "a string value reads without its last byte");
  } else if (type == kRegDword) {
    if (size == 4) {
      QUORLIN_FUZZ_CHECK(r.code == kRegSuccess, "a dword reads");
      const auto n =
          static_cast<int32_t>(static_cast<uint32_t>(stored[0]) | (static_cast<uint32_t>(stored[1]) << 8) |
                               (static_cast<uint32_t>(stored[2]) << 16) | (static_cast<uint32_t>(stored[3]) << 24));
      QUORLIN_FUZZ_CHECK(r.text == std::to_string(n), "a dword reads as its signed decimal number");
    }
  } else {
    QUORLIN_FUZZ_CHECK(r.code == -1 && r.text == "untouched", "other types are refused, text untouched");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string plain = kGameRegistryKey;
  const std::string wow = "Software\\Wow6432Node\\" + plain.substr(std::string("Software\\").size());

  for (const std::string& path : {wow, plain}) {
    const std::optional<MemoryRegistryKey> key = ParseWineRegistryKey(text, path);
    const std::optional<MemoryRegistryKey> upper = ParseWineRegistryKey(text, Upper(path));
    QUORLIN_FUZZ_CHECK(key.has_value() == upper.has_value(), "key paths compare case-insensitively");
    if (!key) continue;
    for (const char* name : {"EXE Path", "CDPath", "Version", "exe path", ""}) {
      CheckValue(*key, name);
      const ValueRead a = Read(*key, name);
      const ValueRead b = Read(*upper, name);
      QUORLIN_FUZZ_CHECK(a.code == b.code && a.text == b.text, "the same values under either spelling");
    }
  }
  return 0;
}
