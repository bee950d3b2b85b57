// make-fuzz-seeds DIR: writes the small seed inputs of every fuzz target into
// DIR/<target>/ (the committed fuzz/corpus was written by it). Each seed is a
// valid or nearly valid input, so that the fuzzers start from the interesting
// shapes instead of having to find them byte by byte.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "app/settings.h"
#include "archive/journal.h"
#include "archive/slot_digests.h"
#include "archive/slot_history.h"
#include "archive/skin_index.h"
#include "fuzz_support.h"
#include "image/targa.h"
#include "platform/little_endian.h"
#include "samplegame/sample_game.h"

namespace fs = std::filesystem;
using namespace quorlin;

namespace {

fs::path gRoot;

void Write(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
  const fs::path dir = gRoot / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
}

void WriteText(const std::string& target, const std::string& name, const std::string& text) {
  Write(target, name, std::vector<uint8_t>(text.begin(), text.end()));
}

// A whole little archive: header, records (some with skipped bytes), then data.
std::vector<uint8_t> SmallArchive(const std::vector<std::string>& names, uint16_t skipEvery) {
  ArchiveDirectory dir;
  dir.Header.Tag = {'M', 'W', '4', 'A'};
  dir.Header.Unknown4 = 0x00010002;
  dir.Header.EntryCount = static_cast<int16_t>(names.size() + 1);
  dir.Header.Unknown18 = 0xBEEF;
  uint32_t offset = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto length = static_cast<uint32_t>(8 + i * 4);
    DirEntry e = fuzz::NamedEntry(names[i], length, offset);
    for (size_t k = 0; k < e.Unknown0.size(); ++k) e.Unknown0[k] = static_cast<uint8_t>(i * 16 + k);
    e.Unknown20 = {0x11, static_cast<uint8_t>(i)};
    dir.Directory.push_back(e);
    offset += length;
  }
  dir.Directory.emplace_back();
  std::vector<uint8_t> bytes = fuzz::EncodeDirectory(dir, skipEvery);
  // DataBase just after the directory; patch it into the header.
  const auto base = static_cast<uint32_t>(bytes.size());
  for (int k = 0; k < 4; ++k) bytes[12 + k] = static_cast<uint8_t>(base >> (8 * k));
  for (uint32_t i = 0; i < offset; ++i) bytes.push_back(static_cast<uint8_t>(i * 7));
  return bytes;
}

void ArchiveSeeds() {
  const std::vector<std::string> names = {"textures\\skin04.tga", "TEXTURES\\SKIN05.TGA  ",
                                          "shellscripts\\graphics\\multiplayer\\lobbyskins\\skin04.tga",
                                          "textures\\item7.dds"};
  Write("archive_directory", "four-entries.mw4", SmallArchive(names, 2));
  Write("archive_directory", "four-entries-no-skip.mw4", SmallArchive(names, 0));
  std::vector<uint8_t> cut = SmallArchive(names, 2);
  cut.resize(70);  // ends inside the second record
  Write("archive_directory", "cut-in-record.mw4", cut);

  ArchiveHeader empty;
  empty.Tag = {'M', 'W', '4', 'A'};
  empty.EntryCount = 0;
  Write("archive_directory", "entry-count-0.mw4", sample::EncodeArchiveHeader(empty));
  ArchiveHeader negative = empty;
  negative.EntryCount = -3;
  Write("archive_directory", "entry-count-negative.mw4", sample::EncodeArchiveHeader(negative));
}

void IndexSeeds() {
  const ArchiveDirectory dir = fuzz::FixedIndexDirectory();
  SkinIndex index;
  IndexTextures(dir, index, {});
  IndexProps(dir, index, {});
  std::vector<uint8_t> tables = EncodeTexturesIndex(index);
  const std::vector<uint8_t> props = EncodePropsIndex(index);
  tables.insert(tables.end(), props.begin(), props.end());
  Write("skin_index", "fresh-tables.inx", tables);

  std::vector<uint8_t> shortTables(tables.begin(), tables.begin() + 300);
  Write("skin_index", "short-textures-table.inx", shortTables);

  // The tables followed by a small archive holding a few expected names.
  std::vector<uint8_t> withArchive = tables;
  const std::vector<uint8_t> archive =
      SmallArchive({ExpectedTextureName(1, 0), ExpectedTextureName(1, 1), " TEXTURES\\SKIN02.TGA ",
                    ExpectedLobbyName(1), ExpectedLobbyName(37), ExpectedTextureName(37, 5), ExpectedTextureName(1, 0)},
                   3);
  withArchive.insert(withArchive.end(), archive.begin(), archive.end());
  Write("skin_index", "tables-and-archive.inx", withArchive);

  // Every name present: the fixed directory itself at the tail.
  std::vector<uint8_t> complete = tables;
  const std::vector<uint8_t> fixed = fuzz::EncodeDirectory(dir, 5);
  complete.insert(complete.end(), fixed.begin(), fixed.end());
  Write("skin_index", "tables-and-complete-archive.inx", complete);
}

std::vector<uint8_t> Targa4x4(uint8_t descriptor, bool withIdAndMap) {
  std::vector<uint8_t> t(18, 0);
  const std::string id = "quorlin seed";
  if (withIdAndMap) {
    t[0] = static_cast<uint8_t>(id.size());
    t[1] = 1;  // a colour map, which true-colour readers skip
    t[5] = 3;  // three entries
    t[7] = 24;
  }
  t[2] = 2;
  t[12] = 4;
  t[14] = 4;
  t[16] = 24;
  t[17] = descriptor;
  if (withIdAndMap) {
    t.insert(t.end(), id.begin(), id.end());
    for (int i = 0; i < 9; ++i) t.push_back(static_cast<uint8_t>(0xC0 + i));
  }
  for (int p = 0; p < 16; ++p) {
    t.push_back(static_cast<uint8_t>(p * 16));
    t.push_back(static_cast<uint8_t>(255 - p * 16));
    t.push_back(static_cast<uint8_t>(p * 5));
  }
  return t;
}

void TargaSeeds() {
  Write("targa", "4x4-id-colour-map-bottom-up.tga", Targa4x4(0x00, true));
  Write("targa", "4x4-top-first.tga", Targa4x4(0x20, false));
  Write("targa", "4x4-right-to-left.tga", Targa4x4(0x30, true));
  std::vector<uint8_t> cut = Targa4x4(0x20, true);
  cut.resize(cut.size() - 5);
  Write("targa", "4x4-truncated.tga", cut);

  ImageBuffer image;
  image.Width = 5;
  image.Height = 3;
  image.BitsPerPixel = 24;
  for (int i = 0; i < 45; ++i) image.Pixels.push_back(static_cast<uint8_t>(i * 5));
  Write("targa", "5x3-written.tga", SaveTGA(image));
}

void JournalSeeds() {
  Journal insert{"Insert Skin into slot 12", {{kTexturesArchive, 4096}, {kPropsArchive, 512}}, {}, {}, {}, {}};
  insert.Writes.push_back({0, 100, std::vector<uint8_t>(34, 0x5A)});
  insert.Writes.push_back({1, 7, {0, 0, 2, 0}});
  Write("journal", "insert.jnl", EncodeJournal(insert));
  const Journal restore{"Restore to Original", {{kTexturesArchive, 0}, {kPropsArchive, 0}}, {}, {0, 1},
                        {"slot12-000003.qver", "slot9-000001.qver"}, {}};
  Write("journal", "restore.jnl", EncodeJournal(restore));
  insert.What = "undo of slot 12";
  insert.Keep = {"slot12-000021.qver"};
  insert.Drop = {"slot12-000020.qver", "slot12-000001.qver"};
  Write("journal", "undo.jnl", EncodeJournal(insert));
}

void HistorySeeds() {
  SlotVersion version{12, 1765130000, "dragon.bmp", {}};
  version.Entries[0] = std::vector<uint8_t>(40, 7);
  version.Entries[6] = std::vector<uint8_t>{0, 0, 2, 0, 1};
  Write("history", "slot12-000001.qver", EncodeVersion(version));
  SlotState state;
  state.Game = PairDigests{{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, 11, {}};
  state.Game->BySlot[12] = {0x1234, 0x5678};
  state.Sources[12] = {{0x1234, 0x5678}, "dragon.bmp"};
  Write("history", "quorlin.slots", EncodeSlotState(state));
}

void SettingsSeeds() {
  WriteText("settings", "settings.json",
            "{\n  \"game_folder\": \"/home/player/Games/Mechwarrior Vengeance\",\n  \"picture_folder\": "
            "\"/home/player/skins\",\n  \"smooth_levels\": true\n}\n");
  WriteText("settings", "other-keys.json", "{\"window\": {\"x\": 10}, \"game_folder\": null, \"smooth_levels\": false}");
}

void RegistrySeeds() {
  WriteText("registry", "wow6432node.reg",
            quorlin::sample::SampleSystemReg() +
                "[Software\\\\Wow6432Node\\\\Other] 1733475601\n"
                "\"EXE Path\"=\"wrong\"\n");
  WriteText("registry", "plain-key-all-forms.reg",
            "WINE REGISTRY Version 2\r\n"
            "[Software\\\\Microsoft\\\\Microsoft Games\\\\MechWarrior Vengeance] 1700000000\r\n"
            "@=\"default value\"\r\n"
            "\"EXE Path\"=str(2):\"%ProgramFiles%\\\\MW4\\\\\"\r\n"
            "\"CDPath\"=hex(1):45,00,3a,00,5c,00,\\\r\n"
            "  00,00\r\n"
            "\"Version\"=dword:ffffffff\r\n"
            "\"Blob\"=hex:01,02,\\\r\n"
            "    03\r\n"
            "\"Escapes\"=\"tab\\tquote\\\"oct\\101hex\\x41\\x263a\"\r\n");
  WriteText("registry", "cdpath-dword.reg",
            "[Software\\\\Microsoft\\\\Microsoft Games\\\\Mechwarrior Vengeance]\n"
            "\"EXE Path\"=\"C:\\\\MW4\\\\\"\n"
            "\"CDPath\"=dword:0000000a\n"
            "\"Unterminated\"=\"no end\n");
}

void VdfSeeds() {
  // Steam's current form: a block per library, with its path and its games.
  WriteText("vdf", "libraryfolders.vdf",
            "\"libraryfolders\"\n{\n"
            "\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/player/.local/share/Steam\"\n\t\t\"label\"\t\t\"\"\n"
            "\t\t\"contentid\"\t\t\"7295114893476311220\"\n\t\t\"totalsize\"\t\t\"0\"\n"
            "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"29212173\"\n\t\t}\n\t}\n"
            "\t\"1\"\n\t{\n\t\t\"path\"\t\t\"/mnt/games/SteamLibrary\"\n\t\t\"label\"\t\t\"Games\"\n"
            "\t\t\"apps\"\n\t\t{\n\t\t}\n\t}\n}\n");
  // The older form: numbered keys naming the folders directly.
  WriteText("vdf", "libraryfolders-old.vdf",
            "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n"
            "\t\"ContentStatsID\"\t\t\"-4215345352335393\"\n\t\"1\"\t\t\"/media/player/Steam Games\"\n}\n");
  // Escapes, comments, bare tokens, a byte order mark; and a text cut inside a string.
  WriteText("vdf", "escapes-comments.vdf",
            "\xEF\xBB\xBF// written by hand\nlibraryfolders // libraries\n{\n\t0 { path "
            "\"C:\\\\Program Files (x86)\\\\Steam\" label \"say \\\"hi\\\"\\n\" }\n"
            "\t\"1\" \"D:\\Games\\q\\tx\"\n}\n");
  WriteText("vdf", "cut.vdf", "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/pla");
}

std::vector<uint8_t> Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (!writer.write(image)) throw std::runtime_error(std::string("cannot encode ") + format);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void PictureSeeds() {
  QImage image(4, 4, QImage::Format_RGB888);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) image.setPixel(x, y, qRgb(x * 60, y * 60, (x + y) * 30));
  }
  Write("picture", "4x4.png", Encoded(image, "png"));
  Write("picture", "4x4.bmp", Encoded(image, "bmp"));
  Write("picture", "4x4.jpg", Encoded(image, "jpg"));
  Write("picture", "4x4-indexed.png", Encoded(image.convertToFormat(QImage::Format_Indexed8), "png"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-fuzz-seeds DIR\n";
    return 2;
  }
  gRoot = argv[1];
  try {
    ArchiveSeeds();
    IndexSeeds();
    TargaSeeds();
    RegistrySeeds();
    JournalSeeds();
    HistorySeeds();
    SettingsSeeds();
    VdfSeeds();
    PictureSeeds();
  } catch (const std::exception& e) {
    std::cerr << "make-fuzz-seeds: " << e.what() << '\n';
    return 1;
  }
  std::cout << "seeds written to " << gRoot.string() << '\n';
  return 0;
}
