#include "app/History.h"

#include <fcntl.h>
#include <sys/file.h>
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
#include <vector>

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

// The history's queries in the file's bytes, the newest kLimit of them; the
// numbers of the lines that are not queries go to bad.
std::deque<std::string> ParseHistory(const std::string& bytes, TQueryCheck isQuery,
                                     std::vector<int>& bad) {
  std::deque<std::string> read;
  std::size_t start = 0;
  int lineNumber = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!isQuery(line)) {
      bad.push_back(lineNumber);
      continue;
    }
    read.push_back(std::move(line));
    if (read.size() > TQueryHistory::kLimit) read.pop_front();
  }
  return read;
}

std::string LineList(const std::vector<int>& numbers) {
  std::string list;
  for (std::size_t i = 0; i < numbers.size() && i < 5; ++i)
    list += (i ? ", " : "") + std::to_string(numbers[i]);
  if (numbers.size() > 5) list += ", ...";
  return list;
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

std::string DataFolder() {
  return XdgFolder("XDG_DATA_HOME", ".local/share");
}

// Every line the program writes is a query as the search cleaned it.
bool IsCleanedQuery(const std::string& line) {
  return line.size() >= 2 && line.find('\0') == std::string::npos &&
         CleanQuery(line) == line;
}

TQueryHistory::TQueryHistory(std::string file, TQueryCheck isQuery)
    : file_(std::move(file)), isQuery_(isQuery) {}

std::optional<std::string> TQueryHistory::ReadFile(bool complain) {
  std::error_code ec;
  fs::file_status status = fs::status(file_, ec);
  if (!fs::exists(status)) return std::nullopt;
  if (!fs::is_regular_file(status)) {
    if (complain) Complain(file_, "not a regular file; history ignored");
    return std::nullopt;
  }
  if (fs::file_size(file_, ec) > kMaxFileSize || ec) {
    if (complain) Complain(file_, "too large to be a history; ignored");
    return std::nullopt;
  }
  std::ifstream in(file_, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    if (complain)
      Complain(file_, std::string("cannot be read (") + std::strerror(errno) +
                          "); history ignored");
    return std::nullopt;
  }
  return bytes;
}

std::deque<std::string> TQueryHistory::Parse(const std::string& bytes) {
  std::vector<int> bad;
  std::deque<std::string> read = ParseHistory(bytes, isQuery_, bad);
  if (bad.empty() || bytes == keptDamage_) return read;
  // The good lines stay; the file as it was goes beside it, so that nothing
  // the damage hid is lost when the history is written again.
  const std::string damaged = file_ + ".damaged";
  std::string kept = "; the file as it was is kept in " + damaged;
  if (!WriteFileAtomically(damaged, bytes)) kept = "; the damaged file could not be kept";
  Complain(file_, (bad.size() == 1 ? "line " : "lines ") + LineList(bad) +
                      (bad.size() == 1 ? " is" : " are") +
                      " not a query and skipped; the file is damaged" + kept);
  keptDamage_ = bytes;
  return read;
}

void TQueryHistory::Load() {
  entries_.clear();
  added_.clear();
  walk_.reset();
  shown_ = 0;
  if (file_.empty()) return;
  if (std::optional<std::string> bytes = ReadFile(true)) entries_ = Parse(*bytes);
  shown_ = entries_.size();  // no search of this run shown yet
}

void TQueryHistory::Add(const std::string& query) {
  walk_.reset();
  if (entries_.empty() || entries_.back() != query) {
    entries_.push_back(query);
    if (entries_.size() > kLimit) entries_.pop_front();
    added_.push_back(query);
    if (added_.size() > kLimit) added_.pop_front();
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

bool TQueryHistory::WriteFileAtomically(const std::string& file,
                                        const std::string& bytes) {
  std::string temp = file + ".new-" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = fd >= 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = errno;
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && std::rename(temp.c_str(), file.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) ::unlink(temp.c_str());
  errno = error;
  return ok;
}

void TQueryHistory::Save() {
  if (file_.empty()) return;
  fs::path target(file_);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  // Another window may write the history too (one without the session bus,
  // or one of another folder): the file is read again and this window's new
  // queries are added to what it holds now, all under a lock, so that
  // neither loses the other's queries.
  const std::string lockName = file_ + ".lock";
  const int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock >= 0) {
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  // A missing file holds nothing to merge: it gets what this window knows.
  std::deque<std::string> merged = entries_;
  // One that is not a history was said so when loaded; it is replaced.
  if (std::optional<std::string> bytes = ReadFile(false)) {
    merged = Parse(*bytes);
    for (const std::string& q : added_) {
      if (merged.empty() || merged.back() != q) merged.push_back(q);
      if (merged.size() > kLimit) merged.pop_front();
    }
  }
  std::string bytes;
  for (const std::string& q : merged) bytes += q + '\n';
  const bool ok = WriteFileAtomically(file_, bytes);
  const int error = errno;
  if (lock >= 0) ::close(lock);  // and with it the lock
  if (ok) {
    added_.clear();
    saveFailed_ = false;
    return;
  }
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
