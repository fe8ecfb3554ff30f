// Test main of the window floor: one QApplication for every test, on the offscreen
// platform unless the environment names another (the Xvfb test asks for xcb).
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // Settings the programs keep (the search history) go to a test location.
  QStandardPaths::setTestModeEnabled(true);
  QCoreApplication::setOrganizationName("qelshare");
  QCoreApplication::setApplicationName("qelshare-tests");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
