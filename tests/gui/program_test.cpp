// The real quorlin program, run as a child process with its testing aids (see
// src/gui/test_aids.h): start-up without a game, and a run whose screenshot must
// show the window.
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

constexpr const char* kProgram = QUORLIN_GUI_BINARY;

struct Finished {
  bool inTime = false;
  bool crashed = false;
  int exitCode = -1;
  std::string errors;  // standard error
};

// Headless, message boxes answered Yes and echoed, nothing of the user's home.
QProcessEnvironment Environment(const TempDir& temp, const std::string& winePrefix) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("QUORLIN_TEST_AUTO_ANSWER", "yes");
  env.insert("HOME", QString::fromStdString(temp.str()));
  env.insert("WINEPREFIX", QString::fromStdString(winePrefix));
  env.remove("QUORLIN_TEST_PICTURE");
  env.remove("QUORLIN_TEST_SCREENSHOT");
  return env;
}

Finished RunProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                    int timeoutMs) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  Finished result;
  result.inTime = process.waitForStarted(10000) && process.waitForFinished(timeoutMs);
  if (process.state() != QProcess::NotRunning) {
    process.terminate();  // xvfb-run takes its server down on this signal
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(5000);
  }
  result.crashed = process.exitStatus() == QProcess::CrashExit;
  result.exitCode = process.exitCode();
  result.errors = QString::fromLocal8Bit(process.readAllStandardError()).toStdString();
  if (process.error() == QProcess::FailedToStart) result.errors += "could not start " + program.toStdString();
  return result;
}

TEST(ProgramTest, WithoutTheGameEndsWithStatusOneBeforeShowingTheWindow) {
  TempDir temp;
  std::filesystem::create_directories(temp / "empty-prefix");  // no system.reg, so no game key
  const Finished run = RunProgram(kProgram, {}, Environment(temp, temp / "empty-prefix"), 60000);
  ASSERT_TRUE(run.inTime) << run.errors;
  EXPECT_FALSE(run.crashed) << run.errors;
  EXPECT_EQ(run.exitCode, 1) << run.errors;
  EXPECT_NE(run.errors.find("message: Quorlin: Problem getting Mechwarrior Path!\n"), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find("window shown"), std::string::npos) << run.errors;
}

TEST(ProgramTest, OnASamplePrefixTheScreenShowsTheWindowWithItsPicture) {
  TempDir temp;
  sample::GameOptions options;
  options.preparedSlots = {9, 12};
  options.fillerEntries = 20;
  sample::WriteSampleGame(temp / "game", options);
  sample::WriteWinePrefix(temp / "prefix", temp / "game");
  QProcessEnvironment env = Environment(temp, temp / "prefix");
  env.insert("QUORLIN_TEST_PICTURE", QString::fromStdString(temp / "game/sample-skin.bmp"));
  env.insert("QUORLIN_TEST_SCREENSHOT", QString::fromStdString(temp / "screen.png"));
  // Under xvfb-run on a black root window with no window manager, everything not
  // black on the screen is ours. Without xvfb-run the program runs offscreen and
  // the screen is not checked.
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  Finished run;
  if (xvfbRun.isEmpty()) {
    run = RunProgram(kProgram, {}, env, 60000);
  } else {
    env.insert("QT_QPA_PLATFORM", "xcb");
    run = RunProgram(xvfbRun, {"-a", "-s", "-screen 0 1024x768x24 -br", kProgram}, env, 120000);
  }
  ASSERT_TRUE(run.inTime) << run.errors;
  EXPECT_FALSE(run.crashed) << run.errors;
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  // Start-up showed the window before its one message, and the picture loaded
  // without complaint.
  const auto shown = run.errors.find("window shown");
  const auto index =
      run.errors.find("message: Quorlin: An index of the skins must be created to be patch independent.\n");
  ASSERT_NE(shown, std::string::npos) << run.errors;
  ASSERT_NE(index, std::string::npos) << run.errors;
  EXPECT_LT(shown, index);
  EXPECT_EQ(run.errors.find("message:", index + 1), std::string::npos) << run.errors;
  const QImage screen = QImage(QString::fromStdString(temp / "screen.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(screen.isNull()) << "no screenshot";
  if (xvfbRun.isEmpty()) GTEST_SKIP() << "xvfb-run is not installed: the screen was not checked";

  EXPECT_EQ(run.errors.find("cannot grab the screen"), std::string::npos) << run.errors;
  ASSERT_EQ(screen.size(), QSize(1024, 768)) << "not a grab of the whole screen";
  QRect window;
  QSet<QRgb> colours;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      if (screen.pixel(x, y) == qRgb(0, 0, 0)) continue;
      window |= QRect(x, y, 1, 1);
      colours.insert(screen.pixel(x, y));
    }
  }
  // The window's own size: 537 wide, the 545-pixel client area under a menu bar.
  EXPECT_EQ(window.width(), 537);
  EXPECT_GE(window.height(), 545 + 12);
  EXPECT_LE(window.height(), 545 + 60);
  EXPECT_GE(colours.size(), 1000) << "the picture is not on the screen";

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
