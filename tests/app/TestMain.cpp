// The window's tests need an application object; they run on Qt's offscreen
// platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/qt/QtApplication.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  velmora::InstallQtApplicationHooks();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
