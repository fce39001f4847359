// A fresh folder that the window's tests work in: the current folder, and
// where the program keeps its settings, history and words, while the object
// lives.
// The folder current before is current again when it goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/TempFolder.h"

namespace velmora::test {

class TWorkFolder : public TTempFolder {
 public:
  explicit TWorkFolder(const std::string& stem)
      : TTempFolder(stem), home_(std::filesystem::current_path()) {
    std::filesystem::current_path(Path());
    ::setenv("XDG_STATE_HOME", (*this / "state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (*this / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (*this / "data").c_str(), 1);
  }
  ~TWorkFolder() {
    std::error_code ignored;
    std::filesystem::current_path(home_, ignored);
  }

 private:
  std::filesystem::path home_;
};

}  // namespace velmora::test
