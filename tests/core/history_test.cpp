// The slot history: what each change keeps, undo and the undo of an undo byte for byte,
// the versions refused, the limit of twenty, and "differs from backup" through every change.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <thread>

#include "app/slot_tools.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using Entries = std::vector<std::vector<uint8_t>>;

// A version file read field by field: "QRLNVER1", u8 slot, i64 time, u8 count, then per
// entry u8 present, u32 length, bytes; u16 + picture name; the checksum's 8 bytes end it.
struct VersionFile {
  explicit VersionFile(const std::string& path) : b(ReadBytes(path)) {
    const auto magic = Take(8);
    EXPECT_EQ(std::string(magic.begin(), magic.end()), "QRLNVER1");
    slot = static_cast<int>(Number(1));
    time = static_cast<int64_t>(Number(8));
    for (auto n = Number(1); n > 0; --n) {
      Number(1);  // present; an entry not kept has no bytes
      entries.push_back(Take(Number(4)));
    }
    const auto name = Take(Number(2));
    picture.assign(name.begin(), name.end());
    EXPECT_EQ(at + 8, b.size()) << path;
  }
  std::vector<uint8_t> Take(uint64_t n) {  // throws std::out_of_range past the end
    std::vector<uint8_t> bytes;
    for (; n > 0; --n) bytes.push_back(b.at(at++));
    return bytes;
  }
  uint64_t Number(int n) {  // little-endian
    uint64_t value = 0;
    for (int k = 0; k < n; ++k) value |= uint64_t{Take(1)[0]} << (8 * k);
    return value;
  }

  const std::vector<uint8_t> b;
  size_t at = 0;
  int slot = 0;
  int64_t time = 0;
  std::string picture;
  Entries entries;
};

std::string VersionName(int slot, int number) {  // as the program names it: slot12-000001.qver
  return "slot" + std::to_string(slot) + "-" + std::to_string(1000000 + number).substr(1) + ".qver";
}

// A started game with slots 9 and 12 prepared; a slot's entries as the files hold them at the generator's places.
struct HistoryGame : test::TestGame {
  HistoryGame() : TestGame(test::SmallGame({9, 12})) { EXPECT_EQ(Start(), Outcome::Done); }
  Entries Slot(int slot) const {
    const auto textures = ReadBytes(Textures());
    Entries entries;
    for (int l = 0; l < 6; ++l) entries.push_back(test::At(textures, layout.Textures.at(ExpectedTextureName(slot, l))));
    entries.push_back(test::At(ReadBytes(Props()), layout.Props.at(ExpectedLobbyName(slot))));
    return entries;
  }
  Outcome InsertPicture(int slot, const ImageBuffer& picture, const std::string& name) {
    LoadPicture(picture);
    state.LoadedPictureName = name;
    return Insert(slot);
  }
  // A command that asks first, its question answered, run as the window runs it.
  Outcome Answered(MessageAnswer answer, const std::function<Outcome()>& command) {
    return Run([&] { return ui.answers.push_back(answer), command(); });
  }
  Outcome Undo(int slot, MessageAnswer answer = MessageAnswer::Yes) {
    return Answered(answer, [&] { return UndoLastChange(state, ui, slot); });
  }
  std::string History() const { return Resource("quorlin-history"); }
  std::string Version(int slot, int number) const {  // with the platform's separators, as the program prints it
    return fs::path(History() + "/" + VersionName(slot, number)).make_preferred().string();
  }
  std::set<std::string> Versions() const { return fs::exists(History()) ? test::Listing(History()) : std::set<std::string>{}; }
};

const ImageBuffer kA = test::PositionPicture(), kB = sample::SamplePicture();

TEST(SlotHistory, InsertsUndosAndTheUndosUndoGiveBackTheExactBytesAndTheNewestTwentyAreKept) {
  HistoryGame g;
  const auto original = g.Slot(12);
  const auto t0 = std::time(nullptr);
  ASSERT_EQ(g.InsertPicture(12, kA, "a.bmp"), Outcome::Done);
  const auto a = g.Slot(12);
  ASSERT_EQ(g.InsertPicture(12, kB, "b.bmp"), Outcome::Done);
  const auto b = g.Slot(12);
  // Each insert kept what the slot held, with the picture that had made it.
  const VersionFile v1(g.Version(12, 1)), v2(g.Version(12, 2));
  EXPECT_TRUE(v1.slot == 12 && v1.entries == original && v1.picture.empty());
  EXPECT_TRUE(v2.slot == 12 && v2.entries == a && v2.picture == "a.bmp");
  EXPECT_TRUE(v1.time >= t0 && v2.time <= std::time(nullptr) + 1) << v1.time << " " << t0;

  // Undo takes the newest version out, keeping what it replaces: the slot goes back to a, to b, then to a again.
  for (int newest = 3; newest <= 5; ++newest) {
    ASSERT_EQ(g.Undo(12), Outcome::Done);
    EXPECT_EQ(g.Slot(12), newest == 4 ? b : a);
    EXPECT_EQ(g.Versions(), (std::set{VersionName(12, 1), VersionName(12, newest)}));
    EXPECT_EQ(VersionFile(g.Version(12, newest)).picture, newest == 4 ? "a.bmp" : "b.bmp");
  }
  // The list, newest first: the original is known for the original.
  const auto list = ListSlotHistory(g.state, 12);
  EXPECT_TRUE(list.size() == 2 && list[0].Number == 5 && list[0].Picture == "b.bmp" && list[0].Original == false &&
              list[1].Number == 1 && list[1].Original == true);

  // The same picture again changes nothing and keeps nothing.
  ASSERT_EQ(g.Undo(12), Outcome::Done);
  ASSERT_EQ(g.InsertPicture(12, kB, "b.bmp"), Outcome::Done);
  EXPECT_EQ(g.Versions(), (std::set{VersionName(12, 1), VersionName(12, 6)}));

  // Twenty versions are kept of a slot, the oldest going first, the original too.
  std::set<std::string> kept;
  for (int n = 7; n <= 26; ++n) ASSERT_EQ(g.InsertPicture(12, n % 2 ? kA : kB, "p.bmp"), Outcome::Done);
  for (int n = 7; n <= 26; ++n) kept.insert(VersionName(12, n));
  EXPECT_EQ(g.Versions(), kept);
}

TEST(SlotHistory, AVersionThatCannotBeUsedIsRefusedNamingItAndNothingIsWritten) {
  using enum MessageAnswer;
  const struct {
    const char* name;
    MessageAnswer answer;
    std::function<void(HistoryGame&, const std::string& kept)> spoil;  // kept: the one version's path
    std::string message;  // "@": "The kept version <its path>", and ". Nothing was written." after
  } cases[] = {
      {"answered No", No, nullptr, ""},
      {"no version kept", Yes, [](HistoryGame& g, auto&) { fs::remove_all(g.History()); },
       "No earlier version of slot 12 has been kept: there is nothing to undo."},
      {"its first entry's image type changed", Yes,  // byte 25: 2 (uncompressed colour) as the slot held it
       [](auto&, const std::string& v) { sample::WriteFile(v, test::With(ReadBytes(v), {{25, 0}})); },
       "@ is damaged (its checksum does not match)"},
      {"cut short", Yes, [](auto&, const std::string& v) { fs::resize_file(v, 1000); }, "@ is cut short"},
      {"its checksum cut off", Yes, [](auto&, const std::string& v) { fs::resize_file(v, fs::file_size(v) - 3); },
       "@ is cut short"},
      {"made for other lengths", Yes, [](HistoryGame& g, auto&) { g.SetRecord(4, 12, 3091); },
       "@ was made for entries of other lengths than slot 12's in resource\\textures.mw4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HistoryGame g;
    ASSERT_EQ(g.InsertPicture(12, kA, "a.bmp"), Outcome::Done);
    if (c.spoil) c.spoil(g, g.Version(12, 1));
    const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    const auto versions = g.Versions();
    EXPECT_EQ(g.Undo(12, c.answer), Outcome::Refused);
    std::string m = c.message;
    if (m.starts_with('@')) m = "The kept version " + g.Version(12, 1) + m.substr(1) + ". Nothing was written.";
    ASSERT_FALSE(g.ui.messages.empty());
    EXPECT_EQ(g.ui.messages.back().text, m.empty() ? g.ui.messages.front().text : m);
    EXPECT_EQ(g.ui.messages.front().title, "Continue?");  // the restores' question first
    EXPECT_EQ(g.ui.messages.back().icon, c.message.starts_with('@') ? MessageIcon::Critical : MessageIcon::Information);
    EXPECT_TRUE(test::SameBytes(ReadBytes(g.Textures()), textures) && test::SameBytes(ReadBytes(g.Props()), props));
    EXPECT_TRUE(g.Versions() == versions && g.ui.statuses.empty());
  }
}

// Differs-from-backup follows every change (the commands', another program's that put the modification time back)
// and is worked out afresh without the slot state; both restores keep what they replace, where they change a slot.
TEST(SlotHistory, DiffersFromBackupFollowsEveryChangeAndTheRestoresKeepWhatTheyReplace) {
  HistoryGame g;
  const auto differing = [&g] {
    std::set<int> slots;
    for (const SlotStatus& s : ReadSlotStatus(g.state)) {
      EXPECT_TRUE(s.DiffersFromBackup.has_value()) << s.Slot;
      if (s.DiffersFromBackup.value_or(false)) slots.insert(s.Slot);
    }
    g.state.Archives.Close();
    return slots;
  };
  ReadSlotStatus(g.state);  // the archives' digests known before the first insert makes the backups
  ASSERT_EQ(g.InsertPicture(12, kA, "a.bmp"), Outcome::Done);
  ASSERT_EQ(g.InsertPicture(9, kA, "a.bmp"), Outcome::Done);
  const auto a9 = g.Slot(9);
  EXPECT_EQ(differing(), (std::set<int>{9, 12}));

  // Slot 12 put back as the backups have it by another program: its six levels, then its lobby preview,
  // keeping props.mw4's modification time (only the inode's change time tells).
  const auto putBack = [](const std::string& file, const sample::Placed& place) {
    auto bytes = ReadBytes(file);
    test::Put(bytes, place, test::At(ReadBytes(file + "b"), place));
    sample::WriteFile(file, bytes);
  };
  for (int l = 0; l < 6; ++l) putBack(g.Textures(), g.layout.Textures.at(ExpectedTextureName(12, l)));
  EXPECT_EQ(differing(), (std::set<int>{9, 12}));
  const auto when = fs::last_write_time(g.Props());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  putBack(g.Props(), g.layout.Props.at(ExpectedLobbyName(12)));
  fs::last_write_time(g.Props(), when);
  EXPECT_EQ(differing(), std::set<int>{9});

  // Restore to Original keeps what slot 9 held, not slot 12 (unchanged); its undo and Restore Slot keep theirs too.
  ASSERT_EQ(g.Answered(MessageAnswer::Yes, [&] { return RestoreOriginals(g.state, g.ui); }), Outcome::Done);
  EXPECT_TRUE(g.Slot(9) == HistoryGame().Slot(9) && differing().empty());
  EXPECT_EQ(g.Versions(), (std::set{VersionName(12, 1), VersionName(9, 1), VersionName(9, 2)}));
  EXPECT_TRUE(VersionFile(g.Version(9, 2)).entries == a9 && VersionFile(g.Version(9, 2)).picture == "a.bmp");
  ASSERT_EQ(g.Undo(9), Outcome::Done);
  EXPECT_TRUE(g.Slot(9) == a9 && differing() == std::set<int>{9});
  for (const std::vector<uint8_t>& state : {std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>{}}) {
    sample::WriteFile(g.Resource("quorlin.slots"), state);  // damaged, then empty
    EXPECT_EQ(differing(), std::set<int>{9});
  }
  ASSERT_EQ(g.Answered(MessageAnswer::Yes, [&] { return RestoreSlot(g.state, g.ui, 9); }), Outcome::Done);
  EXPECT_TRUE(g.Slot(9) == HistoryGame().Slot(9) && differing().empty());
  EXPECT_EQ(VersionFile(g.Version(9, 4)).entries, a9);
  // While the files are as they were the digests kept are believed: the backups are not read again.
  SlotState kept = LoadSlotState(g.state.Game);
  ASSERT_TRUE(kept.Backups.has_value());
  kept.Backups->BySlot[10] = kept.Backups->BySlot[11];
  SaveSlotState(g.state.Game, kept);
  EXPECT_EQ(differing(), std::set<int>{10});
}

}  // namespace
}  // namespace quorlin
