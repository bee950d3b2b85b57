// Fuzzes the settings file's reader (ParseSettings) with arbitrary text: the file
// is the user's to edit, and a damaged one must only ever be passed over.
//
// Checked for every input:
//   - settings read are written out as text that reads as the same settings;
//   - written over the input, that text keeps every other key the input had, as it
//     had it, and reads as the same settings again.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "app/settings.h"
#include "fuzz_support.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto settings = ParseSettings(text);
  if (!settings) return 0;
  std::string written;
  try {
    written = EncodeSettings(*settings, text);
  } catch (const nlohmann::json::exception&) {
    return 0;  // text that is not UTF-8 cannot be written back as JSON; the program says so
  }
  QUORLIN_FUZZ_CHECK(ParseSettings(written) == settings, "what is written reads as the same settings");
  const auto before = nlohmann::json::parse(text.begin(), text.end());
  const auto after = nlohmann::json::parse(written);
  for (const auto& [key, value] : before.items()) {
    if (key == "game_folder" || key == "picture_folder" || key == "smooth_levels") continue;
    QUORLIN_FUZZ_CHECK(after.contains(key) && after[key] == value, "another program's key is kept");
  }
  return 0;
}
