#include "app/History.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include "dict/Query.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// A history larger than this is not one the program wrote.
constexpr std::uintmax_t kMaxFileSize = 64u << 20;

std::string XdgFolder(const char* variable, const char* underHome) {
  const char* set = std::getenv(variable);
  // Relative values are invalid and ignored, as XDG says.
  if (set && set[0] == '/') return std::string(set) + "/velmora";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/" + underHome + "/velmora";
  return {};
}

void Complain(const std::string& file, const std::string& why) {
  std::fprintf(stderr, "velmora: %s: %s\n", file.c_str(), why.c_str());
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

}  // namespace

std::string StateFolder() {
  return XdgFolder("XDG_STATE_HOME", ".local/state");
}

std::string ConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config");
}

bool IsCleanedQuery(const std::string& line) {
  return line.size() >= 2 && line.find('\0') == std::string::npos &&
         CleanQuery(line) == line;
}

TQueryHistory::TQueryHistory(std::string file, TQueryCheck isQuery)
    : file_(std::move(file)), isQuery_(isQuery) {}

void TQueryHistory::Load() {
  entries_.clear();
  walk_.reset();
  shown_ = 0;
  if (file_.empty()) return;
  std::error_code ec;
  fs::file_status status = fs::status(file_, ec);
  if (!fs::exists(status)) return;
  if (!fs::is_regular_file(status)) {
    Complain(file_, "not a regular file; history ignored");
    return;
  }
  if (fs::file_size(file_, ec) > kMaxFileSize || ec) {
    Complain(file_, "too large to be a history; ignored");
    return;
  }
  std::ifstream in(file_, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    Complain(file_, std::string("cannot be read (") + std::strerror(errno) +
                        "); history ignored");
    return;
  }
  std::deque<std::string> read;
  std::size_t start = 0;
  int lineNumber = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    // Every line the program writes is a query as it keeps them.
    if (!isQuery_(line)) {
      Complain(file_, "line " + std::to_string(lineNumber) +
                          " is not a query; the file is damaged and ignored");
      return;
    }
    read.push_back(std::move(line));
    if (read.size() > kLimit) read.pop_front();
  }
  entries_ = std::move(read);
  shown_ = entries_.size();  // no search of this run shown yet
}

void TQueryHistory::Add(const std::string& query) {
  walk_.reset();
  if (entries_.empty() || entries_.back() != query) {
    entries_.push_back(query);
    if (entries_.size() > kLimit) entries_.pop_front();
    changed_ = true;
  }
  shown_ = entries_.size() - 1;
}

TQueryHistory::~TQueryHistory() {
  SaveIfChanged();
}

void TQueryHistory::SaveIfChanged() {
  if (!std::exchange(changed_, false)) return;
  Save();
}

void TQueryHistory::Save() {
  if (file_.empty()) return;
  fs::path target(file_);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::string bytes;
  for (const std::string& q : entries_) bytes += q + '\n';
  std::string temp = file_ + ".new-" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = fd >= 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = errno;
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && std::rename(temp.c_str(), file_.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (ok) {
    saveFailed_ = false;
    return;
  }
  ::unlink(temp.c_str());
  if (!saveFailed_) {
    Complain(file_,
             std::string("cannot save the history (") + std::strerror(error) + ")");
  }
  saveFailed_ = true;
}

std::optional<std::string> TQueryHistory::Older(const std::string& inBox) {
  if (entries_.empty()) return std::nullopt;
  if (!walk_) {
    draft_ = inBox;
    walk_ = entries_.size() - 1;
  } else if (*walk_ == 0) {
    return std::nullopt;
  } else {
    --*walk_;
  }
  return entries_[*walk_];
}

std::optional<std::string> TQueryHistory::Newer() {
  if (!walk_) return std::nullopt;
  if (*walk_ + 1 >= entries_.size()) {
    walk_.reset();
    return draft_;
  }
  ++*walk_;
  return entries_[*walk_];
}

std::optional<std::string> TQueryHistory::Back() {
  if (entries_.empty() || shown_ == 0) return std::nullopt;
  walk_.reset();
  return entries_[--shown_];
}

std::optional<std::string> TQueryHistory::Forward() {
  if (shown_ + 1 >= entries_.size()) return std::nullopt;
  walk_.reset();
  return entries_[++shown_];
}

}  // namespace velmora
