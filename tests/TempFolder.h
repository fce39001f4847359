// A fresh folder for the files a test writes, removed with all it holds when
// the object goes. Every test program uses this one.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora::test {

class TTempFolder {
 public:
  // The folder's name starts with stem and is made unique by mkdtemp.
  explicit TTempFolder(const std::string& stem = "velmora") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
      throw std::runtime_error("mkdtemp failed: " + pattern);
    path_ = pattern;
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const {
    return path_ / name;
  }
  // Writes bytes to name, making the folders on its way; returns its path.
  std::string Write(const std::filesystem::path& name, std::string_view bytes) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace velmora::test
