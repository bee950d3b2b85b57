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

// Message boxes answered Yes and echoed, nothing of the user's home or prefix
// (empty prefix: every prefix under the temporary home is looked in).
Finished RunProgram(const TempDir& temp, const std::string& prefix, const QStringList& more = {},
                    const QStringList& args = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("QUORLIN_TEST_AUTO_ANSWER", "yes");
  env.insert("HOME", QString::fromStdString(temp.str()));
  env.remove("WINEPREFIX");
  if (!prefix.empty()) env.insert("WINEPREFIX", QString::fromStdString(prefix));
  for (const QString& pair : more) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(QUORLIN_GUI_BINARY, args);
  if (!process.waitForFinished(60000)) process.kill();
  std::string aids;  // the lines the testing aids wrote, without Qt's own notes
  for (const QString& line : QString::fromLocal8Bit(process.readAllStandardError()).split('\n')) {
    if (line.startsWith("message: ") || line.startsWith("installation: ") || line == "window shown") {
      aids += line.toStdString() + "\n";
    }
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
  // The window is up before the one message; the picture given on the command line
  // is opened without one, and drawn: the grab holds its ring's colours.
  const QString screen = QString::fromStdString(temp / "screen.png");
  const Finished grab = RunProgram(temp, temp / "prefix", {"QUORLIN_TEST_SCREENSHOT=" + screen},
                                   {QString::fromStdString(temp / "game/sample-skin.bmp")});
  EXPECT_EQ(grab.exitCode, 0) << grab.errors;
  EXPECT_EQ(grab.errors,
            "window shown\nmessage: Quorlin: An index of the skins must be created to be patch independent.\n");
  const QImage shot = QImage(screen).convertToFormat(QImage::Format_RGB32);
  int ring = 0;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y);
      ring += qRed(p) == 250 && qGreen(p) / 8 == 25 && qBlue(p) / 8 == 5;
    }
  }
  EXPECT_GT(ring, 10000) << "the picture is not in the grab";

  // Two installations under the home: the test aid lists them and chooses the second.
  sample::WriteWinePrefix(temp / ".wine", temp / "game");
  sample::WriteSampleGame(temp / "other", options);
  sample::WriteWinePrefix(temp / ".local/share/wineprefixes/other", temp / "other");
  const Finished chosen = RunProgram(temp, "", {"QUORLIN_TEST_CHOOSE=1", "QUORLIN_TEST_SCREENSHOT=" + screen});
  EXPECT_EQ(chosen.exitCode, 0) << chosen.errors;
  const std::string mw4 = "/dosdevices/c:/Games/Mechwarrior Vengeance\n";
  EXPECT_EQ(chosen.errors, "installation: wine " + temp / ".wine " + temp / ".wine" + mw4 + "installation: wine " +
                               temp / ".local/share/wineprefixes/other " + temp / ".local/share/wineprefixes/other" +
                               mw4 + "window shown\n" +
                               "message: Quorlin: An index of the skins must be created to be patch independent.\n");
  EXPECT_TRUE(std::filesystem::exists(temp / "other/resource/textures.inx"));
}

}  // namespace
}  // namespace quorlin::test
