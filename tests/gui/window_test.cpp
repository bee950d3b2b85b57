// The window over a generated game: its menus, its message boxes, the picture it
// draws, the commands run from its menus, the status line, and how it ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QTimer>
#include <filesystem>

#include "gui_fixture.h"
#include "support/game_fixture.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;
using WindowTest = WindowFixture;

std::vector<QString> CheckedSkins(const QMenu* skin) {
  std::vector<QString> checked;
  for (const QAction* a : skin->actions()) {
    if (a->isChecked()) checked.push_back(a->text());
  }
  return checked;
}

TEST_F(WindowTest, MenusHaveTheirCaptionsAccessKeysAndNoShortcutsAndTheSkinMenuChecksOneSlot) {
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  const auto* skin = Child<QMenu>("mnuskin");
  EXPECT_TRUE(CheckedSkins(skin).empty());
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  EXPECT_THAT(CheckedSkins(skin), ElementsAre("9"));
  EXPECT_EQ(window->windowTitle(), "Quorlin [1.1.18]");

  QStringList skins;
  for (int slot = 9; slot <= 37; ++slot) skins << QStringLiteral("%1=skinl_%1").arg(slot);
  const std::vector<std::pair<QString, QStringList>> menus = {
      {"&File=mnufile", {"&Open=mnufileopen", "=mnufilesep1", "E&xit=mnufileexit"}},
      {"&Edit=mnuedit", {"&Insert Skin=mnueditInsert", "=mnueditsep1", "&Restore to Original=mnueditRestore"}},
      {"&Skin=mnuskin", skins}};
  const QList<QAction*> bar = window->menuBar()->actions();
  ASSERT_EQ(bar.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bar[i]->text() + '=' + bar[i]->menu()->objectName(), menus[i].first);
    QStringList items;
    for (const QAction* a : bar[i]->menu()->actions()) {
      items << (a->isSeparator() ? QString() : a->text()) + '=' + a->objectName();
      EXPECT_TRUE(a->shortcuts().isEmpty()) << a->text().toStdString();
    }
    EXPECT_EQ(items, menus[i].second);
  }
  // 37, then 9, then 9 again (a checkable action toggles, yet it stays checked),
  // then every item in turn.
  std::vector<int> choices = {37, 9, 9};
  for (int slot = 10; slot <= 37; ++slot) choices.push_back(slot);
  for (const int slot : choices) {
    Trigger(QStringLiteral("skinl_%1").arg(slot));
    EXPECT_THAT(CheckedSkins(skin), ElementsAre(QString::number(slot)));
    EXPECT_EQ(window->State().SelectedSlot, slot);
  }
}

TEST_F(WindowTest, MessageBoxesCarryTheirTextTitleIconAndButtonsAndReturnTheAnswer) {
  window = std::make_unique<gui::frmQuorlin>();
  window->show();
  using Box = QMessageBox;
  const struct {
    MessageIcon icon;
    MessageButtons buttons;
    Box::Icon qtIcon;
    Box::StandardButton press;
    MessageAnswer answer;
  } cases[] = {{MessageIcon::Critical, MessageButtons::Ok, Box::Critical, Box::Ok, MessageAnswer::Ok},
               {MessageIcon::Information, MessageButtons::YesNo, Box::Information, Box::Yes, MessageAnswer::Yes},
               {MessageIcon::Information, MessageButtons::YesNo, Box::Information, Box::No, MessageAnswer::No},
               {MessageIcon::None, MessageButtons::Ok, Box::NoIcon, Box::Ok, MessageAnswer::Ok}};
  for (const auto& c : cases) {
    bool seen = false;
    QTimer poll;  // answers the box once it is up
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || seen) return;
      seen = true;
      EXPECT_EQ(box->windowTitle(), "A title");
      EXPECT_EQ(box->text(), "The text\nof two lines");
      EXPECT_EQ(box->icon(), c.qtIcon);
      EXPECT_EQ(box->standardButtons(), c.buttons == MessageButtons::Ok ? Box::Ok : Box::Yes | Box::No);
      box->button(c.press)->click();
    });
    poll.start(20);
    EXPECT_EQ(window->ShowMessage("The text\nof two lines", "A title", c.icon, c.buttons), c.answer);
    EXPECT_TRUE(seen);
  }
}

TEST_F(WindowTest, PicturesAreDrawnUnscaledAndTheEditCommandsWorkOnTheCheckedSlot) {
  const auto dialog = gui::MakeOpenDialog(nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Open 512x512 Skin");
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(dialog->nameFilters(), QStringList({"All Formats (*.bmp *.tga *.jpg *.png)", "Windows Bitmap (*.bmp)",
                                                "Jpeg File (*.jpg)", "Targa File (*.tga)", "PNG Image (*.png)"}));
  StartWindow();
  const ImageBuffer picture = PositionPicture();
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(picture));
  sample::WriteFile(temp / "skin.tga", EncodeTGA(picture));
  const auto expectShown = [&] {
    const QImage shot = Child<QLabel>("Picture1")->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(513, 513));
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {511, 0}, {0, 511}, {511, 511}, {300, 1}}) {
      const uint8_t* p = picture.Pixels.data() + picture.Offset(x, y);
      EXPECT_EQ(shot.pixel(x, y), qRgb(p[2], p[1], p[0])) << x << "," << y;
    }
    const QRgb background = window->palette().color(QPalette::Window).rgb();
    EXPECT_EQ(shot.pixel(512, 0), background) << "column past the picture";
    EXPECT_EQ(shot.pixel(0, 512), background) << "row past the picture";
  };
  for (const char* file : {"skin.tga", "skin.bmp"}) {
    Open(temp / file);
    EXPECT_TRUE(messages.empty()) << file;
    EXPECT_EQ(Status(), "Texture Loaded ready to insert");
    expectShown();
    // The box keeps its own copy: later changes to the loaded buffer never reach it.
    window->SetStatus("something else", false);
    ImageBuffer& loaded = window->State().LoadedImage;
    const ImageBuffer keep = loaded;
    std::fill(loaded.Pixels.begin(), loaded.Pixels.end(), uint8_t{0});
    window->repaint();
    Open("");  // Cancel changes nothing
    expectShown();
    EXPECT_EQ(Status(), "something else");
    loaded = keep;
  }

  // Insert Skin writes the checked slot; Restore asks and restores only on Yes.
  Trigger("skinl_12");
  const auto before = sample::ReadFile(TexturesPath());
  Trigger("mnueditInsert");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Status(), "Done.");
  const auto inserted = sample::ReadFile(TexturesPath());
  auto expected = before;
  for (int level = 0; level < 6; ++level) {
    Put(expected, layout.textures.at(ExpectedTextureName(12, level)), LevelTarga(picture, 512 >> level));
  }
  EXPECT_TRUE(SameBytes(inserted, expected));
  answers = {MessageAnswer::No, MessageAnswer::Yes};
  window->SetStatus("before", false);
  Trigger("mnueditRestore");
  EXPECT_THAT(messages, ElementsAre("Restoring may require you to rerun the Zandel!\nDo you wish to continue?"));
  EXPECT_TRUE(SameBytes(sample::ReadFile(TexturesPath()), inserted));
  EXPECT_EQ(Status(), "before");
  Trigger("mnueditRestore");
  EXPECT_TRUE(SameBytes(sample::ReadFile(TexturesPath()), before));
  EXPECT_EQ(Status(), "Done.");

  // A picture of another size is refused and cleared, leaving nothing to insert.
  messages.clear();
  sample::WriteFile(temp / "small.bmp", sample::EncodeBmp(PositionPicture(256)));
  Open(temp / "small.bmp");
  EXPECT_TRUE(Child<QLabel>("Picture1")->pixmap().isNull());
  Trigger("mnueditInsert");
  EXPECT_THAT(messages, ElementsAre("Skin file isn't 512x512!", "Load a 512x512 image to use for a skin"));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, ExitAndClosingEndWithZeroAndACommandOrStartUpEndingTheProgramWithOne) {
  for (const bool byMenu : {true, false}) {
    StartWindow();
    if (byMenu)
      Trigger("mnufileexit");
    else
      EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->ExitStatus(), 0);
  }
  StartWindow();
  sample::WriteFile(temp / "skin.bmp", sample::EncodeBmp(PositionPicture()));
  Open(temp / "skin.bmp");
  std::filesystem::remove(TexturesPath());
  Trigger("mnueditInsert");
  EXPECT_THAT(messages, ElementsAre("Mechwarrior path is invalid!"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);

  // Re-indexing shows the window; when writing the index then fails, it goes again.
  SetUp();
  std::filesystem::remove(temp / "game/resource/textures.inx");
  std::filesystem::create_directories(temp / "game/resource/textures.inx/in-the-way");
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  timesShown = 0;
  EXPECT_EQ(window->Form_Load(), Outcome::EndProgram);
  EXPECT_EQ(timesShown, 1);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
}

}  // namespace
}  // namespace quorlin::test
