// The window itself: menus, layout, a failed start-up hiding it again, the real
// Open dialog and message boxes, and the Shell's pointer, status line and copy
// progress.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <functional>

#include "gui_fixture.h"

namespace quorlin::test {
namespace {

using ::testing::ElementsAre;

// A menu's items as "caption=objectName", a separator with an empty caption.
QStringList Items(const QMenu* menu) {
  QStringList items;
  for (const QAction* a : menu->actions()) items << (a->isSeparator() ? QString() : a->text()) + '=' + a->objectName();
  return items;
}

// Runs `run`, which brings up a modal dialog, and hands that dialog to `answer`
// until it says it has answered. A backstop rejects any modal dialog still open
// after ten seconds, so a test never hangs on one.
void AnswerModal(const std::function<bool(QWidget*)>& answer, const std::function<void()>& run) {
  bool answered = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && !answered) answered = answer(modal);
  });
  poll.start(20);
  QTimer backstop;
  backstop.setSingleShot(true);
  QObject::connect(&backstop, &QTimer::timeout, [] {
    if (auto* stuck = qobject_cast<QDialog*>(QApplication::activeModalWidget())) stuck->reject();
  });
  backstop.start(10000);
  run();
  EXPECT_TRUE(answered) << "the dialog never came up or was never answered";
}

using WindowTest = WindowFixture;

TEST_F(WindowTest, MenusHaveTheirCaptionsOrderAndAccessKeysNoShortcutsAndOneSkinCheck) {
  const auto checkedSkins = [this] {
    std::vector<QString> checked;
    for (const QAction* a : Child<QMenu>("mnuskin")->actions()) {
      if (a->isChecked()) checked.push_back(a->text());
    }
    return checked;
  };
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  EXPECT_TRUE(checkedSkins().empty());
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  EXPECT_THAT(checkedSkins(), ElementsAre("9"));

  QStringList skin;
  for (int slot = 9; slot <= 37; ++slot) skin << QStringLiteral("%1=skinl_%1").arg(slot);
  const struct {
    const char* title;
    const char* name;
    QStringList items;
  } menus[] = {
      {"&File", "mnufile", {"&Open=mnufileopen", "=mnufilesep1", "E&xit=mnufileexit"}},
      {"&Edit", "mnuedit", {"&Insert Skin=mnueditInsert", "=mnueditsep1", "&Restore to Original=mnueditRestore"}},
      {"&Skin", "mnuskin", skin}};
  const QList<QAction*> bar = window->menuBar()->actions();
  ASSERT_EQ(bar.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bar[i]->text(), menus[i].title);
    ASSERT_NE(bar[i]->menu(), nullptr);
    EXPECT_EQ(bar[i]->menu()->objectName(), menus[i].name);
    EXPECT_EQ(Items(bar[i]->menu()), menus[i].items);
  }
  // No item of any menu, nor a menu title, carries a shortcut key.
  const auto actions = window->findChildren<QAction*>();
  EXPECT_GE(actions.size(), 3 + 3 + 29);
  for (const QAction* a : actions) EXPECT_TRUE(a->shortcuts().isEmpty()) << a->text().toStdString();
  for (const QAction* a : bar) EXPECT_TRUE(a->shortcuts().isEmpty()) << a->text().toStdString();

  // 37, then 9, then 9 again (which toggles a checkable action, yet it stays
  // checked), then every item in turn.
  std::vector<int> choices = {37, 9, 9};
  for (int slot = 10; slot <= 37; ++slot) choices.push_back(slot);
  for (const int slot : choices) {
    Trigger(QStringLiteral("skinl_%1").arg(slot).toLatin1().constData());
    EXPECT_THAT(checkedSkins(), ElementsAre(QString::number(slot)));
    EXPECT_EQ(window->State().SelectedSlot, slot);
  }
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

  // Our own 32x32 icon with a drawing on it, not a blank square.
  const QImage icon = window->windowIcon().pixmap(32, 32).toImage();
  ASSERT_EQ(icon.size(), QSize(32, 32));
  QSet<QRgb> colours;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) colours.insert(icon.pixel(x, y));
  }
  EXPECT_GE(colours.size(), 4);

  // The window keeps its size.
  window->show();
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

// That the window is up before the index message is checked on the real program.
TEST_F(WindowTest, StartUpFailingAfterShowingTheWindowHidesItAgain) {
  // A folder where the index file belongs: indexing, with the window up, fails.
  std::filesystem::create_directories(temp / "game/resource/textures.inx/in-the-way");
  window = std::make_unique<gui::frmQuorlin>(Hooks());
  EXPECT_EQ(window->Form_Load(), Outcome::EndProgram);
  EXPECT_EQ(timesShown, 1);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->ExitStatus(), 1);
}

TEST_F(WindowTest, TheRealOpenDialogAsksForAPictureAndHandsItOn) {
  gui::WindowHooks hooks = Hooks();
  hooks.choosePicture = nullptr;  // the real dialog
  window = std::make_unique<gui::frmQuorlin>(hooks);
  ASSERT_EQ(window->Form_Load(), Outcome::Done);
  window->show();
  const QString picture = QString::fromStdString(GameDir() + "/sample-skin.bmp");

  AnswerModal(
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return false;
        EXPECT_EQ(dialog->windowTitle(), "Open 512x512 Skin");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->nameFilters(), QStringList({"All Formats (*.bmp *.tga *.jpg *.png)", "Windows Bitmap (*.bmp)",
                                                      "Jpeg File (*.jpg)", "Targa File (*.tga)", "PNG Image (*.png)"}));
        // The user types the file's full name into the name field and presses Open.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) return false;
        name->setText(picture);
        if (dialog->selectedFiles() != QStringList{picture}) return false;
        QMetaObject::invokeMethod(dialog, "accept");
        return true;
      },
      [&] { Trigger("mnufileopen"); });
  EXPECT_EQ(Status(), "Texture Loaded ready to insert");
  EXPECT_EQ(window->State().LoadedImage.Width, 512);
  EXPECT_FALSE(Child<QLabel>("Picture1")->pixmap().isNull());
}

TEST_F(WindowTest, RealMessageBoxesCarryTheTitleIconButtonsAndAnswer) {
  gui::WindowHooks hooks = Hooks();
  hooks.answerMessage = nullptr;  // real boxes
  window = std::make_unique<gui::frmQuorlin>(hooks);
  window->show();
  using Box = QMessageBox;
  const char* const question = "Do you wish to continue?";
  const struct {
    const char* text;
    const char* title;
    MessageIcon icon;
    MessageButtons buttons;
    Box::Icon qtIcon;
    Box::StandardButtons qtButtons;
    Box::StandardButton press;
    MessageAnswer answer;
  } cases[] = {{"Mechwarrior path is invalid!", "Quorlin", MessageIcon::Critical, MessageButtons::Ok, Box::Critical,
                Box::Ok, Box::Ok, MessageAnswer::Ok},
               {question, "Continue?", MessageIcon::Information, MessageButtons::YesNo, Box::Information,
                Box::Yes | Box::No, Box::Yes, MessageAnswer::Yes},
               {question, "Continue?", MessageIcon::Information, MessageButtons::YesNo, Box::Information,
                Box::Yes | Box::No, Box::No, MessageAnswer::No},
               {"The Zandel is required!", "textures.mw4 not patched!", MessageIcon::None, MessageButtons::Ok,
                Box::NoIcon, Box::Ok, Box::Ok, MessageAnswer::Ok}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    MessageAnswer answer{};
    AnswerModal(
        [&](QWidget* modal) {
          auto* box = qobject_cast<QMessageBox*>(modal);
          if (!box) return false;
          EXPECT_EQ(box->windowTitle(), c.title);
          EXPECT_EQ(box->text(), c.text);
          EXPECT_EQ(box->icon(), c.qtIcon);
          EXPECT_EQ(box->standardButtons(), c.qtButtons);
          EXPECT_TRUE(box->isModal());
          if (QAbstractButton* button = box->button(c.press)) button->click();
          return true;
        },
        [&] { answer = window->ShowMessage(c.text, c.title, c.icon, c.buttons); });
    EXPECT_EQ(answer, c.answer);
  }
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

TEST_F(WindowTest, StatusLineRepaintsAtOnceOnlyWhenAsked) {
  StartWindow();
  QElapsedTimer waited;
  waited.start();
  while (!(window->windowHandle() && window->windowHandle()->isExposed()) && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_TRUE(window->windowHandle()->isExposed());
  QCoreApplication::processEvents();

  PaintCounter counter;
  Child<QLabel>("lblStatus")->installEventFilter(&counter);
  // Painted before SetStatus returns, with no event loop in between.
  window->SetStatus("Indexing Skins", true);
  EXPECT_EQ(Status(), "Indexing Skins");
  EXPECT_GE(counter.paints, 1);
  // Without the request the label is painted later, by the event loop.
  const int before = counter.paints;
  window->SetStatus("Texture Loaded ready to insert", false);
  EXPECT_EQ(Status(), "Texture Loaded ready to insert");
  EXPECT_EQ(counter.paints, before);
  Child<QLabel>("lblStatus")->removeEventFilter(&counter);
}

TEST_F(WindowTest, CopyProgressShowsForLongCopiesOnlyAndTheBusyPointerStaysBalanced) {
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

  // The busy pointer stays balanced when asked for twice, and a copy that fails
  // half-way leaves no dialog once the busy state ends.
  window->SetBusy(true);
  window->SetBusy(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_TRUE(window->CopyProgress("Backing Up", 0, 1000));
  window->SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(window->findChild<QProgressDialog*>(), nullptr);
  window->SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace quorlin::test
