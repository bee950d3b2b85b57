// The main window's logic, the same under Qt and Win32: the presenter driven
// through its menu handlers over a generated game, against a view that records
// what it is asked to show.
#include "app/presenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using ::testing::ElementsAre;

class RecordingView : public WindowView {
 public:
  void SetTitle(const std::string& text) override { title = text; }
  void Show() override { ++shown; }
  void Close() override { ++closed; }
  void SetStatus(const std::string& text, bool) override { status = text; }
  MessageAnswer ShowMessage(const std::string& text, const std::string&, MessageIcon icon,
                            MessageButtons buttons) override {
    messages.push_back(text);
    icons.push_back(icon);
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    const MessageAnswer answer = answers.empty() ? MessageAnswer::No : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return answer;
  }
  void ShowPicture(const ImageBuffer* image) override { picture = image ? image->Pixels : std::vector<uint8_t>{}; }
  void SetSkinItemChecked(int index, bool checked) override { ticks[index] = checked; }
  std::optional<std::string> AskForPicture(const std::string& text, const std::vector<FileFilter>& list) override {
    dialog = text;
    for (const FileFilter& f : list) filters.push_back(f.label + "=" + f.patterns);
    return chosen;
  }
  bool ShowProgress(const std::string& what, int thousandths) override {
    progress.push_back(what + " " + std::to_string(thousandths));
    return !cancel;
  }
  void CloseProgress() override {
    if (!progress.empty() && progress.back() != "closed") progress.push_back("closed");
  }
  void SetBusy(bool busy) override { busyChanges.push_back(busy); }
  std::optional<size_t> ChooseInstallation(const std::vector<Installation>& found) override {
    for (const Installation& i : found) offered.push_back(i.prefix);
    return choice;
  }

  std::vector<int> Ticked() const {
    std::vector<int> ticked;
    for (const auto& [index, on] : ticks) {
      if (on) ticked.push_back(index);
    }
    return ticked;
  }

  std::string title, status, dialog;
  int shown = 0, closed = 0;
  std::vector<std::string> messages, filters, progress, offered;
  std::optional<size_t> choice;
  std::vector<MessageIcon> icons;
  std::vector<MessageAnswer> answers;
  std::vector<uint8_t> picture;
  std::map<int, bool> ticks;
  std::optional<std::string> chosen;
  bool cancel = false;
  std::vector<bool> busyChanges;
};

struct PresenterTest : ::testing::Test {
  PresenterTest() : g(test::SmallGame({9, 12})) {}
  // A presenter over the game, with the platform's decoder standing in for tests.
  Presenter& Make(PictureDecoder decoder = nullptr, WindowHooks hooks = {}) {
    hooks.startup.GameDir = g.dir.str();
    presenter = std::make_unique<Presenter>(view, std::move(decoder), std::move(hooks));
    return *presenter;
  }
  std::string Picture(const char* name, const ImageBuffer& image) {
    sample::WriteFile(g.dir / name, sample::EncodeBmp(image));
    return g.dir / name;
  }
  test::TestGame g;
  RecordingView view;
  std::unique_ptr<Presenter> presenter;
};

TEST_F(PresenterTest, StartUpTitlesTheWindowTicksSlotNineOrEndsTheProgramWithOne) {
  const struct {
    const char* name;
    std::function<void(test::TestGame&)> arrange;
    Outcome outcome;
    int shown;  // start-up shows the window to build the index
    std::string message;
  } cases[] = {
      {"a fresh game", nullptr, Outcome::Done, 1, "An index of the skins must be created to be patch independent."},
      {"no textures archive", [](test::TestGame& game) { fs::remove(game.Textures()); }, Outcome::EndProgram, 0,
       "Mechwarrior path is invalid!"},
      {"an index that cannot be written",
       [](test::TestGame& game) { fs::create_directories(game.Resource("textures.inx/in-the-way")); },
       Outcome::EndProgram, 1, "Error 7"},  // 75 here, 70 (access denied) on Windows
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestGame game(test::SmallGame({9, 12}));
    if (c.arrange) c.arrange(game);
    view = RecordingView{};
    int firstShown = 0;
    WindowHooks hooks;
    hooks.firstShown = [&] { ++firstShown; };
    hooks.startup.GameDir = game.dir.str();
    Presenter p(view, nullptr, hooks);
    EXPECT_EQ(p.Form_Load(), c.outcome);
    EXPECT_EQ(view.title, "Quorlin [1.1.18]");
    EXPECT_EQ(view.shown, c.shown);
    EXPECT_EQ(firstShown, c.shown);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back().substr(0, c.message.size()), c.message);
    const bool ended = c.outcome == Outcome::EndProgram;
    EXPECT_EQ(view.closed, ended ? 1 : 0);
    EXPECT_EQ(p.ExitStatus(), ended ? 1 : 0);
    EXPECT_EQ(view.Ticked(), ended ? std::vector<int>{} : std::vector<int>{9});
  }
}

TEST_F(PresenterTest, TheMenusRunTheCommandsOnTheTickedSlot) {
  Presenter& p = Make();
  ASSERT_EQ(p.Form_Load(), Outcome::Done);
  for (const int slot : {37, 9, 12}) p.skinl_Click(slot);
  EXPECT_THAT(view.Ticked(), ElementsAre(12));

  // The Open dialog with its title and filters; Cancel changes nothing.
  view.status = "before";
  p.mnufileopen_Click();
  EXPECT_EQ(view.dialog, "Open 512x512 Skin");
  EXPECT_THAT(view.filters, ElementsAre("All Formats (*.bmp *.tga *.jpg *.png)=*.bmp;*.tga;*.jpg;*.png",
                                        "Windows Bitmap (*.bmp)=*.bmp", "Jpeg File (*.jpg)=*.jpg",
                                        "Targa File (*.tga)=*.tga", "PNG Image (*.png)=*.png"));
  EXPECT_EQ(view.status, "before");
  EXPECT_TRUE(view.picture.empty());
  const ImageBuffer picture = test::PositionPicture();
  view.chosen = Picture("skin.bmp", picture);
  p.mnufileopen_Click();
  EXPECT_EQ(view.status, "Texture Loaded ready to insert");
  EXPECT_EQ(view.picture, picture.Pixels);

  // Insert Skin writes slot 12 (the ticked one) under the hourglass, with the backup
  // copies' progress in thousandths.
  const auto original = ReadBytes(g.Textures());
  view.busyChanges.clear();
  p.mnueditInsert_Click();
  EXPECT_EQ(view.status, "Done.");
  EXPECT_EQ(view.busyChanges, (std::vector<bool>{true, false}));
  ASSERT_EQ(std::count(view.progress.begin(), view.progress.end(), "closed"), 2);  // two copies, from 0 to 1000
  EXPECT_EQ(view.progress.front(), "Backing Up 0");
  for (size_t i = 1; i < view.progress.size(); ++i) {
    if (view.progress[i] == "closed") {
      EXPECT_EQ(view.progress[i - 1], "Backing Up 1000");
    }
  }
  auto textures = ReadBytes(g.Textures());
  EXPECT_EQ(test::At(textures, g.layout.textures.at(ExpectedTextureName(12, 0))), test::LevelTarga(picture, 512));
  EXPECT_EQ(test::At(textures, g.layout.textures.at(ExpectedTextureName(9, 0))),
            test::At(original, g.layout.textures.at(ExpectedTextureName(9, 0))));

  // Restore asks; No leaves everything, Yes restores.
  view.answers = {MessageAnswer::No, MessageAnswer::Yes};
  view.status = "before";
  p.mnueditRestore_Click();
  EXPECT_EQ(view.messages.back(), "Restoring may require you to rerun the Zandel!\nDo you wish to continue?");
  EXPECT_EQ(view.status, "before");
  EXPECT_EQ(ReadBytes(g.Textures()), textures);
  p.mnueditRestore_Click();
  EXPECT_EQ(view.status, "Done.");
  EXPECT_EQ(ReadBytes(g.Textures()), original);

  // A picture of another size is shown, refused and cleared, leaving nothing to insert.
  view.messages.clear();
  view.chosen = Picture("small.bmp", test::PositionPicture(256));
  p.mnufileopen_Click();
  EXPECT_TRUE(view.picture.empty());
  p.mnueditInsert_Click();
  EXPECT_THAT(view.messages, ElementsAre("Skin file isn't 512x512!", "Load a 512x512 image to use for a skin"));
  EXPECT_EQ(view.closed, 0);
  p.mnufileexit_Click();
  EXPECT_EQ(view.closed, 1);
  EXPECT_EQ(p.ExitStatus(), 0);
}

TEST_F(PresenterTest, ACancelledCopyWritesNothingAndAnEscapedErrorEndsTheProgram) {
  Presenter& p = Make([](const std::string&, ImageBuffer&) { throw std::bad_alloc(); });
  ASSERT_EQ(p.Form_Load(), Outcome::Done);
  const auto textures = ReadBytes(g.Textures());
  p.OpenPictureFile(Picture("skin.bmp", test::PositionPicture()));
  view.cancel = true;
  p.mnueditInsert_Click();
  EXPECT_EQ(view.messages.back().rfind("Could not back up resource\\textures.mw4:\nCopying ", 0), 0u)
      << view.messages.back();
  EXPECT_EQ(view.progress.back(), "closed");
  EXPECT_FALSE(fs::exists(g.Textures() + "b"));
  EXPECT_EQ(ReadBytes(g.Textures()), textures);
  EXPECT_EQ(view.closed, 0);

  // The decoder fails in a way no command reports: the failure report, then the end.
  sample::WriteFile(g.dir / "skin.png", {1, 2, 3});
  view.chosen = g.dir / "skin.png";
  p.mnufileopen_Click();
  EXPECT_EQ(view.messages.back(), "Error\nstd::bad_alloc");
  EXPECT_EQ(view.icons.back(), MessageIcon::Critical);
  EXPECT_EQ(view.closed, 1);
  EXPECT_EQ(p.ExitStatus(), 1);
}

#ifdef __linux__
TEST_F(PresenterTest, AGameFolderThisUserCannotWriteIsExplainedAndEndsTheProgram) {
  Presenter& p = Make();
  ASSERT_EQ(p.Form_Load(), Outcome::Done);
  p.OpenPictureFile(Picture("skin.bmp", test::PositionPicture()));
  test::Immutable readOnly(g.dir / "resource");
  if (!readOnly.ok()) GTEST_SKIP() << "the file system cannot make a folder read-only for root";
  p.mnueditInsert_Click();
  readOnly.Release();
  EXPECT_EQ(view.messages.back(), "Quorlin cannot change the game's files in\n" + g.dir / "resource" +
                                      "\nbecause this user may not create files in it (no permission to write in the "
                                      "folder).\n\nGive this user permission to write there, or run Quorlin as a user "
                                      "who has it.");
  EXPECT_EQ(view.closed, 1);
  EXPECT_EQ(p.ExitStatus(), 1);
  EXPECT_FALSE(fs::exists(g.Textures() + "b"));
}
#endif

TEST_F(PresenterTest, TheTestAidsAnswerMessagesInsteadOfTheView) {
  test::SetEnvironment("QUORLIN_TEST_AUTO_ANSWER", "no");
  WindowHooks hooks = HooksFromEnvironment();
  test::SetEnvironment("QUORLIN_TEST_AUTO_ANSWER", nullptr);
  Presenter& p = Make(nullptr, hooks);
  ASSERT_EQ(p.Form_Load(), Outcome::Done);
  EXPECT_EQ(p.ShowAndStartTestAids(Picture("skin.bmp", test::PositionPicture())), "");  // given at start
  EXPECT_EQ(view.shown, 2);
  EXPECT_EQ(view.status, "Texture Loaded ready to insert");
  const auto textures = ReadBytes(g.Textures());
  p.mnueditRestore_Click();  // answered No, as the aid says
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(ReadBytes(g.Textures()), textures);
  EXPECT_EQ(hooks.answerMessage("t", "T", MessageIcon::None, MessageButtons::Ok), MessageAnswer::Ok);
}

TEST(WindowArguments, AGameOrAPrefixThenAPicture) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    std::string game, prefix, picture;
  } cases[] = {{{}, true, "", "", ""},
               {{"skin.bmp"}, true, "", "", "skin.bmp"},
               {{"--game", "G", "skin.bmp"}, true, "G", "", "skin.bmp"},
               {{"--prefix", "P"}, true, "", "P", ""},
               {{"--game", "G", "--prefix", "P"}, false, "", "", ""},
               {{"--game"}, false, "", "", ""},
               {{"a.bmp", "b.bmp"}, false, "", "", ""},
               {{"--bogus"}, false, "", "", ""}};
  for (const auto& c : cases) {
    WindowArguments got;
    std::string usage;
    EXPECT_EQ(ParseWindowArguments(c.args, got, usage), c.ok) << c.args.size();
    if (!c.ok) {
      EXPECT_EQ(usage, "Usage: quorlin [--game DIR | --prefix DIR] [PICTURE]");
      continue;
    }
    EXPECT_EQ(got.startup.GameDir.value_or(""), c.game);
    EXPECT_EQ(got.startup.WinePrefix.value_or(""), c.prefix);
    EXPECT_EQ(got.picture, c.picture);
  }
}

#ifndef _WIN32
// Without a game or prefix given, the installations found in every launcher's
// prefixes are offered in the window's list; none chosen ends the program.
TEST_F(PresenterTest, OfSeveralInstallationsTheOneChosenInTheListIsUsed) {
  test::TempDir home;
  sample::WriteWinePrefix(home / ".wine", g.dir.str());
  sample::WriteSampleGame(home / "other", test::SmallGame({9}));
  sample::WriteWinePrefix(home / ".local/share/wineprefixes/other", home / "other");
  sample::WriteWinePrefix(home / ".local/share/wineprefixes/stale", home / "gone");  // no textures there
  const std::string oldHome = std::getenv("HOME");
  test::SetEnvironment("HOME", home.str().c_str());
  test::SetEnvironment("WINEPREFIX", nullptr);
  for (const std::optional<size_t> choice : {std::optional<size_t>(), std::optional<size_t>(1)}) {
    view = RecordingView{};
    view.choice = choice;
    Presenter p(view, nullptr);
    EXPECT_EQ(p.Form_Load(), choice ? Outcome::Done : Outcome::EndProgram);
    EXPECT_THAT(view.offered, ElementsAre(home / ".wine", home / ".local/share/wineprefixes/other"));
    EXPECT_EQ(p.ExitStatus(), choice ? 0 : 1);
    EXPECT_EQ(view.shown, choice ? 1 : 0);  // shown to build the chosen game's index
    EXPECT_EQ(view.messages.size(), choice ? 1u : 0u);
    EXPECT_EQ(fs::exists(home / "other/resource/textures.inx"), choice.has_value());
  }
  EXPECT_FALSE(fs::exists(g.Resource("textures.inx")));
  test::SetEnvironment("HOME", oldHome.c_str());
}
#endif

}  // namespace
}  // namespace quorlin
