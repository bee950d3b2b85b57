#include "gui/test_aids.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <iostream>
#include <memory>

#include "gui/first_paint.h"

namespace quorlin::gui {

namespace {

void SaveScreenshot(frmQuorlin& window, const QString& file) {
  QScreen* screen = window.screen();
  QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
  if (shot.isNull()) {
    std::cerr << "screenshot: this platform cannot grab the screen; saving the window's own rendering\n";
    shot = window.grab();
  }
  if (!shot.save(file, file.endsWith(".bmp", Qt::CaseInsensitive) ? "BMP" : "PNG")) {
    std::cerr << "screenshot: cannot write " << file.toStdString() << '\n';
    QCoreApplication::exit(2);
    return;
  }
  window.GetPresenter().mnufileexit_Click();
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
    // The Skin menu opened for the grab, with its items' icons.
    if (qEnvironmentVariable("QUORLIN_TEST_OPEN_MENU") == "skin") {
      QMenuBar* bar = window.menuBar();
      auto* menu = window.findChild<QMenu*>("mnuskin");
      menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
    }
    QTimer::singleShot(500, &window, [&window, file] { SaveScreenshot(window, file); });
  });
  poll->start(50);
}

// Files dropped onto the window as a file manager drops them: the drag entering it,
// then the drop, carrying the files' URLs.
void Drop(frmQuorlin& window, const QStringList& files) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& file : files) urls << QUrl::fromLocalFile(file);
  data.setUrls(urls);
  const QPoint at = window.rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &enter);
  if (!enter.isAccepted()) return;
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &drop);
}

}  // namespace

void StartTestAids(frmQuorlin& window, const std::string& screenshot) {
  if (!qEnvironmentVariableIsEmpty("QUORLIN_TEST_FIRST_PAINT")) new FirstPaint(&window);
  if (const QString dropped = qEnvironmentVariable("QUORLIN_TEST_DROP"); !dropped.isEmpty()) {
    QTimer::singleShot(300, &window, [&window, dropped] { Drop(window, dropped.split(';')); });
  }
  if (!screenshot.empty()) ScheduleScreenshot(window, QString::fromStdString(screenshot));
}

}  // namespace quorlin::gui
