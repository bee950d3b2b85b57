// What belongs to the Qt window itself: its menus with their captions, access keys
// and ticks, and the picture drawn one image pixel per screen pixel. The window's
// behaviour is the presenter's, tested in tests/core/presenter_test.cpp.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>

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

}  // namespace
}  // namespace quorlin::test
