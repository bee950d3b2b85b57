// The real quorlin program run with its testing aids (app/presenter.h): without a game it ends with 1 before
// showing its window; with one it shows the window, builds the index, saves the screen grab and ends with 0.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <filesystem>

#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

namespace quorlin::test {
namespace {

// The exit status and what the aids echoed on standard error (the window shown, each message box, answered Yes).
std::pair<int, std::string> RunProgram(const TempDir& temp, const std::vector<std::pair<QString, std::string>>& env,
                                       const QStringList& args = {}) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QUORLIN_TEST_AUTO_ANSWER", "yes");
  environment.insert("HOME", QString::fromStdString(temp.str()));
  environment.insert("XDG_CONFIG_HOME", QString::fromStdString(temp / "config"));
  environment.remove("WINEPREFIX");
  for (const auto& [name, value] : env) environment.insert(name, QString::fromStdString(value));
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(QUORLIN_GUI_BINARY, args);
  if (!process.waitForFinished(60000)) process.kill();
  const QRegularExpression aid("^(message: |installation: |window shown$)");  // not Qt's own notes
  const QString aids = QString::fromLocal8Bit(process.readAllStandardError()).split('\n').filter(aid).join('\n');
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, aids.toStdString() + "\n"};
}

TEST(ProgramTest, EndsWithOneBeforeShowingTheWindowWithoutTheGameAndWithZeroAfterTheScreenGrab) {
  TempDir temp;
  // No system.reg, so no game key: the player is asked to choose the folder, and cancels.
  EXPECT_EQ(RunProgram(temp, {{"WINEPREFIX", temp / "no-prefix"}, {"QUORLIN_TEST_FOLDER", "cancel"}}),
            std::pair(1, std::string("message: Quorlin: Problem getting Mechwarrior Path!\n"
                                     "message: Quorlin: Do you want to choose the game's folder yourself?\n")));

  // Two installations under the home: the aid lists them and chooses the second. The picture
  // given at start is opened without a message, and drawn: the grab holds its ring's colours.
  for (const char* game : {"game", "other"}) sample::WriteSampleGame(temp / game, sample::GameOptions());
  sample::WriteWinePrefix(temp / ".wine", temp / "game");
  const std::string other = temp / ".local/share/wineprefixes/other", screen = temp / "screen.bmp";
  sample::WriteWinePrefix(other, temp / "other");
  const std::string mw4 = "/dosdevices/c:/Games/Mechwarrior Vengeance\n";
  EXPECT_EQ(RunProgram(temp, {{"QUORLIN_TEST_CHOOSE", "1"}, {"QUORLIN_TEST_SCREENSHOT", screen}},
                       {QString::fromStdString(temp / "game/sample-skin.bmp")}),
            std::pair(0, "installation: wine " + temp / ".wine " + temp / ".wine" + mw4 + "installation: wine " +
                             other + " " + other + mw4 + "window shown\n" +
                             "message: Quorlin: An index of the skins must be created to be patch independent.\n"));
  EXPECT_TRUE(std::filesystem::exists(temp / "other/resource/textures.inx"));
  EXPECT_EQ(sample::ReadFile(screen).at(0), 'B');  // a bitmap, as the name asks (a PNG: tools/check-package)
  const QImage shot = QImage(QString::fromStdString(screen)).convertToFormat(QImage::Format_RGB32);
  const auto* pixels = reinterpret_cast<const QRgb*>(shot.constBits());  // rows unpadded, 4 bytes a pixel
  const auto ring = std::count_if(pixels, pixels + shot.width() * shot.height(),
                                  [](QRgb p) { return qRed(p) == 250 && qGreen(p) / 8 == 25 && qBlue(p) / 8 == 5; });
  EXPECT_GT(ring, 10000) << "the picture is not in the grab";
}

}  // namespace
}  // namespace quorlin::test
