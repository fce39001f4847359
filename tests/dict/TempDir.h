// A temporary folder that a test writes dictionaries into and makes the
// current folder, since the search opens its files by relative name.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace velmora::test {

class TTempDir {
 public:
  TTempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmora-dict-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~TTempDir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
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
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace velmora::test
