#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorlin {

inline constexpr const char* kGameRegistryKey = "Software\\Microsoft\\Microsoft Games\\Mechwarrior Vengeance";

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegMoreData = 234;

// One open registry key. On Windows it wraps an HKEY; elsewhere it holds the
// values of the key as parsed from a Wine prefix's system.reg.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // RegQueryValueExA semantics: with data == nullptr only type and size are
  // reported; otherwise up to *size bytes are copied, and kRegMoreData is
  // returned (with *size set) when the buffer is too small.
  virtual long Query(const std::string& valueName, uint32_t* type, uint8_t* data, uint32_t* size) const = 0;
};

// A key held in memory: the form system.reg parsing yields, and what tests use.
class MemoryRegistryKey : public RegistryKey {
 public:
  struct Value {
    uint32_t Type = 0;
    std::vector<uint8_t> Data;
  };
  void Set(const std::string& name, uint32_t type, std::vector<uint8_t> data);
  long Query(const std::string& valueName, uint32_t* type, uint8_t* data, uint32_t* size) const override;

 private:
  std::map<std::string, Value> values_;  // keyed by lower-cased name
};

// Reads one value as text: REG_SZ without its terminating zero, REG_DWORD as its
// decimal number. Returns 0 on success, the registry's code on failure, and -1 for
// a value of any other type (value untouched). Never throws.
long ReadRegistryValue(const RegistryKey& key, const std::string& valueName, std::string& value);

// What start-up reads of the game's key: "EXE Path" and "CDPath" as text, each
// empty where the key (nullptr) or the value is missing or cannot be read.
struct GameKeyValues {
  std::string MechPath, CDPath;
};
GameKeyValues ReadGameKey(const RegistryKey* key);

#ifdef _WIN32
// Opens the game's key for reading: the 32-bit view first, then the 64-bit view.
// Returns nullptr when the key does not open.
std::unique_ptr<RegistryKey> OpenGameKey();
#endif

}  // namespace quorlin
