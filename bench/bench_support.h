#pragma once

// Data the benchmark suites share: generated archives of a chosen size, a front end
// that shows nothing, and a scratch folder under the system's temporary directory.

#include <cstdint>
#include <string>
#include <vector>

#include "app/commands.h"
#include "archive/skin_index.h"
#include "samplegame/sample_game.h"

namespace quorlin::bench {

// A front end that shows nothing and answers Yes; it counts the messages so that
// a benchmark can tell a command that failed from one that did its work.
class SilentFrontEnd : public FrontEnd {
 public:
  void SetStatus(const std::string&, bool) override {}
  MessageAnswer ShowMessage(const std::string& text, const std::string&, MessageIcon, MessageButtons buttons) override {
    ++messages;
    lastMessage = text;
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
  }
  void SetBusy(bool) override {}

  int messages = 0;
  std::string lastMessage;
};

// Entries of a textures archive: `total` entries in all, every expected texture
// name (37 slots x 6 levels) among them, the rest fillers with short names as
// the real archive has. Data is small: only the directory matters here.
inline std::vector<sample::EntrySpec> TextureEntries(int total) {
  std::vector<sample::EntrySpec> entries;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    for (int level = 0; level < kLevelCount; ++level) {
      entries.push_back({ExpectedTextureName(slot, level), std::vector<uint8_t>(16, 0x11), 0});
    }
  }
  for (int i = static_cast<int>(entries.size()); i < total; ++i) {
    entries.push_back({"textures\\mech_" + std::to_string(i) + (i % 3 ? "_diffuse.tga" : ".dds"),
                       std::vector<uint8_t>(16, 0x22), static_cast<uint16_t>(i % 5 == 0 ? 1 + i % 40 : 0)});
  }
  return entries;
}

// The same for a props archive: every lobby name, then fillers.
inline std::vector<sample::EntrySpec> PropsEntries(int total) {
  std::vector<sample::EntrySpec> entries;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    entries.push_back({ExpectedLobbyName(slot), std::vector<uint8_t>(16, 0x33), 0});
  }
  for (int i = static_cast<int>(entries.size()); i < total; ++i) {
    entries.push_back(
        {"shellscripts\\graphics\\misc\\item" + std::to_string(i) + ".tga", std::vector<uint8_t>(16, 0x44), 0});
  }
  return entries;
}

// Archive bytes, shuffled as real archives are (directory order unlike name order).
inline std::vector<uint8_t> ArchiveBytes(std::vector<sample::EntrySpec> entries) {
  sample::ArchiveOptions options;
  options.Seed = 7;
  return sample::BuildArchive(entries, options).Bytes;
}

}  // namespace quorlin::bench
