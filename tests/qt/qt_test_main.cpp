// The Qt tests need one QApplication for the whole run, before any widget.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>

int main(int argc, char** argv) {
  // CTest sets the offscreen platform; a run by hand gets it too.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
