// What belongs to the Qt window itself: its menus with their captions and access
// keys, its message boxes, and the picture drawn one image pixel per screen pixel.
// The window's behaviour is the presenter's, tested in tests/core/presenter_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QTimer>

#include "gui/frm_quorlin.h"
#include "support/game_fixture.h"

namespace quorlin::test {
namespace {

std::vector<QString> CheckedSkins(const QMenu* skin) {
  std::vector<QString> checked;
  for (const QAction* a : skin->actions()) {
    if (a->isChecked()) checked.push_back(a->text());
  }
  return checked;
}

TEST(QtWindow, MenusHaveTheirCaptionsAccessKeysAndNoShortcutsAndTheSkinItemsTickOneSlot) {
  TestGame g(SmallGame({9, 12}));
  WindowHooks hooks;
  hooks.startup.GameDir = g.dir.str();
  hooks.answerMessage = [](const std::string&, const std::string&, MessageIcon, MessageButtons) {
    return MessageAnswer::Ok;
  };
  gui::frmQuorlin window(hooks);
  const auto* skin = window.findChild<QMenu*>("mnuskin");
  ASSERT_NE(skin, nullptr);
  EXPECT_TRUE(CheckedSkins(skin).empty());
  ASSERT_EQ(window.presenter().Form_Load(), Outcome::Done);
  EXPECT_THAT(CheckedSkins(skin), ::testing::ElementsAre("9"));
  EXPECT_EQ(window.windowTitle(), "Quorlin [1.1.18]");

  QStringList skins;
  for (int slot = 9; slot <= 37; ++slot) skins << QStringLiteral("%1=skinl_%1").arg(slot);
  const std::vector<std::pair<QString, QStringList>> menus = {
      {"&File=mnufile", {"&Open=mnufileopen", "=mnufilesep1", "E&xit=mnufileexit"}},
      {"&Edit=mnuedit", {"&Insert Skin=mnueditInsert", "=mnueditsep1", "&Restore to Original=mnueditRestore"}},
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
  // 37, then 9 twice (a checkable action toggles, yet it stays checked).
  for (const int slot : {37, 9, 9}) {
    window.findChild<QAction*>(QStringLiteral("skinl_%1").arg(slot))->trigger();
    EXPECT_THAT(CheckedSkins(skin), ::testing::ElementsAre(QString::number(slot)));
  }
}

TEST(QtWindow, MessageBoxesCarryTheirTextTitleIconAndButtonsAndReturnTheAnswer) {
  gui::frmQuorlin window;
  window.show();
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
    EXPECT_EQ(window.ShowMessage("The text\nof two lines", "A title", c.icon, c.buttons), c.answer);
    EXPECT_TRUE(seen);
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
