#include "platform/classes/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>
#include <vector>

#include "platform/classes/SysUtils.h"

namespace velmora {

namespace {

// The folder part of path, with its slash ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// path with its symbolic links followed to the file they name, which need
// not exist. False with errno set when a link can't be read or they loop.
bool FollowLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::vector<char> link(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) return false;
    const std::string to(link.data(), std::size_t(n));
    path = to.starts_with('/') ? to : FolderOf(path) + to;
  }
  errno = ELOOP;
  return false;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

// A new file beside target, made so that nothing already there (a link put
// in a shared folder, say) is followed or written over.
int CreateTemporary(const std::string& target, mode_t mode, std::string& name) {
  const std::string stem = target + ".new-" + std::to_string(::getpid());
  for (int n = 0; n < 100; ++n) {
    name = n == 0 ? stem : stem + "-" + std::to_string(n);
    const int fd =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::string LinkTarget(const std::string& path) {
  std::string target = path;
  return FollowLinks(target) ? target : path;
}

std::string FileErrorText(const char* what, const std::string& path, int error) {
  return std::string(what) + " file \"" + path + "\": " + std::strerror(error);
}

TFileReplacement::TFileReplacement(const std::string& target, mode_t mode)
    : name_(target), target_(target) {
  struct stat st {};
  const bool exists = ::stat(name_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode))
    throw EFOpenError(FileErrorText("Cannot create", name_, EISDIR));
  // The system's own names (/dev/stdout, /proc/self/fd/1) lead to what is
  // open already, which only writing in place reaches.
  inPlace_ = (exists && (!S_ISREG(st.st_mode) || st.st_nlink > 1)) ||
             name_.starts_with("/dev/") || name_.starts_with("/proc/");
  if (!inPlace_ && !FollowLinks(target_))
    throw EFOpenError(FileErrorText("Cannot create", name_, errno));
  if (!inPlace_) {
    fd_ = CreateTemporary(target_, mode, written_);
    if (fd_ >= 0 && exists) {
      // The new file takes the old one's place with its mode and owner.
      ::fchmod(fd_, st.st_mode & 07777);
      [[maybe_unused]] const int owned = ::fchown(fd_, st.st_uid, st.st_gid);
    }
    // A folder that takes no new file may still let the file be rewritten,
    // and a name near the longest a folder takes leaves no room for ".new-".
    inPlace_ = fd_ < 0 &&
               ((exists && (errno == EACCES || errno == EPERM)) || errno == ENAMETOOLONG);
  }
  if (inPlace_) {
    written_ = target_;
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  }
  if (fd_ < 0) throw EFOpenError(FileErrorText("Cannot create", name_, errno));
}

TFileReplacement::~TFileReplacement() {
  if (!committed_) Discard();
}

void TFileReplacement::Fail(int error) {
  Discard();
  throw EWriteError(FileErrorText("Cannot write", name_, error));
}

void TFileReplacement::Write(std::string_view bytes) {
  if (fd_ < 0 || !WriteAll(fd_, bytes.data(), bytes.size()))
    Fail(fd_ < 0 ? EBADF : errno);
}

void TFileReplacement::Close(bool sync) {
  if (fd_ < 0) return;
  // Devices and pipes have nothing to sync.
  if (sync && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) Fail(errno);
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) Fail(errno);
}

void TFileReplacement::Commit(bool sync) {
  if (committed_) return;
  Close(sync);
  if (!inPlace_ && std::rename(written_.c_str(), target_.c_str()) != 0) Fail(errno);
  committed_ = true;
}

void TFileReplacement::Discard() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  // What was written in place can't be taken back; a device is never removed.
  if (!inPlace_ && !written_.empty() && !committed_) ::unlink(written_.c_str());
  written_.clear();
  committed_ = true;
}

void WriteWholeFile(const std::string& path, std::string_view bytes, bool sync) {
  TFileReplacement file(path);
  file.Write(bytes);
  file.Commit(sync);
}

bool FlushStandardOutput(const char* program, int failed) {
  static bool said = false;
  errno = 0;
  std::cout.flush();
  int error = failed ? failed : std::cout.bad() ? errno : 0;
  bool ok = !failed && !std::cout.bad();
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    ok = false;
    if (errno && !error) error = errno;
  }
  if (!ok && !std::exchange(said, true)) {
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program,
                 error ? std::strerror(error) : "write error");
  }
  return ok;
}

}  // namespace velmora
