// The window's tests need an application object; they run on Qt's offscreen
// platform, with the user's state and settings folders in a temporary
// folder, never in the real home.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/qt/QtApplication.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  namespace fs = std::filesystem;
  fs::path home =
      fs::temp_directory_path() / ("velmora-app-home-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  int result = 0;
  {
    QApplication app(argc, argv);
    velmora::InstallQtApplicationHooks();
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ec;
  fs::remove_all(home, ec);
  return result;
}
