// The real quorlin program run with its testing aids (app/presenter.h): without
// a game it ends with status 1 before showing its window; on a sample prefix it
// shows the window, then builds the index, saves the screen grab and ends with 0.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
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
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(QUORLIN_GUI_BINARY, QStringList{});
  if (!process.waitForFinished(60000)) process.kill();
  std::string aids;  // the lines the testing aids wrote, without Qt's own notes
  for (const QString& line : QString::fromLocal8Bit(process.readAllStandardError()).split('\n')) {
    if (line.startsWith("message: ") || line == "window shown") aids += line.toStdString() + "\n";
  }
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, aids};
}

TEST(ProgramTest, EndsWithOneBeforeShowingTheWindowWithoutTheGameAndWithZeroAfterTheScreenGrab) {
  TempDir temp;
  std::filesystem::create_directories(temp / "empty-prefix");  // no system.reg, so no game key
  sample::GameOptions options;
  options.preparedSlots = {9, 12};
  options.fillerEntries = 20;
  sample::WriteSampleGame(temp / "game", options);
  sample::WriteWinePrefix(temp / "prefix", temp / "game");
  const Finished none = RunProgram(temp, temp / "empty-prefix");
  EXPECT_EQ(none.exitCode, 1) << none.errors;
  EXPECT_EQ(none.errors, "message: Quorlin: Problem getting Mechwarrior Path!\n");
  // The window is up before the one message; the picture loads without one.
  const Finished grab = RunProgram(temp, temp / "prefix",
                                   {QString::fromStdString("QUORLIN_TEST_PICTURE=" + temp / "game/sample-skin.bmp"),
                                    QString::fromStdString("QUORLIN_TEST_SCREENSHOT=" + temp / "screen.png")});
  EXPECT_EQ(grab.exitCode, 0) << grab.errors;
  EXPECT_EQ(grab.errors,
            "window shown\nmessage: Quorlin: An index of the skins must be created to be patch independent.\n");
  EXPECT_FALSE(QImage(QString::fromStdString(temp / "screen.png")).isNull()) << "no screen grab";
}

}  // namespace
}  // namespace quorlin::test
