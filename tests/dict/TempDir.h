// A temporary folder that a test writes dictionaries into and makes the
// current folder, since the search opens its files by relative name.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "tests/TempFolder.h"

namespace velmora::test {

class TTempDir {
 public:
  TTempDir() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.Path());
  }
  ~TTempDir() { std::filesystem::current_path(previous_); }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return folder_.Path(); }

  void Write(const std::string& name, std::string_view bytes) const {
    folder_.Write(name, bytes);
  }
  // 1.sr..5.sr, each with the given content (empty when not given).
  void WriteAll(std::string_view f1 = "", std::string_view f2 = "",
                std::string_view f3 = "", std::string_view f4 = "",
                std::string_view f5 = "") const {
    Write("1.sr", f1);
    Write("2.sr", f2);
    Write("3.sr", f3);
    Write("4.sr", f4);
    Write("5.sr", f5);
  }

 private:
  // Made before and removed after the current folder moves into it.
  TTempFolder folder_{"velmora-dict"};
  std::filesystem::path previous_;
};

}  // namespace velmora::test
