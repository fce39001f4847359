// A small file system of its own for tests of full disks: a tmpfs mounted on
// a fresh folder, unmounted when the object goes. Mounting takes root (CI
// runs as root); elsewhere Mounted() is false and Why() says so, for
// GTEST_SKIP.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/TempFolder.h"

namespace velmora::test {

class TSmallDisk {
 public:
  explicit TSmallDisk(int kib) : folder_("velmora-small-disk") {
    if (::geteuid() != 0) {
      why_ = "mounting a small tmpfs needs root";
      return;
    }
    const std::string options = "size=" + std::to_string(kib) + "k,mode=0777";
    if (::mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~TSmallDisk() {
    if (mounted_) ::umount2(folder_.Path().c_str(), MNT_DETACH);
  }
  TSmallDisk(const TSmallDisk&) = delete;
  TSmallDisk& operator=(const TSmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  const std::filesystem::path& Path() const { return folder_.Path(); }
  std::filesystem::path operator/(const std::filesystem::path& name) const {
    return folder_ / name;
  }
  std::string Write(const std::filesystem::path& name, std::string_view bytes) const {
    return folder_.Write(name, bytes);
  }

  // Fills the disk with a file of its own until about free bytes are left.
  void Fill(std::size_t free) const {
    const std::string filler = (folder_ / ".filler").string();
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::vector<char> block(4096, 'x');
    off_t size = 0;
    for (ssize_t n; (n = ::write(fd, block.data(), block.size())) > 0;) size += n;
    if (::ftruncate(fd, size > off_t(free) ? size - off_t(free) : 0) != 0) size = 0;
    ::close(fd);
  }

 private:
  TTempFolder folder_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace velmora::test
