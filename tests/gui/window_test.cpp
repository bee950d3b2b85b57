#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QAbstractButton>
#include <QProgressDialog>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <functional>

#include "gui_fixture.h"
#include "platform/registry.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;

struct Item {
  QString caption;  // empty for a separator
  QString name;
};

std::vector<Item> Items(const QMenu* menu) {
  std::vector<Item> items;
  for (const QAction* a : menu->actions()) items.push_back({a->isSeparator() ? QString() : a->text(), a->objectName()});
  return items;
}

std::vector<QString> CheckedSkinItems(const gui::frmQuorlin& window) {
  std::vector<QString> checked;
  for (const QAction* a : window.findChild<QMenu*>(QStringLiteral("mnuskin"))->actions()) {
    if (a->isChecked()) checked.push_back(a->text());
  }
  return checked;
}

using WindowTest = WindowFixture;

TEST_F(WindowTest, MenusHaveTheirCaptionsOrderAndAccessKeysAndNoShortcuts) {
  StartWindow();
  std::vector<QString> bar;
  for (const QAction* a : window->menuBar()->actions()) bar.push_back(a->text());
  EXPECT_THAT(bar, ElementsAre("&File", "&Edit", "&Skin"));
  EXPECT_EQ(window->menuBar()->actions()[0]->menu(), Child<QMenu>("mnufile"));
  EXPECT_EQ(window->menuBar()->actions()[1]->menu(), Child<QMenu>("mnuedit"));
  EXPECT_EQ(window->menuBar()->actions()[2]->menu(), Child<QMenu>("mnuskin"));

  const auto file = Items(Child<QMenu>("mnufile"));
  ASSERT_EQ(file.size(), 3u);
  EXPECT_EQ(file[0].caption, "&Open");
  EXPECT_EQ(file[0].name, "mnufileopen");
  EXPECT_EQ(file[1].caption, "");
  EXPECT_EQ(file[1].name, "mnufilesep1");
  EXPECT_EQ(file[2].caption, "E&xit");
  EXPECT_EQ(file[2].name, "mnufileexit");

  const auto edit = Items(Child<QMenu>("mnuedit"));
  ASSERT_EQ(edit.size(), 3u);
  EXPECT_EQ(edit[0].caption, "&Insert Skin");
  EXPECT_EQ(edit[0].name, "mnueditInsert");
  EXPECT_EQ(edit[1].caption, "");
  EXPECT_EQ(edit[1].name, "mnueditsep1");
  EXPECT_EQ(edit[2].caption, "&Restore to Original");
  EXPECT_EQ(edit[2].name, "mnueditRestore");

  const auto skin = Items(Child<QMenu>("mnuskin"));
  ASSERT_EQ(skin.size(), 29u);
  for (int i = 0; i < 29; ++i) {
    EXPECT_EQ(skin[static_cast<size_t>(i)].caption, QString::number(9 + i));
    EXPECT_EQ(skin[static_cast<size_t>(i)].name, QStringLiteral("skinl_%1").arg(9 + i));
    EXPECT_TRUE(Child<QMenu>("mnuskin")->actions()[i]->isCheckable());
  }

  // No item of any menu, nor a menu title, carries a shortcut key.
  const auto actions = window->findChildren<QAction*>();
  EXPECT_GE(actions.size(), 3 + 3 + 29);
  for (const QAction* a : actions) EXPECT_TRUE(a->shortcuts().isEmpty()) << a->text().toStdString();
  for (const QAction* a : window->menuBar()->actions()) EXPECT_TRUE(a->shortcuts().isEmpty());
}

TEST_F(WindowTest, SkinMenuHoldsExactlyOneCheckThatFollowsTheChoice) {
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  EXPECT_TRUE(CheckedSkinItems(*window).empty());
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  EXPECT_THAT(CheckedSkinItems(*window), ElementsAre("9"));
  EXPECT_EQ(window->State().SelectedSlot, 9);

  Trigger("skinl_37");
  EXPECT_THAT(CheckedSkinItems(*window), ElementsAre("37"));
  EXPECT_EQ(window->State().SelectedSlot, 37);

  Trigger("skinl_9");
  EXPECT_THAT(CheckedSkinItems(*window), ElementsAre("9"));
  EXPECT_EQ(window->State().SelectedSlot, 9);

  // Choosing the checked item again leaves it checked.
  Trigger("skinl_9");
  EXPECT_THAT(CheckedSkinItems(*window), ElementsAre("9"));
}

TEST_F(WindowTest, TitleIconAndControlsAreWhereTheFormPutsThem) {
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  EXPECT_EQ(window->windowTitle(), "Quorlin");
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quorlin [" QUORLIN_TEST_VERSION "]"));

  EXPECT_EQ(window->centralWidget()->size(), QSize(537, 545));
  const auto* picture = Child<QLabel>("Picture1");
  EXPECT_EQ(picture->geometry(), QRect(12, 4, 513, 513));
  EXPECT_EQ(picture->frameWidth(), 0);
  const auto* frame = Child<QFrame>("Frame1");
  EXPECT_EQ(frame->geometry(), QRect(8, 517, 521, 28));
  EXPECT_EQ(frame->parentWidget(), window->centralWidget());
  const auto* status = Child<QLabel>("lblStatus");
  EXPECT_EQ(status->parentWidget(), frame);
  EXPECT_TRUE(frame->rect().contains(status->geometry()));
  EXPECT_EQ(status->text(), "Ready to load texture.");

  // Our own icon: a 32x32 image with a drawing on it, not a blank square.
  const QIcon icon = window->windowIcon();
  ASSERT_FALSE(icon.isNull());
  const QImage image = icon.pixmap(32, 32).toImage();
  EXPECT_EQ(image.size(), QSize(32, 32));
  QSet<QRgb> colours;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) colours.insert(image.pixel(x, y));
  }
  EXPECT_GE(colours.size(), 4);

  // The window keeps its size.
  window->show();
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->centralWidget()->geometry().topLeft().x(), 0);
}

TEST_F(WindowTest, StartUpWithoutTheGameEndsBeforeTheWindowIsShown) {
  // An empty Wine prefix: no system.reg, so no game key.
  TempDir emptyPrefix;
  gui::WindowHooks hooks = Hooks();
  hooks.startup.GameDir.reset();
  hooks.startup.OpenKey = [&] { return OpenGameKeyInWinePrefix(emptyPrefix.str()); };
  window = std::make_unique<gui::frmQuorlin>(hooks);
  EXPECT_EQ(window->Form_Load(), Outcome::EndProgram);
  EXPECT_EQ(window->ExitStatus(), 1);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(timesShown, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Problem getting Mechwarrior Path!");
  EXPECT_EQ(messages[0].title, "Quorlin");
  EXPECT_EQ(messages[0].icon, MessageIcon::Critical);
  EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
}

TEST_F(WindowTest, StartUpWithAFolderWithoutTheArchiveEndsBeforeTheWindowIsShown) {
  gui::WindowHooks hooks = Hooks();
  hooks.startup.GameDir = temp / "not-a-game";
  std::filesystem::create_directories(*hooks.startup.GameDir);
  window = std::make_unique<gui::frmQuorlin>(hooks);
  EXPECT_EQ(window->Form_Load(), Outcome::EndProgram);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(timesShown, 0);
  EXPECT_THAT(MessageTexts(), ElementsAre("Mechwarrior path is invalid!"));
  EXPECT_EQ(messages[0].icon, MessageIcon::Critical);
}

TEST_F(WindowTest, StartUpBuildingTheIndexShowsTheWindowFirstAndEndsReady) {
  std::vector<std::string> order;
  gui::WindowHooks hooks = Hooks();
  const auto record = hooks.answerMessage;
  hooks.answerMessage = [&](const std::string& text, const std::string& title, MessageIcon icon,
                            MessageButtons buttons) {
    order.push_back((window->isVisible() ? "visible: " : "hidden: ") + text);
    return record(text, title, icon, buttons);
  };
  window = std::make_unique<gui::frmQuorlin>(hooks);
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  EXPECT_THAT(order, ElementsAre("visible: An index of the skins must be created to be patch independent."));
  EXPECT_EQ(timesShown, 1);
  EXPECT_EQ(Status(), "Ready to load texture.");
  EXPECT_TRUE(std::filesystem::exists(temp / "game/resource/textures.inx"));
}

TEST_F(WindowTest, StartUpFailingAfterShowingTheWindowHidesItAgain) {
  // A folder where the index file belongs: re-indexing, which shows the window
  // first, cannot write the index.
  std::filesystem::create_directories(temp / "game/resource/textures.inx/in-the-way");
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  EXPECT_EQ(window->Form_Load(), Outcome::EndProgram);
  EXPECT_EQ(timesShown, 1);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "An index of the skins must be created to be patch independent.");
  EXPECT_THAT(messages[1].text, ::testing::StartsWith("Error "));
  EXPECT_EQ(messages[1].icon, MessageIcon::Critical);
}

TEST_F(WindowTest, ExitAndClosingEndWithStatusZeroAndNoQuestion) {
  StartWindow();
  ASSERT_TRUE(window->isVisible());
  Trigger("mnufileexit");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
  EXPECT_TRUE(messages.empty());

  StartWindow();
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 0);
  EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, OpenDialogAsksForAnExistingPictureOfTheKnownFormats) {
  StartWindow();
  const auto dialog = gui::MakeOpenDialog(window.get());
  EXPECT_EQ(dialog->windowTitle(), "Open 512x512 Skin");
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog->nameFilters(),
            QStringList({"All Formats (*.bmp *.tga *.jpg *.png)", "Windows Bitmap (*.bmp)", "Jpeg File (*.jpg)",
                         "Targa File (*.tga)", "PNG Image (*.png)"}));
}

TEST_F(WindowTest, TheRealOpenDialogHandsItsChoiceToTheCore) {
  gui::WindowHooks hooks = Hooks();
  hooks.choosePicture = nullptr;  // the real dialog
  window = std::make_unique<gui::frmQuorlin>(hooks);
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  window->show();
  const QString picture = QString::fromStdString(GameDir() + "/sample-skin.bmp");

  // Answers the dialog once it is up; a backstop rejects any modal widget still
  // open later, so the test can never hang on it.
  bool answered = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || answered) return;
    EXPECT_EQ(dialog->windowTitle(), "Open 512x512 Skin");
    // The user types the file's full name into the dialog's name field.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(picture);
    if (dialog->selectedFiles() != QStringList{picture}) return;
    answered = true;
    QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
  });
  poll.start(20);
  QTimer backstop;
  backstop.setSingleShot(true);
  QObject::connect(&backstop, &QTimer::timeout, [] {
    if (auto* stuck = qobject_cast<QDialog*>(QApplication::activeModalWidget())) stuck->reject();
  });
  backstop.start(10000);
  Trigger("mnufileopen");
  poll.stop();
  EXPECT_TRUE(answered);
  EXPECT_EQ(Status(), "Texture Loaded ready to insert");
  EXPECT_EQ(window->State().LoadedImage.Width, 512);
  EXPECT_FALSE(Child<QLabel>("Picture1")->pixmap().isNull());
}

// What a real message box showed, and the button the "user" pressed on it.
struct SeenBox {
  bool seen = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  bool modal = false;
};

// Runs ask(), which is to bring up a message box, and presses `press` on the box
// once it is up. A backstop closes any modal widget left after ten seconds.
MessageAnswer PressOnBox(const std::function<MessageAnswer()>& ask, QMessageBox::StandardButton press, SeenBox& seen) {
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || seen.seen) return;
    seen = {true, box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->isModal()};
    if (QAbstractButton* button = box->button(press)) button->click();
  });
  poll.start(20);
  QTimer backstop;
  backstop.setSingleShot(true);
  QObject::connect(&backstop, &QTimer::timeout, [] {
    if (auto* stuck = qobject_cast<QDialog*>(QApplication::activeModalWidget())) stuck->reject();
  });
  backstop.start(10000);
  return ask();
}

TEST_F(WindowTest, RealMessageBoxesCarryTheTitleIconButtonsAndAnswer) {
  // Without the answering hook the window shows real boxes.
  gui::WindowHooks hooks = Hooks();
  hooks.answerMessage = nullptr;
  window = std::make_unique<gui::frmQuorlin>(hooks);
  window->show();
  auto askReal = [this](const char* text, const char* title, MessageIcon icon, MessageButtons buttons) {
    return std::function<MessageAnswer()>(
        [this, text, title, icon, buttons] { return window->ShowMessage(text, title, icon, buttons); });
  };

  SeenBox box;
  EXPECT_EQ(PressOnBox(askReal("Mechwarrior path is invalid!", "Quorlin", MessageIcon::Critical, MessageButtons::Ok),
                       QMessageBox::Ok, box),
            MessageAnswer::Ok);
  EXPECT_TRUE(box.seen);
  EXPECT_EQ(box.title, "Quorlin");
  EXPECT_EQ(box.text, "Mechwarrior path is invalid!");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_TRUE(box.modal);

  box = {};
  EXPECT_EQ(PressOnBox(askReal("Do you wish to continue?", "Continue?", MessageIcon::Information, MessageButtons::YesNo),
                       QMessageBox::Yes, box),
            MessageAnswer::Yes);
  EXPECT_EQ(box.title, "Continue?");
  EXPECT_EQ(box.icon, QMessageBox::Information);
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);

  box = {};
  EXPECT_EQ(PressOnBox(askReal("Do you wish to continue?", "Continue?", MessageIcon::Information, MessageButtons::YesNo),
                       QMessageBox::No, box),
            MessageAnswer::No);
  EXPECT_TRUE(box.seen);

  box = {};
  EXPECT_EQ(PressOnBox(askReal("The Zandel is required to use the Quorlin tool!", "textures.mw4 not patched!",
                               MessageIcon::None, MessageButtons::Ok),
                       QMessageBox::Ok, box),
            MessageAnswer::Ok);
  EXPECT_EQ(box.title, "textures.mw4 not patched!");
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
}

TEST_F(WindowTest, BusyPointerStaysBalanced) {
  StartWindow();
  window->SetBusy(true);
  window->SetBusy(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  window->SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  window->SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(WindowTest, StatusLineShowsTheTextAndRepaintsAtOnceWhenAsked) {
  StartWindow();
  QElapsedTimer waited;
  waited.start();
  while (!(window->windowHandle() && window->windowHandle()->isExposed()) && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_TRUE(window->windowHandle()->isExposed());
  QCoreApplication::processEvents();

  auto* status = Child<QLabel>("lblStatus");
  PaintCounter counter;
  status->installEventFilter(&counter);
  // Painted before SetStatus returns, with no event loop in between.
  window->SetStatus("Indexing Skins", true);
  EXPECT_EQ(Status(), "Indexing Skins");
  EXPECT_GE(counter.paints, 1);
  // Without the request the label is painted later, by the event loop.
  const int before = counter.paints;
  window->SetStatus("Texture Loaded ready to insert", false);
  EXPECT_EQ(Status(), "Texture Loaded ready to insert");
  EXPECT_EQ(counter.paints, before);
  status->removeEventFilter(&counter);
}

TEST_F(WindowTest, CopyProgressIsModalAppearsOnlyForLongCopiesAndCanBeCancelled) {
  StartWindow();
  // A short copy: no dialog ever shows, none is left behind.
  EXPECT_TRUE(window->CopyProgress("Backing Up", 0, 100));
  auto* dialog = window->findChild<QProgressDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->labelText(), "Backing Up");
  EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(dialog->minimumDuration(), 500);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(window->CopyProgress("Backing Up", 100, 100));
  EXPECT_EQ(window->findChild<QProgressDialog*>(), nullptr);

  // A long copy: the dialog comes up after half a second.
  EXPECT_TRUE(window->CopyProgress("Restoring", 0, 1000));
  QThread::msleep(700);
  EXPECT_TRUE(window->CopyProgress("Restoring", 10, 1000));
  dialog = window->findChild<QProgressDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->labelText(), "Restoring");

  // Cancel: the next report stops the copy and the dialog goes.
  dialog->cancel();
  EXPECT_FALSE(window->CopyProgress("Restoring", 20, 1000));
  EXPECT_EQ(window->findChild<QProgressDialog*>(), nullptr);

  // A copy that fails half-way: the end of the busy state takes the dialog away.
  window->SetBusy(true);
  EXPECT_TRUE(window->CopyProgress("Backing Up", 0, 1000));
  window->SetBusy(false);
  EXPECT_EQ(window->findChild<QProgressDialog*>(), nullptr);
}

}  // namespace
}  // namespace quorlin::test
