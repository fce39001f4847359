// Files written whole or not at all, and standard output checked before a
// program ends: a full disk, a lost device or a folder in the way is an
// error with the system's reason, never a short file reported as success.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace velmora {

// "WHAT file "PATH": REASON", the reason being the system's text for error.
std::string FileErrorText(const char* what, const std::string& path, int error);

// path with its symbolic links followed to the file they name (which need
// not exist); path itself when a link can't be read.
std::string LinkTarget(const std::string& path);

// A file being written in place of another. The bytes go to a temporary file
// beside the target ("NAME.new-PID"), which takes the target's name only when
// Commit finds every byte written, so that the file of that name is either
// the old one or the whole new one. A target that is a symbolic link is
// written through: the file it points to is replaced and the link stays. A
// target that exists but is no regular file (/dev/null, a FIFO, a terminal),
// one that has other hard links, one under /dev or /proc (/dev/stdout) and an
// existing file in a folder where no new file can be made are written in
// place. Going without Commit removes the
// temporary file.
class TFileReplacement {
 public:
  // Raises EFOpenError naming the file and the system's reason. A new file
  // gets mode (less the umask); a replaced one keeps its mode and, where the
  // system allows, its owner.
  explicit TFileReplacement(const std::string& target, mode_t mode = 0666);
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  // The descriptor the bytes go to.
  int Handle() const { return fd_; }
  // Raises EWriteError when not every byte could be written.
  void Write(std::string_view bytes);
  // Ends the writing: syncs the file to the disk when asked and closes it.
  // Raises EWriteError with the system's reason, the temporary file removed.
  void Close(bool sync = false);
  // Closes (unless done) and gives the file its name; raises EWriteError as
  // Close does, or when the rename fails.
  void Commit(bool sync = false);
  // Drops what was written: the temporary file goes, the target stays.
  void Discard() noexcept;

  // The file that is replaced, symbolic links followed.
  const std::string& Target() const { return target_; }
  // The temporary file; the target itself when written in place.
  const std::string& Written() const { return written_; }

 private:
  [[noreturn]] void Fail(int error);

  std::string name_;     // as the caller gave it, for messages
  std::string target_;   // links followed
  std::string written_;  // the temporary file, or target_
  int fd_ = -1;
  bool inPlace_ = false;
  bool committed_ = false;
};

// The bytes as the whole of path, through a TFileReplacement; raises
// EFOpenError or EWriteError with the system's reason.
void WriteWholeFile(const std::string& path, std::string_view bytes, bool sync = false);

// Writes out what standard output holds (the C++ stream's buffer and stdio's)
// and tells whether all of it got out. The first failure is said on standard
// error once, as "PROGRAM: cannot write to standard output: REASON"; failed
// is the reason of a write the caller saw fail (0 for none), which stdio
// does not keep.
bool FlushStandardOutput(const char* program, int failed = 0);

}  // namespace velmora
