#include "gui/test_aids.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <iostream>
#include <memory>

#include "gui/first_paint.h"

namespace quorlin::gui {

namespace {

QString Environment(const char* name) { return qEnvironmentVariable(name); }

void SaveScreenshot(frmQuorlin& window, const QString& file) {
  QScreen* screen = window.screen();
  QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
  if (shot.isNull()) {
    std::cerr << "screenshot: this platform cannot grab the screen; saving the window's own rendering\n";
    shot = window.grab();
  }
  if (!shot.save(file, "PNG")) {
    std::cerr << "screenshot: cannot write " << file.toStdString() << '\n';
    QCoreApplication::exit(2);
    return;
  }
  window.mnufileexit_Click();
}

// Waits until the window is exposed (at most ten seconds), then lets it paint
// for half a second before the grab.
void ScheduleScreenshot(frmQuorlin& window, const QString& file) {
  auto* poll = new QTimer(&window);
  auto waited = std::make_shared<QElapsedTimer>();
  waited->start();
  QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, waited, file] {
    const QWindow* handle = window.windowHandle();
    if (!(handle && handle->isExposed()) && waited->elapsed() < 10000) return;
    poll->stop();
    poll->deleteLater();
    QTimer::singleShot(500, &window, [&window, file] { SaveScreenshot(window, file); });
  });
  poll->start(50);
}

}  // namespace

WindowHooks HooksFromEnvironment() {
  WindowHooks hooks;
  const QString answer = Environment("QUORLIN_TEST_AUTO_ANSWER");
  if (answer.isEmpty()) return hooks;
  if (answer != QLatin1String("yes") && answer != QLatin1String("no")) {
    std::cerr << "QUORLIN_TEST_AUTO_ANSWER must be yes or no; message boxes are shown as usual\n";
    return hooks;
  }
  const MessageAnswer toQuestions = answer == QLatin1String("yes") ? MessageAnswer::Yes : MessageAnswer::No;
  hooks.answerMessage = [toQuestions](const std::string& text, const std::string& title, MessageIcon,
                                      MessageButtons buttons) {
    std::cerr << "message: " << title << ": " << text << '\n' << std::flush;
    return buttons == MessageButtons::YesNo ? toQuestions : MessageAnswer::Ok;
  };
  hooks.firstShown = [] { std::cerr << "window shown\n" << std::flush; };
  return hooks;
}

void StartTestAids(frmQuorlin& window) {
  if (!Environment("QUORLIN_TEST_FIRST_PAINT").isEmpty()) new FirstPaint(&window);
  if (const QString picture = Environment("QUORLIN_TEST_PICTURE"); !picture.isEmpty()) {
    window.OpenPictureFile(picture);
  }
  if (const QString file = Environment("QUORLIN_TEST_SCREENSHOT"); !file.isEmpty()) {
    ScheduleScreenshot(window, file);
  }
}

}  // namespace quorlin::gui
