// The main window's logic, the same under Qt and Win32: the presenter's menu handlers
// over a generated game, against a view that records what it is asked to show.
#include "app/presenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <deque>
#include <map>
#include <set>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using ::testing::ElementsAre;

// Records what the presenter asks of the window; messages go to a RecordingFrontEnd, which answers them.
struct RecordingView : WindowView {
  void SetTitle(const std::string& text) override { title = text; }
  void Show() override { ++shown; }
  void Close() override { ++closed; }
  void SetStatus(const std::string& text, bool) override { status = text; }
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override {
    return ui.ShowMessage(text, caption, icon, buttons);
  }
  void ShowPicture(const ImageBuffer* image) override { picture = image ? image->Pixels : std::vector<uint8_t>{}; }
  void SetSkinItemChecked(int index, bool on) override { on ? (void)ticked.insert(index) : (void)ticked.erase(index); }
  void SetSkinItemIcon(int index, const ImageBuffer* icon) override {
    icon ? (void)(icons[index] = icon->Pixels) : (void)icons.erase(index);
  }
  std::optional<std::string> AskForFolder(const std::string& text, const std::string& start) override {
    folderDialogs.push_back(text + " at " + start);
    const auto folder = folders.empty() ? std::nullopt : folders.front();
    if (!folders.empty()) folders.pop_front();
    return folder;
  }
  std::optional<std::string> AskForPicture(const std::string& text, const std::vector<FileFilter>& list,
                                           const std::string& start) override {
    for (const FileFilter& f : list) filters.push_back(f.Label + "=" + f.Patterns);
    return dialog = text + " at " + start, chosen;
  }
  void SetSmoothLevelsChecked(bool on) override { smooth = on; }
  bool ShowProgress(const std::string& what, int n) override {  // in thousandths: the first and the last kept
    if (n == 0 || n == 1000) progress.push_back(what + " " + std::to_string(n));
    return !cancel;
  }
  void CloseProgress() override { if (!progress.empty() && progress.back() != "closed") progress.push_back("closed"); }
  void SetBusy(bool busy) override { busyChanges.push_back(busy); }
  std::optional<size_t> ChooseInstallation(const std::vector<Installation>& found) override {
    for (const Installation& i : found) offered.push_back(i.Prefix);
    return std::nullopt;
  }

  std::string title, status, dialog;
  bool smooth = false, cancel = false;
  int shown = 0, closed = 0;
  std::vector<std::string> filters, progress, offered, folderDialogs;
  test::RecordingFrontEnd ui;  // the messages shown, and the answers to questions
  std::vector<uint8_t> picture;
  std::vector<bool> busyChanges;
  std::set<int> ticked;
  std::map<int, std::vector<uint8_t>> icons;  // the Skin menu's icons by slot
  std::deque<std::optional<std::string>> folders;  // the folder dialog's answers (nothing: Cancel)
  std::optional<std::string> chosen;
};

struct PresenterTest : ::testing::Test {
  PresenterTest() : g(test::SmallGame({9, 12})) {}
  // A presenter over the game, its settings in a file of its own, started; without a decoder it opens
  // plain bitmaps and Targa files only.
  Presenter& Started(PictureDecoder decoder = nullptr, WindowHooks hooks = {}) {
    hooks.Startup.GameDir = g.dir.str();
    hooks.SettingsFile = settings / "settings.json";
    presenter = std::make_unique<Presenter>(view, std::move(decoder), std::move(hooks));
    EXPECT_EQ(presenter->Form_Load(), Outcome::Done);
    return *presenter;
  }
  std::string Picture(const char* name, const ImageBuffer& image) {
    sample::WriteFile(g.dir / name, sample::EncodeBmp(image));
    return g.dir / name;
  }
  // A value of the settings file, read as JSON by the test itself.
  nlohmann::json Setting(const char* key) const {
    const auto bytes = ReadBytes(settings / "settings.json");
    return bytes.empty() ? nlohmann::json() : nlohmann::json::parse(bytes.begin(), bytes.end())[key];
  }
  test::TestGame g;
  test::TempDir settings;
  RecordingView view;
  std::unique_ptr<Presenter> presenter;
};

const std::string kIndexMissing = "An index of the skins must be created to be patch independent.";

// Start-up titles the window, shows it once to build the index and ticks slot 9; the menus then run the
// commands on the ticked slot. (Start-up's failures: startup_test; the first showing's aid: program_test.)
TEST_F(PresenterTest, StartUpThenTheMenusRunTheCommandsOnTheTickedSlot) {
  Presenter& p = Started();
  EXPECT_TRUE(view.title == "Quorlin [1.1.18]" && view.shown == 1);
  EXPECT_EQ(view.ui.MessageTexts(), std::vector<std::string>{kIndexMissing});
  EXPECT_EQ(view.ticked, std::set<int>{9});
  for (const int slot : {37, 9, 12}) p.skinl_Click(slot);
  EXPECT_EQ(view.ticked, std::set<int>{12});

  // The Open dialog with its title and filters; Cancel changes nothing, nor does dropping a folder or nothing
  // onto the window, refused with one message. (A file chosen in it: below; several dropped: window_test.)
  fs::create_directories(g.dir / "art");
  const ImageBuffer picture = test::PositionPicture();
  const std::string skin = Picture("art/skin.bmp", picture), drop = "Drop one picture file onto the window to open it.";
  view.status = "before";
  p.mnufileopen_Click();
  EXPECT_EQ(view.dialog, "Open 512x512 Skin at ");
  EXPECT_THAT(view.filters, ElementsAre("All Formats (*.bmp *.tga *.jpg *.png)=*.bmp;*.tga;*.jpg;*.png",
                                        "Windows Bitmap (*.bmp)=*.bmp", "Jpeg File (*.jpg)=*.jpg",
                                        "Targa File (*.tga)=*.tga", "PNG Image (*.png)=*.png"));
  p.DropFiles({g.dir / "art"});
  p.DropFiles({});
  EXPECT_EQ(view.ui.MessageTexts(), (std::vector<std::string>{kIndexMissing, drop, drop}));
  EXPECT_TRUE(view.status == "before" && view.picture.empty() && !fs::exists(settings / "settings.json"));
  // One picture file dropped is opened as File > Open opens it; the Open dialog then starts in its folder, if any.
  p.DropFiles({skin});
  EXPECT_TRUE(view.status == "Texture Loaded ready to insert" && view.picture == picture.Pixels);
  p.mnufileopen_Click();
  EXPECT_EQ(view.dialog, "Open 512x512 Skin at " + g.dir / "art");
  fs::rename(g.dir / "art", g.dir / "moved");
  p.mnufileopen_Click();
  EXPECT_EQ(view.dialog, "Open 512x512 Skin at ");

  // Insert Skin under the hourglass: each backup copy's progress from 0 to 1000 thousandths, then its window closed.
  const auto original = ReadBytes(g.Textures());
  view.busyChanges.clear();
  p.mnueditInsert_Click();
  EXPECT_EQ(view.status, "Done.");
  EXPECT_EQ(view.busyChanges, (std::vector<bool>{true, false}));
  EXPECT_EQ(view.progress, (std::vector<std::string>{"Backing Up 0", "Backing Up 1000", "closed", "Backing Up 0",
                                                     "Backing Up 1000", "closed"}));

  // Restore, its question answered Yes through the view (No and the question's text: restore_test).
  view.ui.answers = {MessageAnswer::Yes};
  p.mnueditRestore_Click();
  EXPECT_TRUE(view.status == "Done." && ReadBytes(g.Textures()) == original);

  p.mnufileexit_Click();  // (a picture refused on opening: picture_test)
  EXPECT_TRUE(view.closed == 1 && p.ExitStatus() == 0);
}

TEST_F(PresenterTest, ACancelledCopyWritesNothingAndAnEscapedErrorEndsTheProgram) {
  Presenter& p = Started([](const std::string&, ImageBuffer&) { throw std::bad_alloc(); });
  const auto textures = ReadBytes(g.Textures());
  p.OpenPictureFile(Picture("skin.bmp", test::PositionPicture()));
  view.cancel = true;
  p.mnueditInsert_Click();
  EXPECT_THAT(view.ui.messages.back().text,
              ::testing::StartsWith("Could not back up resource\\textures.mw4:\nCopying "));
  EXPECT_EQ(view.progress.back(), "closed");
  EXPECT_TRUE(!fs::exists(g.Textures() + "b") && ReadBytes(g.Textures()) == textures && view.closed == 0);

  // The decoder fails in a way no command reports: the failure report, then the end.
  sample::WriteFile(g.dir / "skin.png", {1, 2, 3});
  view.chosen = g.dir / "skin.png";
  p.mnufileopen_Click();
  EXPECT_EQ(view.ui.messages.back().text, "Error\nstd::bad_alloc");
  EXPECT_EQ(view.ui.messages.back().icon, MessageIcon::Critical);
  EXPECT_TRUE(view.closed == 1 && p.ExitStatus() == 1);
}

#ifdef __linux__
TEST_F(PresenterTest, AGameFolderThisUserCannotWriteIsExplainedAndEndsTheProgram) {
  Presenter& p = Started();
  p.OpenPictureFile(Picture("skin.bmp", test::PositionPicture()));
  test::Immutable readOnly(g.dir / "resource");
  if (!readOnly.ok()) GTEST_SKIP() << "the file system cannot make a folder read-only for root";
  p.mnueditInsert_Click();
  readOnly.Release();
  EXPECT_TRUE(view.ui.messages.back().text.ends_with("write in the folder).\n\nGive this user permission to write "
                                                     "there, or run Quorlin as a user who has it."));
  EXPECT_TRUE(view.closed == 1 && p.ExitStatus() == 1 && !fs::exists(g.Textures() + "b"));
}
#endif

TEST_F(PresenterTest, TheTestAidsAnswerMessagesInsteadOfTheView) {
  test::SetEnvironment("QUORLIN_TEST_AUTO_ANSWER", "no");
  WindowHooks hooks = HooksFromEnvironment();
  test::SetEnvironment("QUORLIN_TEST_AUTO_ANSWER", nullptr);
  Presenter& p = Started(nullptr, hooks);
  EXPECT_EQ(p.ShowAndStartTestAids(Picture("skin.bmp", test::PositionPicture())), "");  // given at start
  EXPECT_EQ(view.shown, 2);
  p.mnueditRestore_Click();  // answered No, as the aid says: nothing done, nothing said (Yes: no backups to restore)
  EXPECT_TRUE(view.status == "Texture Loaded ready to insert" && view.ui.messages.empty());
  EXPECT_EQ(hooks.AnswerMessage("t", "T", MessageIcon::None, MessageButtons::Ok), MessageAnswer::Ok);
}

// With no game found, the window asks for the folder until one holds both archives; the
// folder is remembered and the next start uses it without a question. No or Cancel ends it.
TEST_F(PresenterTest, WithNoGameFoundTheFolderIsChosenAndRememberedForTheNextStart) {
  WindowHooks hooks;
  hooks.SettingsFile = settings / "settings.json";
  hooks.Startup.OpenKey = [] { return std::unique_ptr<RegistryKey>(); };  // no game key anywhere
  const auto start = [&](std::deque<MessageAnswer> answers, std::deque<std::optional<std::string>> folders) {
    view = RecordingView{};
    view.ui.answers = std::move(answers);
    view.folders = std::move(folders);
    presenter = std::make_unique<Presenter>(view, nullptr, hooks);
    return presenter->Form_Load();
  };
  const std::string problem = "Problem getting Mechwarrior Path!",
                    question = "Do you want to choose the game's folder yourself?";
  EXPECT_EQ(start({MessageAnswer::No}, {g.dir.str()}), Outcome::EndProgram);  // (Yes, then Cancel: program_test)
  EXPECT_EQ(view.ui.MessageTexts(), (std::vector<std::string>{problem, question}));
  EXPECT_TRUE(presenter->ExitStatus() == 1 && view.closed == 1 && view.shown == 0 && view.folderDialogs.empty());
  EXPECT_FALSE(fs::exists(settings / "settings.json") || fs::exists(g.Resource("textures.inx")));
  fs::create_directories(settings / "half/Resource");  // the folders chosen lie beside the settings file
  sample::WriteFile(settings / "half/Resource/TEXTURES.MW4", {1});  // letter case as Wine matches it
  ASSERT_EQ(start({MessageAnswer::Yes}, {settings / "nothing", settings / "half", g.dir.str()}), Outcome::Done);
  EXPECT_EQ(view.ui.MessageTexts(),
            (std::vector<std::string>{problem, question,
                                      "The folder\n" + settings / "nothing" +
                                          "\nis not the game's folder: it has neither resource\\textures.mw4 nor "
                                          "resource\\props.mw4.",
                                      "The folder\n" + settings / "half" +
                                          "\nis not the game's folder: it has no resource\\props.mw4.",
                                      kIndexMissing}));
  EXPECT_EQ(view.folderDialogs.front(), "Choose the Mechwarrior Vengeance folder at ");
  EXPECT_EQ(view.ui.messages[1].icon, MessageIcon::Question);
  EXPECT_EQ(Setting("game_folder"), g.dir.str());

  // The next start: the remembered folder, no question. (Once it lost an archive: the search again, cli_test.)
  EXPECT_EQ(start({}, {}), Outcome::Done);
  EXPECT_TRUE(view.ui.messages.empty() && view.folderDialogs.empty() && view.title == "Quorlin [1.1.18]");
}

// The Skin menu's icons: each slot's stored preview, with the dot where the slot differs from its
// backup, after every change; Smooth Texture Levels makes the levels box averages, and is kept;
// File > Game Folder... starts the window on another game, as start-up does, keeping the picture.
TEST_F(PresenterTest, TheSkinMenuShowsWhatEachSlotHoldsAndAnotherGameFolderKeepsThePicture) {
  Presenter& p = Started();
  const auto solid = [](int slot) {  // the generator's untouched preview: one colour
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 32 * 32; ++i) pixels.insert(pixels.end(), {uint8_t(255 - slot * 6), uint8_t(slot * 6), 128});
    return pixels;
  };
  EXPECT_EQ(view.icons, (std::map<int, std::vector<uint8_t>>{{9, solid(9)}, {12, solid(12)}}));
  const ImageBuffer picture = test::PositionPicture();
  p.OpenPictureFile(Picture("skin.bmp", picture));
  p.skinl_Click(12);
  p.mnueditInsert_Click();
  const auto stored = test::LevelTarga(picture, 32);
  std::vector<uint8_t> marked(stored.begin() + 18, stored.end());
  const uint8_t rings[3][3] = {{0, 140, 255}, {255, 255, 255}, {40, 40, 40}};  // orange, white, dark (BGR)
  for (int i = 0; i < 32 * 32; ++i) {  // the dot: orange within sqrt(12) of (26,5), white then dark around it
    const int d = (i % 32 - 26) * (i % 32 - 26) + (i / 32 - 5) * (i / 32 - 5);
    if (d <= 30) std::copy_n(rings[d <= 12 ? 0 : d <= 20 ? 1 : 2], 3, marked.begin() + i * 3);
  }
  EXPECT_EQ(view.icons.at(12), marked);
  EXPECT_EQ(view.icons.at(9), solid(9));
  view.ui.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
  p.mnueditRestoreSlot_Click();
  EXPECT_EQ(view.icons.at(12), solid(12));
  p.mnueditUndo_Click();
  EXPECT_EQ(view.icons.at(12), marked);

  EXPECT_FALSE(view.smooth);
  p.mnueditSmooth_Click();
  EXPECT_TRUE(view.smooth && Setting("smooth_levels") == true);
  p.mnueditInsert_Click();
  EXPECT_EQ(test::At(ReadBytes(g.Textures()), g.layout.Textures.at(ExpectedTextureName(12, 1))),
            test::LevelTarga(picture, 256, true));

  test::TestGame second(test::SmallGame({12}));
  view.folders = {std::nullopt, second.dir.str()};
  p.mnufileGameFolder_Click();  // cancelled: nothing changes
  const std::string asked = "Choose the Mechwarrior Vengeance folder at " + g.dir.str();  // a last separator or not
  EXPECT_THAT(view.folderDialogs.back(), ::testing::AnyOf(asked, asked + '\\'));
  view.ui.messages.clear();
  p.mnufileGameFolder_Click();
  EXPECT_EQ(view.ui.MessageTexts(), std::vector<std::string>{kIndexMissing});
  EXPECT_EQ(view.status, "Texture Loaded ready to insert");  // (the folder remembered: above)
  p.skinl_Click(12);
  p.mnueditInsert_Click();
  EXPECT_EQ(test::At(ReadBytes(second.Textures()), second.layout.Textures.at(ExpectedTextureName(12, 1))),
            test::LevelTarga(picture, 256, true));
  view.smooth = false;
  Started();  // remembered at the next start
  EXPECT_TRUE(view.smooth);
}

TEST(WindowArguments, AGameOrAPrefixThenAPicture) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {  // game|prefix|picture; nullptr: the usage
      {{}, "||"}, {{"skin.bmp"}, "||skin.bmp"}, {{"--game", "G", "skin.bmp"}, "G||skin.bmp"},
      {{"--prefix", "P"}, "|P|"}, {{"--game", "G", "--prefix", "P"}, nullptr}, {{"--game"}, nullptr},
      {{"a.bmp", "b.bmp"}, nullptr}, {{"--bogus"}, nullptr}};
  for (const auto& [args, parsed] : cases) {
    WindowArguments got;
    std::string usage;
    EXPECT_EQ(ParseWindowArguments(args, got, usage)
                  ? got.Startup.GameDir.value_or("") + "|" + got.Startup.WinePrefix.value_or("") + "|" + got.Picture
                  : usage,
              parsed ? parsed : "Usage: quorlin [--game DIR | --prefix DIR] [PICTURE]");
  }
}

#ifndef _WIN32
// Without a game or prefix given, the installations found in every launcher's prefixes
// are offered in the window's list; none chosen ends the program. (One chosen: program_test.)
TEST_F(PresenterTest, OfSeveralInstallationsNoneChosenEndsTheProgramBeforeAnythingIsWritten) {
  test::TempDir home;
  sample::WriteWinePrefix(home / ".wine", g.dir.str());
  sample::WriteSampleGame(home / "other", test::SmallGame({9}));
  sample::WriteWinePrefix(home / ".local/share/wineprefixes/other", home / "other");
  sample::WriteWinePrefix(home / ".local/share/wineprefixes/stale", home / "gone");  // no textures there
  const std::string oldHome = std::getenv("HOME");
  test::SetEnvironment("HOME", home.str().c_str());
  test::SetEnvironment("WINEPREFIX", nullptr);
  Presenter p(view, nullptr);
  EXPECT_EQ(p.Form_Load(), Outcome::EndProgram);
  EXPECT_THAT(view.offered, ElementsAre(home / ".wine", home / ".local/share/wineprefixes/other"));
  EXPECT_TRUE(p.ExitStatus() == 1 && view.closed == 1 && view.shown == 0 && view.ui.messages.empty());
  EXPECT_FALSE(fs::exists(g.Resource("textures.inx")) || fs::exists(home / "other/resource/textures.inx"));
  test::SetEnvironment("HOME", oldHome.c_str());
}
#endif

}  // namespace
}  // namespace quorlin
