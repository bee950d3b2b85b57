// What belongs to the Qt window itself: its menus with their captions, access keys
// and ticks, and the picture drawn one image pixel per screen pixel. The window's
// behaviour is the presenter's, tested in tests/core/presenter_test.cpp.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <filesystem>

#include "gui/frm_quorlin.h"
#include "support/game_fixture.h"

namespace quorlin::test {
namespace {

TEST(QtWindow, MenusHaveTheirCaptionsAccessKeysAndNoShortcutsAndTheSkinItemsTickOneSlot) {
  gui::frmQuorlin window;
  QStringList skins;
  for (int slot = 9; slot <= 37; ++slot) skins << QStringLiteral("%1=skinl_%1").arg(slot);
  const std::vector<std::pair<QString, QStringList>> menus = {
      {"&File=mnufile", {"&Open=mnufileopen", "=mnufilesep1", "&Game Folder...=mnufileGameFolder", "E&xit=mnufileexit"}},
      {"&Edit=mnuedit",
       {"&Insert Skin=mnueditInsert", "=mnueditsep1", "&Restore to Original=mnueditRestore",
        "Restore &Slot to Original=mnueditRestoreSlot", "&Undo Last Change to Slot=mnueditUndo", "=mnueditsep2",
        "S&mooth Texture Levels=mnueditSmooth"}},
      {"&Skin=mnuskin", skins}};
  const QList<QAction*> bar = window.menuBar()->actions();
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
  // 37, then 9 twice (a checkable action toggles, yet it stays checked): one tick each time.
  for (const int slot : {37, 9, 9}) {
    window.findChild<QAction*>(QStringLiteral("skinl_%1").arg(slot))->trigger();
    for (const QAction* a : bar[2]->menu()->actions()) {
      EXPECT_EQ(a->isChecked(), a->text() == QString::number(slot)) << slot << " " << a->text().toStdString();
    }
  }
}

TEST(QtWindow, ThePictureIsDrawnUnscaledAtTheTopLeftAndKeptAsItWas) {
  gui::frmQuorlin window;
  window.show();
  ImageBuffer picture = PositionPicture();
  const ImageBuffer drawn = picture;
  window.ShowPicture(&picture);
  std::fill(picture.Pixels.begin(), picture.Pixels.end(), uint8_t{0});  // the box keeps its own copy
  window.repaint();
  auto* box = window.findChild<QLabel*>("Picture1");
  const QImage shot = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), QSize(513, 513));
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {511, 0}, {0, 511}, {511, 511}, {300, 1}}) {
    const uint8_t* p = drawn.Pixels.data() + drawn.Offset(x, y);
    EXPECT_EQ(shot.pixel(x, y), qRgb(p[2], p[1], p[0])) << x << "," << y;
  }
  const QRgb background = window.palette().color(QPalette::Window).rgb();
  EXPECT_EQ(shot.pixel(512, 0), background) << "column past the picture";
  EXPECT_EQ(shot.pixel(0, 512), background) << "row past the picture";
  window.ShowPicture(nullptr);
  EXPECT_TRUE(box->pixmap().isNull());
}

// The Skin menu's icons are the presenter's 32x32 pictures, one image pixel per device pixel.
TEST(QtWindow, ASkinItemsIconIsThePictureItWasGivenPixelForPixel) {
  gui::frmQuorlin window;
  ImageBuffer icon = PositionPicture(32);
  window.SetSkinItemIcon(12, &icon);
  QAction* item = window.findChild<QAction*>("skinl_12");
  const QImage shown = item->icon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), QSize(32, 32));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const uint8_t* p = icon.Pixels.data() + icon.Offset(x, y);
      ASSERT_EQ(shown.pixel(x, y), qRgb(p[2], p[1], p[0])) << x << "," << y;
    }
  }
  auto* menu = window.findChild<QMenu*>("mnuskin");  // room for it: 32 pixels at 100 %
  EXPECT_EQ(menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu), 32);
  window.SetSkinItemIcon(12, nullptr);
  EXPECT_TRUE(item->icon().isNull());
}

// A file dropped onto the window reaches File > Open's path; several are refused with one message.
TEST(QtWindow, APictureDroppedOnTheWindowIsOpened) {
  TempDir dir;
  sample::WriteSampleGame(dir / "game", SmallGame({12}));
  const ImageBuffer picture = PositionPicture();
  sample::WriteFile(dir / "skin.bmp", sample::EncodeBmp(picture));
  std::vector<std::string> messages;
  WindowHooks hooks;
  hooks.Startup.GameDir = dir / "game";
  hooks.SettingsFile = dir / "settings.json";
  hooks.AnswerMessage = [&](const std::string& text, const std::string&, MessageIcon, MessageButtons) {
    messages.push_back(text);
    return MessageAnswer::Ok;
  };
  gui::frmQuorlin window(hooks);
  ASSERT_EQ(window.GetPresenter().Form_Load(), Outcome::Done);
  window.show();
  const auto drop = [&window](const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent dropped(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &dropped);
    return enter.isAccepted();
  };
  messages.clear();
  EXPECT_TRUE(drop({QString::fromStdString(dir / "skin.bmp"), QString::fromStdString(dir / "settings.json")}));
  EXPECT_EQ(messages, std::vector<std::string>{"Drop one picture file onto the window to open it."});
  EXPECT_TRUE(window.findChild<QLabel*>("Picture1")->pixmap().isNull());
  EXPECT_TRUE(drop({QString::fromStdString(dir / "skin.bmp")}));
  EXPECT_EQ(window.findChild<QLabel*>("lblStatus")->text(), "Texture Loaded ready to insert");
  const QImage shown = window.findChild<QLabel*>("Picture1")->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown.pixel(300, 1), qRgb(picture.Pixels[picture.Offset(300, 1) + 2], picture.Pixels[picture.Offset(300, 1) + 1],
                                      picture.Pixels[picture.Offset(300, 1)]));
}

// The folder dialog answers with the folder chosen in it, as a native path; Cancel with nothing.
TEST(QtWindow, TheFolderDialogGivesTheChosenFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "games/mw4");
  gui::frmQuorlin window;
  for (const bool accept : {true, false}) {
    QTimer::singleShot(200, [accept, &dir] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir / "games");  // where it starts
      if (!accept) return dialog->reject();
      dialog->setDirectory(QString::fromStdString(dir / "games/mw4"));
      static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = window.AskForFolder("Choose the Mechwarrior Vengeance folder", dir / "games");
    EXPECT_EQ(chosen, accept ? std::optional<std::string>(dir / "games/mw4") : std::nullopt);
  }
}

}  // namespace
}  // namespace quorlin::test
