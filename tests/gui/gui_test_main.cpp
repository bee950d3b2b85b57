#include <gtest/gtest.h>

#include <QApplication>

// The window suites need a QApplication; they never need a display, so without a
// platform named they use the offscreen one (test discovery at build time too).
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
