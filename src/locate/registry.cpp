#include "base/strings.h"
#include "locate/registry.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <string_view>

#include "platform/little_endian.h"
#include "platform/paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorlin {

void MemoryRegistryKey::Set(const std::string& name, uint32_t type, std::vector<uint8_t> data) {
  values_[LowerAscii(name)] = Value{type, std::move(data)};
}

long MemoryRegistryKey::Query(const std::string& valueName, uint32_t* type, uint8_t* data, uint32_t* size) const {
  const auto it = values_.find(LowerAscii(valueName));
  if (it == values_.end()) return kRegFileNotFound;
  const Value& value = it->second;
  if (type) *type = value.Type;
  const auto needed = static_cast<uint32_t>(value.Data.size());
  if (data == nullptr) {
    if (size) *size = needed;
    return kRegSuccess;
  }
  if (size == nullptr || *size < needed) {
    if (size) *size = needed;
    return kRegMoreData;
  }
  if (needed) std::memcpy(data, value.Data.data(), needed);
  *size = needed;
  return kRegSuccess;
}

GameKeyValues ReadGameKey(const RegistryKey* key) {
  GameKeyValues values;
  if (key && ReadRegistryValue(*key, "EXE Path", values.MechPath) != kRegSuccess) values.MechPath.clear();
  if (key && ReadRegistryValue(*key, "CDPath", values.CDPath) != kRegSuccess) values.CDPath.clear();
  return values;
}

long ReadRegistryValue(const RegistryKey& key, const std::string& valueName, std::string& value) {
  uint32_t type = 0;
  uint32_t size = 0;
  long code = key.Query(valueName, &type, nullptr, &size);
  if (code != kRegSuccess) return code;
  if (type == kRegSz) {
    std::vector<uint8_t> buffer(size == 0 ? 1 : size);
    uint32_t got = size;
    code = key.Query(valueName, &type, buffer.data(), &got);
    if (code != kRegSuccess) {
      value.clear();
      return code;
    }
    // The buffer's first size - 1 characters: the terminating zero dropped.
    value.assign(reinterpret_cast<const char*>(buffer.data()), size == 0 ? 0 : size - 1);
    return kRegSuccess;
  }
  if (type == kRegDword) {
    uint8_t bytes[4] = {};
    uint32_t got = sizeof bytes;
    code = key.Query(valueName, &type, bytes, &got);
    if (code == kRegSuccess) {
      // A 32-bit signed number, written in decimal.
      value = std::to_string(static_cast<int32_t>(ByteReader(bytes).U32At(0)));
    }
    return code;
  }
  return -1;
}

#ifdef _WIN32

namespace {

class WindowsRegistryKey : public RegistryKey {
 public:
  explicit WindowsRegistryKey(HKEY key) : key_(key) {}
  ~WindowsRegistryKey() override { RegCloseKey(key_); }
  long Query(const std::string& valueName, uint32_t* type, uint8_t* data, uint32_t* size) const override {
    DWORD t = 0;
    DWORD s = size ? *size : 0;
    const LONG code = RegQueryValueExA(key_, valueName.c_str(), nullptr, &t, data, size ? &s : nullptr);
    if (type) *type = t;
    if (size) *size = s;
    return code;
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> OpenGameKey() {
  // The game is a 32-bit program: its key lives in the 32-bit view.
  for (REGSAM view : {static_cast<REGSAM>(KEY_WOW64_32KEY), static_cast<REGSAM>(KEY_WOW64_64KEY)}) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameRegistryKey, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
      return std::make_unique<WindowsRegistryKey>(key);
    }
  }
  return nullptr;
}

#endif

}  // namespace quorlin
