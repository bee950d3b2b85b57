// The slot history: what each change keeps, undo and the undo of an undo byte for
// byte, the versions refused, the limit of twenty, and "differs from backup" kept
// right through every change, also one made behind the program's back.
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
using test::SameBytes;

// A version file read field by field: "QRLNVER1", u8 slot, i64 time, u8 count, then per
// entry u8 present, u32 length, bytes; u16 + picture name; the checksum's 8 bytes end it.
struct VersionFile {
  int slot = 0;
  int64_t time = 0;
  std::string picture;
  std::vector<std::vector<uint8_t>> entries;  // empty for an entry not kept
};

VersionFile ReadVersionFile(const std::string& path) {
  const auto b = ReadBytes(path);
  size_t at = 8;
  const auto num = [&](int n) {
    uint64_t v = 0;
    for (int k = 0; k < n; ++k) v |= uint64_t{b.at(at + static_cast<size_t>(k))} << (8 * k);
    at += static_cast<size_t>(n);
    return v;
  };
  VersionFile v;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 8), "QRLNVER1");
  v.slot = static_cast<int>(num(1));
  v.time = static_cast<int64_t>(num(8));
  for (int n = static_cast<int>(num(1)); n > 0; --n) {
    const bool present = num(1) != 0;
    const size_t length = num(4);
    v.entries.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(at),
                           b.begin() + static_cast<std::ptrdiff_t>(at + (present ? length : 0)));
    at += length;
  }
  const size_t name = num(2);
  v.picture.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + name));
  at += name;
  EXPECT_EQ(at + 8, b.size()) << path;
  return v;
}

// A game with slots 9 and 12 prepared and started, two pictures to insert, and the
// slot's seven entries as the files hold them at the generator's places.
struct HistoryGame : test::TestGame {
  HistoryGame() : TestGame(test::SmallGame({9, 12})) { EXPECT_EQ(Start(), Outcome::Done); }
  std::vector<std::vector<uint8_t>> Slot(int slot) const {
    const auto textures = ReadBytes(Textures()), props = ReadBytes(Props());
    std::vector<std::vector<uint8_t>> entries;
    for (int level = 0; level < 6; ++level) {
      entries.push_back(test::At(textures, layout.Textures.at(ExpectedTextureName(slot, level))));
    }
    entries.push_back(test::At(props, layout.Props.at(ExpectedLobbyName(slot))));
    return entries;
  }
  Outcome InsertPicture(int slot, const ImageBuffer& picture, const std::string& name) {
    LoadPicture(picture);
    state.LoadedPictureName = name;
    return Insert(slot);
  }
  Outcome Answered(MessageAnswer answer, const std::function<Outcome()>& command) {
    return Run([&] {
      ui.answers.push_back(answer);
      return command();
    });
  }
  Outcome Undo(int slot, MessageAnswer answer = MessageAnswer::Yes) {
    return Answered(answer, [&] { return UndoLastChange(state, ui, slot); });
  }
  std::string History() const { return Resource("quorlin-history"); }
  std::string Version(int slot, int number) const {
    char name[32];
    std::snprintf(name, sizeof name, "slot%d-%06d.qver", slot, number);
    return fs::path(History() + "/" + name).make_preferred().string();  // as the program names it
  }
  std::set<std::string> Versions() const { return fs::exists(History()) ? test::Listing(History()) : std::set<std::string>{}; }
};

ImageBuffer Picture(int seed) {
  ImageBuffer p = test::PositionPicture();
  for (auto& b : p.Pixels) b = static_cast<uint8_t>(b * (seed * 2 + 1) + seed);
  return p;
}

TEST(SlotHistory, AnInsertItsUndoAndTheUndosUndoGiveBackTheExactBytesEachTime) {
  HistoryGame g;
  const auto original = g.Slot(12);
  const auto t0 = std::time(nullptr);
  ASSERT_EQ(g.InsertPicture(12, Picture(1), "a.bmp"), Outcome::Done);
  const auto a = g.Slot(12);
  ASSERT_EQ(g.InsertPicture(12, Picture(2), "b.bmp"), Outcome::Done);
  const auto b = g.Slot(12);
  ASSERT_NE(a, original);
  // Each insert kept what the slot held, with the picture that had made it.
  VersionFile v1 = ReadVersionFile(g.Version(12, 1)), v2 = ReadVersionFile(g.Version(12, 2));
  EXPECT_TRUE(v1.slot == 12 && v1.entries == original && v1.picture.empty());
  EXPECT_TRUE(v2.slot == 12 && v2.entries == a && v2.picture == "a.bmp");
  EXPECT_TRUE(v1.time >= t0 && v2.time <= std::time(nullptr) + 1) << v1.time << " " << t0;

  // Undo takes the newest version out and keeps what it replaces in its place.
  const struct {
    std::vector<std::vector<uint8_t>> slot;
    std::set<std::string> versions;
    std::string newestPicture;
  } steps[] = {{a, {"slot12-000001.qver", "slot12-000003.qver"}, "b.bmp"},
               {b, {"slot12-000001.qver", "slot12-000004.qver"}, "a.bmp"},
               {a, {"slot12-000001.qver", "slot12-000005.qver"}, "b.bmp"}};
  int newest = 3;
  for (const auto& step : steps) {
    ASSERT_EQ(g.Undo(12), Outcome::Done);
    EXPECT_EQ(g.Slot(12), step.slot);
    EXPECT_EQ(g.Versions(), step.versions);
    EXPECT_EQ(ReadVersionFile(g.Version(12, newest++)).picture, step.newestPicture);
    EXPECT_EQ(g.ui.statuses, (std::vector<std::string>{"Undoing the last change to slot 12", "Done."}));
  }
  // The list, newest first: the original is known for the original.
  const auto list = ListSlotHistory(g.state, 12);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(list[0].Number == 5 && list[0].Picture == "b.bmp" && list[0].Original == false);
  EXPECT_TRUE(list[1].Number == 1 && list[1].Picture.empty() && list[1].Original == true);
  EXPECT_EQ(g.Slot(9), HistoryGame().Slot(9));  // no other slot touched

  // The same picture again changes nothing and keeps nothing.
  ASSERT_EQ(g.Undo(12), Outcome::Done);
  ASSERT_EQ(g.InsertPicture(12, Picture(2), "b.bmp"), Outcome::Done);
  EXPECT_EQ(g.Versions(), (std::set<std::string>{"slot12-000001.qver", "slot12-000006.qver"}));
}

TEST(SlotHistory, AVersionThatCannotBeUsedIsRefusedNamingItAndNothingIsWritten) {
  const struct {
    const char* name;
    MessageAnswer answer;
    std::function<void(HistoryGame&)> spoil;
    std::string message;  // "@" stands for the newest version file's path
  } cases[] = {
      {"answered No", MessageAnswer::No, nullptr, ""},
      {"no version kept", MessageAnswer::Yes, [](HistoryGame& g) { fs::remove_all(g.History()); },
       "No earlier version of slot 12 has been kept: there is nothing to undo."},
      {"a byte changed", MessageAnswer::Yes,
       [](HistoryGame& g) {
         auto bytes = ReadBytes(g.Version(12, 2));
         bytes[bytes.size() / 2] ^= 1;
         sample::WriteFile(g.Version(12, 2), bytes);
       },
       "The kept version @ is damaged (its checksum does not match). Nothing was written."},
      {"cut short", MessageAnswer::Yes, [](HistoryGame& g) { fs::resize_file(g.Version(12, 2), 1000); },
       "The kept version @ is cut short. Nothing was written."},
      {"its checksum cut off", MessageAnswer::Yes,
       [](HistoryGame& g) { fs::resize_file(g.Version(12, 2), fs::file_size(g.Version(12, 2)) - 3); },
       "The kept version @ is cut short. Nothing was written."},
      {"made for other lengths", MessageAnswer::Yes, [](HistoryGame& g) { g.SetRecord(4, 12, 3091); },
       "The kept version @ was made for entries of other lengths than slot 12's in resource\\textures.mw4. "
       "Nothing was written."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HistoryGame g;
    ASSERT_EQ(g.InsertPicture(12, Picture(1), "a.bmp"), Outcome::Done);
    ASSERT_EQ(g.InsertPicture(12, Picture(2), "b.bmp"), Outcome::Done);
    if (c.spoil) c.spoil(g);
    const auto textures = ReadBytes(g.Textures()), props = ReadBytes(g.Props());
    const auto versions = g.Versions();
    EXPECT_EQ(g.Undo(12, c.answer), Outcome::Refused);
    std::string message = c.message;
    if (const auto at = message.find('@'); at != std::string::npos) message.replace(at, 1, g.Version(12, 2));
    ASSERT_FALSE(g.ui.messages.empty());
    EXPECT_EQ(g.ui.messages.back().text, message.empty() ? g.ui.messages.front().text : message);
    EXPECT_EQ(g.ui.messages.front().title, "Continue?");  // the restores' question first
    EXPECT_TRUE(SameBytes(ReadBytes(g.Textures()), textures) && SameBytes(ReadBytes(g.Props()), props));
    EXPECT_EQ(g.Versions(), versions);
    EXPECT_TRUE(g.ui.statuses.empty());
  }
}

TEST(SlotHistory, TwentyVersionsAreKeptOfASlotTheOldestGoingFirst) {
  HistoryGame g;
  for (int i = 0; i < 22; ++i) ASSERT_EQ(g.InsertPicture(12, Picture(i % 2), "p.bmp"), Outcome::Done);
  std::set<std::string> kept;
  for (int n = 3; n <= 22; ++n) kept.insert("slot12-" + std::string(n < 10 ? "00000" : "0000") + std::to_string(n) + ".qver");
  EXPECT_EQ(g.Versions(), kept);
}

// Both restores keep what they replace: the slot's restore its slot, the whole
// restore each slot it changes and no other.
TEST(SlotHistory, RestoresKeepWhatTheyReplace) {
  HistoryGame g;
  const auto original12 = g.Slot(12), original9 = g.Slot(9);
  ASSERT_EQ(g.InsertPicture(12, Picture(1), "a.bmp"), Outcome::Done);
  const auto a = g.Slot(12);
  ASSERT_EQ(g.Answered(MessageAnswer::Yes, [&] { return RestoreSlot(g.state, g.ui, 12); }), Outcome::Done);
  EXPECT_EQ(g.Slot(12), original12);
  VersionFile kept = ReadVersionFile(g.Version(12, 2));
  EXPECT_TRUE(kept.entries == a && kept.picture == "a.bmp");

  ASSERT_EQ(g.InsertPicture(9, Picture(2), "b.bmp"), Outcome::Done);
  const auto b = g.Slot(9);
  ASSERT_EQ(g.Answered(MessageAnswer::Yes, [&] { return RestoreOriginals(g.state, g.ui); }), Outcome::Done);
  EXPECT_TRUE(g.Slot(9) == original9 && g.Slot(12) == original12);
  EXPECT_EQ(g.Versions(), (std::set<std::string>{"slot12-000001.qver", "slot12-000002.qver", "slot9-000001.qver",
                                                 "slot9-000002.qver"}));
  kept = ReadVersionFile(g.Version(9, 2));
  EXPECT_TRUE(kept.entries == b && kept.picture == "b.bmp");
  // And the whole restore is undone slot by slot.
  ASSERT_EQ(g.Undo(9), Outcome::Done);
  EXPECT_EQ(g.Slot(9), b);
}

// Whether each slot differs from its backup, however it changed: by the commands, by
// another program that put the file's modification time back, with the slot state
// damaged or gone.
TEST(SlotDigests, DiffersFromBackupFollowsEveryChange) {
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
  g.state.Archives.Close();
  ASSERT_EQ(g.InsertPicture(12, Picture(1), "a.bmp"), Outcome::Done);
  EXPECT_EQ(differing(), std::set<int>{12});
  ASSERT_EQ(g.InsertPicture(9, Picture(1), "a.bmp"), Outcome::Done);
  EXPECT_EQ(differing(), (std::set<int>{9, 12}));

  // One byte of slot 12's lobby preview put back as the backup has it, by another
  // program that keeps the file's modification time.
  const auto place = g.layout.Props.at(ExpectedLobbyName(12));
  auto props = ReadBytes(g.Props());
  const auto when = fs::last_write_time(g.Props());
  test::Put(props, place, test::At(ReadBytes(g.Props() + "b"), place));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  sample::WriteFile(g.Props(), props);
  fs::last_write_time(g.Props(), when);
  EXPECT_EQ(differing(), (std::set<int>{9, 12})) << "six texture levels still differ";
  auto textures = ReadBytes(g.Textures());
  for (int level = 0; level < 6; ++level) {
    const auto& at = g.layout.Textures.at(ExpectedTextureName(12, level));
    test::Put(textures, at, test::At(ReadBytes(g.Textures() + "b"), at));
  }
  sample::WriteFile(g.Textures(), textures);
  EXPECT_EQ(differing(), std::set<int>{9});

  for (const std::vector<uint8_t>& state : {std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>{}}) {
    sample::WriteFile(g.Resource("quorlin.slots"), state);  // damaged, then empty
    EXPECT_EQ(differing(), std::set<int>{9});
  }
  fs::remove(g.Props() + "b");
  for (const SlotStatus& s : ReadSlotStatus(g.state)) EXPECT_FALSE(s.DiffersFromBackup.has_value());
}

}  // namespace
}  // namespace quorlin
