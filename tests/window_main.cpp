// Test main of the window floor: one QApplication for every test, on the offscreen
// platform unless the environment names another (the Xvfb test asks for xcb).
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // Settings the programs keep (the search history) go to a test location, one file per
  // test process: tests run side by side, and each clears and reads its own.
  QStandardPaths::setTestModeEnabled(true);
  QCoreApplication::setOrganizationName("qelshare");
  QCoreApplication::setApplicationName(QString("qelshare-tests-%1").arg(getpid()));
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  QFile::remove(QSettings().fileName());
  return result;
}
