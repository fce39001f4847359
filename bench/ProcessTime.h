// A program run as a whole process, its output thrown away: how long it
// took on the clock and in CPU time (user and system, its own), for benches
// that time our tools against another program the same way.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmora::bench {

struct TProcessTime {
  double WallMs = 0;
  double CpuMs = 0;
};

// Empty when the program cannot be started or does not exit with status 0.
inline std::optional<TProcessTime> RunProcess(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) return std::nullopt;
  const std::chrono::duration<double, std::milli> wall =
      std::chrono::steady_clock::now() - t0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  auto ms = [](const timeval& t) {
    return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
  };
  return TProcessTime{wall.count(), ms(usage.ru_utime) + ms(usage.ru_stime)};
}

}  // namespace velmora::bench
