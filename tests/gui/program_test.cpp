// The real quorlin program, run as a child process with its testing aids.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStandardPaths>
#include <filesystem>

#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin::test {
namespace {

struct Finished {
  bool inTime = false;
  bool crashed = false;
  int exitCode = -1;
  std::string errors;  // standard error
};

Finished RunProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                    int timeoutMs) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  Finished result;
  if (!process.waitForStarted(10000)) {
    result.errors = "could not start " + program.toStdString();
    return result;
  }
  result.inTime = process.waitForFinished(timeoutMs);
  if (!result.inTime) {
    process.terminate();  // xvfb-run takes its server down on this signal
    if (!process.waitForFinished(5000)) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  result.crashed = process.exitStatus() == QProcess::CrashExit;
  result.exitCode = process.exitCode();
  result.errors = QString::fromLocal8Bit(process.readAllStandardError()).toStdString();
  return result;
}

class ProgramTest : public ::testing::Test {
 protected:
  // Headless, message boxes answered Yes and echoed, nothing of the user's home.
  QProcessEnvironment Environment(const std::string& winePrefix) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUORLIN_TEST_AUTO_ANSWER"), QStringLiteral("yes"));
    env.insert(QStringLiteral("HOME"), QString::fromStdString(temp.str()));
    env.insert(QStringLiteral("WINEPREFIX"), QString::fromStdString(winePrefix));
    env.remove(QStringLiteral("QUORLIN_TEST_PICTURE"));
    env.remove(QStringLiteral("QUORLIN_TEST_SCREENSHOT"));
    return env;
  }

  // A small sample game and a Wine prefix whose registry points at it.
  std::string WriteGameAndPrefix() {
    sample::GameOptions options;
    options.preparedSlots = {9, 12};
    options.fillerEntries = 20;
    sample::WriteSampleGame(temp / "game", options);
    sample::WriteWinePrefix(temp / "prefix", temp / "game");
    return temp / "prefix";
  }

  TempDir temp;
};

constexpr const char* kProgram = QUORLIN_GUI_BINARY;

TEST_F(ProgramTest, WithoutTheGameEndsWithStatusOneBeforeShowingTheWindow) {
  // An empty prefix has no game key; the other's key names a folder without the
  // archives.
  std::filesystem::create_directories(temp / "empty-prefix");
  std::filesystem::create_directories(temp / "no-game");
  sample::WriteWinePrefix(temp / "prefix", temp / "no-game");
  const std::pair<std::string, std::string> cases[] = {
      {temp / "empty-prefix", "message: Quorlin: Problem getting Mechwarrior Path!\n"},
      {temp / "prefix", "message: Quorlin: Mechwarrior path is invalid!\n"}};
  for (const auto& [prefix, message] : cases) {
    const Finished run = RunProgram(kProgram, {}, Environment(prefix), 60000);
    ASSERT_TRUE(run.inTime) << run.errors;
    EXPECT_FALSE(run.crashed) << run.errors;
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("window shown"), std::string::npos) << run.errors;
  }
}

TEST_F(ProgramTest, OnASamplePrefixTheScreenShowsTheWindowWithItsPicture) {
  QProcessEnvironment env = Environment(WriteGameAndPrefix());
  env.insert(QStringLiteral("QUORLIN_TEST_PICTURE"), QString::fromStdString(temp / "game/sample-skin.bmp"));
  env.insert(QStringLiteral("QUORLIN_TEST_SCREENSHOT"), QString::fromStdString(temp / "screen.png"));
  // Under xvfb-run on a black root window with no window manager, everything not
  // black on the screen is ours. Without xvfb-run the program runs offscreen and
  // the screen is not checked.
  const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
  Finished run;
  if (xvfbRun.isEmpty()) {
    run = RunProgram(kProgram, {}, env, 60000);
  } else {
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    run = RunProgram(xvfbRun, {"-a", "-s", "-screen 0 1024x768x24 -br", QString::fromLatin1(kProgram)}, env, 120000);
  }
  ASSERT_TRUE(run.inTime) << run.errors;
  EXPECT_FALSE(run.crashed) << run.errors;
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  // Start-up showed the window before its one message, and the picture loaded
  // without complaint.
  const auto shown = run.errors.find("window shown");
  const auto indexMessage =
      run.errors.find("message: Quorlin: An index of the skins must be created to be patch independent.\n");
  ASSERT_NE(shown, std::string::npos) << run.errors;
  ASSERT_NE(indexMessage, std::string::npos) << run.errors;
  EXPECT_LT(shown, indexMessage);
  EXPECT_EQ(run.errors.find("message:", indexMessage + 1), std::string::npos) << run.errors;
  EXPECT_FALSE(QImage(QString::fromStdString(temp / "screen.png")).isNull()) << "no screenshot";
  if (xvfbRun.isEmpty()) GTEST_SKIP() << "xvfb-run is not installed: the screen was not checked";
  EXPECT_EQ(run.errors.find("cannot grab the screen"), std::string::npos) << run.errors;

  const QImage screen = QImage(QString::fromStdString(temp / "screen.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(screen.size(), QSize(1024, 768)) << "not a grab of the whole screen";
  const QRgb black = qRgb(0, 0, 0);
  QRect window;
  QSet<QRgb> colours;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      if (screen.pixel(x, y) == black) continue;
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
  // window's left edge, under the menu bar.
  int markerTop = -1;
  for (int y = window.top(); y < window.top() + 80 && markerTop < 0; ++y) {
    if (screen.pixel(window.left() + 12, y) == qRgb(255, 255, 255) &&
        screen.pixel(window.left() + 12 + 31, y + 31) == qRgb(255, 255, 255)) {
      markerTop = y;
    }
  }
  ASSERT_GE(markerTop, window.top() + 12) << "no picture marker below the menu bar";
  EXPECT_NE(screen.pixel(window.left() + 12 + 32, markerTop + 40), qRgb(255, 255, 255));
  EXPECT_NE(screen.pixel(window.left() + 11, markerTop), qRgb(255, 255, 255));
}

}  // namespace
}  // namespace quorlin::test
