#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cstdio>

// Reports the moment a window is first painted (the steady clock, in nanoseconds,
// on standard error as "first paint NNN") and then ends the program, so that a
// script can time a window from its start to its first paint.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(QWidget* window) : window_(window) { QCoreApplication::instance()->installEventFilter(this); }
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!done_ && event->type() == QEvent::Paint && widget && widget->window() == window_) {
      done_ = true;
      const auto now = std::chrono::steady_clock::now().time_since_epoch();
      std::fprintf(stderr, "first paint %lld\n",
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
      std::fflush(stderr);
      QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
    }
    return false;
  }

 private:
  QWidget* window_;
  bool done_ = false;
};
