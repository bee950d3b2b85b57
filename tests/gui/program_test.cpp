// The real quorlin program run with its testing aids (src/gui/test_aids.h): without
// a game it ends with status 1 before showing its window; on a sample prefix under
// xvfb-run the screen grab shows the window with the picture at its place.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <filesystem>

#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin::test {
namespace {

struct Finished {
  int exitCode = -1;
  std::string errors;  // what the aids echoed on standard error: the window shown, each message box
};

// Message boxes answered Yes and echoed, nothing of the user's home or prefix.
Finished RunProgram(const TempDir& temp, const std::string& prefix, const QStringList& more = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("QUORLIN_TEST_AUTO_ANSWER", "yes");
  env.insert("HOME", QString::fromStdString(temp.str()));
  env.insert("WINEPREFIX", QString::fromStdString(prefix));
  for (const QString& pair : more) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
  QString program = QUORLIN_GUI_BINARY;
  QStringList arguments;
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (env.contains("QUORLIN_TEST_SCREENSHOT") && !xvfbRun.isEmpty()) {
    env.insert("QT_QPA_PLATFORM", "xcb");
    arguments = {"-a", "-s", "-screen 0 1024x768x24 -br", program};
    program = xvfbRun;
  }
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(program, arguments);
  if (!process.waitForFinished(120000)) {
    process.terminate();  // xvfb-run takes its server down on this signal
    process.waitForFinished(5000);
  }
  std::string aids;  // the lines the testing aids wrote, without Qt's own notes
  for (const QString& line : QString::fromLocal8Bit(process.readAllStandardError()).split('\n')) {
    if (line.startsWith("message: ") || line == "window shown") aids += line.toStdString() + "\n";
  }
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, aids};
}

TEST(ProgramTest, WithoutTheGameItEndsWithStatusOneBeforeShowingTheWindow) {
  TempDir temp;
  std::filesystem::create_directories(temp / "empty-prefix");  // no system.reg, so no game key
  const Finished run = RunProgram(temp, temp / "empty-prefix");
  EXPECT_EQ(run.exitCode, 1) << run.errors;
  EXPECT_EQ(run.errors, "message: Quorlin: Problem getting Mechwarrior Path!\n");
}

TEST(ProgramTest, OnASamplePrefixTheScreenShowsTheWindowWithItsPicture) {
  TempDir temp;
  sample::GameOptions options;
  options.preparedSlots = {9, 12};
  options.fillerEntries = 20;
  sample::WriteSampleGame(temp / "game", options);
  sample::WriteWinePrefix(temp / "prefix", temp / "game");
  const Finished run = RunProgram(temp, temp / "prefix",
                                  {QString::fromStdString("QUORLIN_TEST_PICTURE=" + temp / "game/sample-skin.bmp"),
                                   QString::fromStdString("QUORLIN_TEST_SCREENSHOT=" + temp / "screen.png")});
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  // The window was up before the one message, and the picture loaded without one.
  EXPECT_EQ(run.errors,
            "window shown\nmessage: Quorlin: An index of the skins must be created to be patch independent.\n");
  const QImage screen = QImage(QString::fromStdString(temp / "screen.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(screen.isNull()) << "no screenshot";
  if (QStandardPaths::findExecutable("xvfb-run").isEmpty())
    GTEST_SKIP() << "without xvfb-run the screen is not checked";

  // On a black root window without a window manager everything not black is ours:
  // 537 wide, the 545-pixel client area under a menu bar.
  ASSERT_EQ(screen.size(), QSize(1024, 768)) << "not a grab of the whole screen";
  QRect window;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x)
      window |= screen.pixel(x, y) == qRgb(0, 0, 0) ? QRect() : QRect(x, y, 1, 1);
  }
  EXPECT_EQ(window.width(), 537);
  EXPECT_GE(window.height(), 545 + 12);
  EXPECT_LE(window.height(), 545 + 60);
  // The sample picture's white 32x32 top-left marker sits 12 pixels in from the
  // window's left edge, below the menu bar.
  const QRgb white = qRgb(255, 255, 255);
  const int left = window.left() + 12;
  int top = window.top() + 12;
  while (top < window.top() + 80 && screen.pixel(left, top) != white) ++top;
  ASSERT_LT(top, window.top() + 80) << "no picture marker below the menu bar";
  EXPECT_EQ(screen.pixel(left + 31, top + 31), white);
  EXPECT_NE(screen.pixel(left + 32, top + 40), white);
  EXPECT_NE(screen.pixel(left - 1, top), white);
}

}  // namespace
}  // namespace quorlin::test
