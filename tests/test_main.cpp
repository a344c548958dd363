#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Widgets are built and painted off screen; the real window is tested under Xvfb.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  gst_init(&argc, &argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
