#include "platform/classes/Programs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace velmora {

namespace {

namespace fs = std::filesystem;

bool IsExecutableFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindProgram(const std::string& name) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = self.parent_path() / name;
    if (IsExecutableFile(beside)) return beside.string();
  }
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string dirs = path;
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (end > start) {
      const fs::path candidate = fs::path(dirs.substr(start, end - start)) / name;
      if (candidate.is_absolute() && IsExecutableFile(candidate))
        return candidate.string();
    }
    start = end + 1;
  }
  return {};
}

pid_t StartProgram(const std::vector<std::string>& args, bool quiet) {
  if (args.empty()) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (int error = ::posix_spawn_file_actions_init(&actions)) {
    errno = error;
    return -1;
  }
  int error = ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                                 O_RDONLY, 0);
  if (quiet)
    for (int fd : {STDOUT_FILENO, STDERR_FILENO})
      if (!error)
        error =
            ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (!error)
    error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (error) {
    errno = error;
    return -1;
  }
  return pid;
}

int WaitProgram(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velmora
