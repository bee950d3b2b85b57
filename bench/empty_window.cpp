// The baseline for the window's start-up: an empty Qt main window, timed from the
// process's start to its first paint (see first_paint.h).
#include <QApplication>
#include <QMainWindow>

#include "gui/first_paint.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("empty");
  window.resize(537, 565);
  FirstPaint report(&window);
  window.show();
  return app.exec();
}
