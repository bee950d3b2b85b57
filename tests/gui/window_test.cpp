// What belongs to the Qt window itself: its menus with their captions, access keys and ticks, the picture and
// the icons drawn one image pixel per screen pixel, drops and the folder dialog. Its behaviour is the presenter's.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStyle>
#include <QTimer>

#include "gui/frm_quorlin.h"
#include "support/game_fixture.h"

namespace quorlin::test {
namespace {

QImage Expected(const ImageBuffer& picture) {  // ImageBuffer rows are top-down, 3 bytes a pixel in BGR order
  QImage image(picture.Width, picture.Height, QImage::Format_RGB32);
  const std::vector<uint8_t>& b = picture.Pixels;
  for (int i = 0; i < picture.Width * picture.Height; ++i)
    image.setPixel(i % picture.Width, i / picture.Width, qRgb(b[3 * i + 2], b[3 * i + 1], b[3 * i]));
  return image;
}

QImage Rgb32(const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_RGB32); }

TEST(QtWindow, MenusHaveTheirCaptionsAccessKeysAndNoShortcutsAndTheSkinItemsTickOneSlot) {
  gui::frmQuorlin window;
  QStringList skins;
  for (int slot = 9; slot <= 37; ++slot) skins << QString::number(slot);
  const std::vector<std::pair<QString, QStringList>> menus = {
      {"&File", {"&Open", "", "&Game Folder...", "E&xit"}},
      {"&Edit",
       {"&Insert Skin", "", "&Restore to Original", "Restore &Slot to Original", "&Undo Last Change to Slot", "",
        "S&mooth Texture Levels"}},
      {"&Skin", skins}};
  const QList<QAction*> bar = window.menuBar()->actions();
  ASSERT_EQ(bar.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bar[i]->text(), menus[i].first);
    QStringList items;
    for (const QAction* a : bar[i]->menu()->actions())  // with its shortcuts, of which there must be none
      items << (a->isSeparator() ? QString() : a->text()) + QKeySequence::listToString(a->shortcuts());
    EXPECT_EQ(items, menus[i].second);
  }
  // 37, then 9 twice (a checkable action toggles, yet it stays checked): one tick each time.
  for (const int slot : {37, 9, 9}) {
    bar[2]->menu()->actions()[slot - 9]->trigger();
    for (const QAction* a : bar[2]->menu()->actions())
      EXPECT_EQ(a->isChecked(), a->text() == QString::number(slot)) << slot << " " << a->text().toStdString();
  }
}

// The picture is drawn unscaled at the top left of its box, from a copy of its own; the Skin menu's icons are the
// presenter's 32x32 pictures, one image pixel per device pixel, with room for them (32 pixels at 100 %).
TEST(QtWindow, ThePictureAndTheSkinItemsIconsAreDrawnPixelForPixel) {
  gui::frmQuorlin window;
  window.show();
  ImageBuffer picture = PositionPicture();
  window.ShowPicture(&picture);
  std::fill(picture.Pixels.begin(), picture.Pixels.end(), uint8_t{0});
  auto* box = window.findChild<QLabel*>("Picture1");
  const QImage shot = Rgb32(box->grab());
  ASSERT_EQ(shot.size(), QSize(513, 513));
  EXPECT_EQ(shot.copy(0, 0, 512, 512), Expected(PositionPicture()));
  const QRgb background = window.palette().color(QPalette::Window).rgb();  // the column and the row past it
  EXPECT_TRUE(shot.pixel(512, 0) == background && shot.pixel(0, 512) == background);
  window.ShowPicture(nullptr);
  EXPECT_TRUE(box->pixmap().isNull());

  ImageBuffer icon = PositionPicture(32);
  window.SetSkinItemIcon(12, &icon);
  auto* menu = window.findChild<QMenu*>("mnuskin");
  QAction* item = menu->actions()[12 - 9];
  EXPECT_EQ(Rgb32(item->icon().pixmap(QSize(32, 32))), Expected(icon));
  EXPECT_EQ(menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu), 32);
  window.SetSkinItemIcon(12, nullptr);
  EXPECT_TRUE(item->icon().isNull());
}

// A file dropped onto the window reaches File > Open's path; several are refused with one message.
TEST(QtWindow, APictureDroppedOnTheWindowIsOpened) {
  TempDir dir;
  const ImageBuffer picture = PositionPicture();
  sample::WriteFile(dir / "skin.bmp", sample::EncodeBmp(picture));
  std::vector<std::string> messages;
  WindowHooks hooks;
  hooks.AnswerMessage = [&](const std::string& text, const std::string&, MessageIcon, MessageButtons) {
    messages.push_back(text);
    return MessageAnswer::Ok;
  };
  gui::frmQuorlin window(hooks);
  const auto drop = [&window](const QList<QUrl>& files) {  // as a file manager drops: the drag enters, then drops
    QMimeData data;
    data.setUrls(files);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent dropped(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &dropped);
    return enter.isAccepted();
  };
  const QUrl bmp = QUrl::fromLocalFile(QString::fromStdString(dir / "skin.bmp"));
  EXPECT_TRUE(drop({bmp, bmp}));
  EXPECT_EQ(messages, std::vector<std::string>{"Drop one picture file onto the window to open it."});
  EXPECT_TRUE(window.findChild<QLabel*>("Picture1")->pixmap().isNull());
  EXPECT_TRUE(drop({bmp}));
  EXPECT_EQ(window.findChild<QLabel*>("lblStatus")->text(), "Texture Loaded ready to insert");
  EXPECT_EQ(Rgb32(window.findChild<QLabel*>("Picture1")->pixmap()), Expected(picture));
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
    EXPECT_EQ(window.AskForFolder("Choose the Mechwarrior Vengeance folder", dir / "games"),
              accept ? std::optional<std::string>(dir / "games/mw4") : std::nullopt);
  }
}

}  // namespace
}  // namespace quorlin::test
