// Shared test entry point: the core uses Qt objects, which need an application object.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/conversion_child_guard.h"

int main(int argc, char** argv) {
  if (corvane::test::StartedAsConversionChild(argc, argv)) return 2;
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
