#include "tools/velmora-lookup/StrokePicture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern char** environ;

namespace velmora {

namespace {

namespace fs = std::filesystem;

const char GifToolName[] = "velmora-gif";

bool IsExecutableFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// Removes the temporary file however the function leaves.
struct TRemoveOnExit {
  std::string Path;
  ~TRemoveOnExit() {
    if (!Path.empty()) ::unlink(Path.c_str());
  }
};

// Runs argv with standard input, output and error on /dev/null; true when it
// exits with status 0.
bool RunQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return false;
  bool ok = true;
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    ok &=
        ::posix_spawn_file_actions_addopen(
            &actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0) == 0;
  pid_t pid = -1;
  ok = ok && ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  ::posix_spawn_file_actions_destroy(&actions);
  if (!ok) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::string FindGifTool() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = self.parent_path() / GifToolName;
    if (IsExecutableFile(beside)) return beside.string();
  }
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string dirs = path;
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    // An empty entry is the current folder, which is the dictionary's here:
    // a program found there would come with the data, so it is not looked at.
    if (end > start) {
      const fs::path candidate = fs::path(dirs.substr(start, end - start)) / GifToolName;
      if (candidate.is_absolute() && IsExecutableFile(candidate))
        return candidate.string();
    }
    start = end + 1;
  }
  return {};
}

std::string StrokeAnimationGif(const std::string& character, const std::string& folder) {
  const std::string tool = FindGifTool();
  if (tool.empty()) return {};
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) return {};
  std::string pattern = (temp / "velmora-lookup-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return {};
  ::close(fd);
  const TRemoveOnExit remove{pattern};
  if (!RunQuietly({tool, "strokes", "-C", folder, character, pattern})) return {};
  std::ifstream in(pattern, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  // Only a GIF goes into the page, whatever else the program may have left.
  if (in.bad() || bytes.rfind("GIF8", 0) != 0) return {};
  return bytes;
}

std::string Base64(const std::string& bytes) {
  static const char digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned n = unsigned(static_cast<unsigned char>(bytes[i])) << 16 |
                       unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                       unsigned(static_cast<unsigned char>(bytes[i + 2]));
    for (int shift : {18, 12, 6, 0}) out += digits[(n >> shift) & 63];
  }
  if (const std::size_t rest = bytes.size() - i) {
    unsigned n = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) n |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += digits[(n >> 18) & 63];
    out += digits[(n >> 12) & 63];
    out += rest == 2 ? digits[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace velmora
