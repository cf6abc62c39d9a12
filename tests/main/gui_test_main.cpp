// Test entry point for the desktop windows: widgets need a QApplication. The windows are
// drawn offscreen unless a platform is named, also when ctest lists the tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/conversion_child_guard.h"

int main(int argc, char** argv) {
  if (corvane::test::StartedAsConversionChild(argc, argv)) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
