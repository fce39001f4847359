#include "app/History.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
#include <thread>
#include <utility>
#include <vector>

#include "dict/Query.h"
#include "platform/classes/FileWrite.h"
#include "platform/classes/ScopeGuard.h"
#include "platform/classes/SysUtils.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// A history larger than this is not one the program wrote.
constexpr std::uintmax_t kMaxFileSize = 64u << 20;
// Damaged copies beside the history: "history.damaged", then numbered.
constexpr int kMaxDamagedCopies = 1000;

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
    if (line.size() > TQueryHistory::kMaxQueryBytes || !isQuery(line)) {
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

bool SameBytes(const std::string& file, const std::string& bytes) {
  std::error_code ec;
  if (fs::file_size(file, ec) != bytes.size() || ec) return false;
  std::ifstream in(file, std::ios::binary);
  std::string held((std::istreambuf_iterator<char>(in)),
                   std::istreambuf_iterator<char>());
  return !in.bad() && held == bytes;
}

std::string Reason(int error) {
  return std::strerror(error);
}

// Temporary files of saves that never ended ("history.new-PID"), beside the
// file the history is written to. Only a save holding the lock makes one,
// so while the lock is held every one there is left over.
void RemoveLeftovers(const std::string& written) {
  const fs::path target(written);
  const std::string stem = target.filename().string() + ".new-";
  std::error_code ec;
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > stem.size() && name.starts_with(stem) &&
        name.find_first_not_of("0123456789-", stem.size()) == std::string::npos) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace

int TakeLock(int fd, std::chrono::milliseconds wait) {
  const auto until = std::chrono::steady_clock::now() + wait;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return errno;
    if (std::chrono::steady_clock::now() >= until) return EWOULDBLOCK;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

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
  return line.size() >= 2 &&
         line.find_first_of(std::string_view("\0\n\r", 3)) == std::string::npos &&
         CleanQuery(line) == line;
}

TQueryHistory::TQueryHistory(std::string file, TQueryCheck isQuery)
    : file_(std::move(file)), isQuery_(isQuery) {}

TQueryHistory::TFileRead TQueryHistory::ReadFile() const {
  TFileRead read;
  std::error_code ec;
  fs::file_status status = fs::status(file_, ec);
  if (!fs::exists(status)) {
    // A missing file, or one the system won't even tell about.
    if (ec && ec != std::errc::no_such_file_or_directory) {
      read.Exists = true;
      read.Why = ec.message();
    }
    return read;
  }
  read.Exists = true;
  if (fs::is_directory(status)) {
    read.Why = Reason(EISDIR);
    return read;
  }
  if (!fs::is_regular_file(status)) {
    read.Why = "not a regular file";
    return read;
  }
  const std::uintmax_t size = fs::file_size(file_, ec);
  if (ec || size > kMaxFileSize) {
    read.Why = ec ? ec.message()
                  : "too large to be a history (" + std::to_string(size) + " bytes)";
    return read;
  }
  errno = 0;
  std::ifstream in(file_, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    read.Why = Reason(errno ? errno : EIO);
    return read;
  }
  read.Bytes = std::move(bytes);
  return read;
}

std::string TQueryHistory::KeepDamaged(const std::string& bytes) const {
  for (int n = 1; n <= kMaxDamagedCopies; ++n) {
    const std::string name =
        file_ + ".damaged" + (n == 1 ? std::string() : "." + std::to_string(n));
    const int fd =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno != EEXIST) return {};
      // Kept before, by this window or another.
      if (SameBytes(name, bytes)) return name;
      continue;
    }
    // Written in place: the history stays until its copy is whole.
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += std::size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (ok) return name;
    ::unlink(name.c_str());
    errno = error ? error : ENOSPC;
    return {};
  }
  errno = EEXIST;
  return {};
}

std::deque<std::string> TQueryHistory::Parse(const std::string& bytes, bool& kept) {
  std::vector<int> bad;
  std::deque<std::string> read = ParseHistory(bytes, isQuery_, bad);
  kept = true;
  if (bad.empty() || bytes == keptDamage_) return read;
  // The good lines stay; the file as it was goes beside it, so that nothing
  // the damage hid is lost when the history is written again.
  const std::string damage = (bad.size() == 1 ? "line " : "lines ") + LineList(bad) +
                             (bad.size() == 1 ? " is" : " are") +
                             " not a query and skipped; the file is damaged";
  const std::string copy = KeepDamaged(bytes);
  const int error = errno;
  if (copy.empty()) {
    kept = false;
    if (bytes != unkeptDamage_) {
      Complain(file_, damage + "; it could not be kept aside (" + Reason(error) +
                          "), so it is not written over");
    }
    unkeptDamage_ = bytes;
    return read;
  }
  Complain(file_, damage + "; the file as it was is kept in " + copy);
  keptDamage_ = bytes;
  return read;
}

void TQueryHistory::Load() {
  entries_.clear();
  added_.clear();
  walk_.reset();
  shown_ = 0;
  if (file_.empty()) return;
  const TFileRead read = ReadFile();
  if (read.Bytes) {
    bool kept = false;
    entries_ = Parse(*read.Bytes, kept);
  } else if (read.Exists) {
    Complain(file_,
             "cannot read the history (" + read.Why + "); ignored and left as it is");
  }
  shown_ = entries_.size();  // no search of this run shown yet
}

bool TQueryHistory::Keeps(const std::string& query) const {
  return query.size() <= kMaxQueryBytes &&
         query.find_first_of(std::string_view("\0\n\r", 3)) == std::string::npos &&
         isQuery_(query);
}

void TQueryHistory::Add(const std::string& query) {
  walk_.reset();
  if (!Keeps(query)) {
    shown_ = entries_.size();  // Back gives the newest kept
    return;
  }
  if (entries_.empty() || entries_.back() != query) {
    entries_.push_back(query);
    if (entries_.size() > kLimit) entries_.pop_front();
    added_.push_back(query);
    if (added_.size() > kLimit) added_.pop_front();
    changed_ = true;
  }
  shown_ = entries_.size() - 1;
}

void ReplaceWithLines(const std::string& file, const std::deque<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + '\n';
  TFileReplacement replacement(file, 0600);
  replacement.Write(bytes);
  replacement.Commit(true);
}

TQueryHistory::~TQueryHistory() {
  if (!SaveIfChanged(kLastLockWait)) {
    Complain(file_, "not saved: another window held " + file_ +
                        ".lock too long (stopped, perhaps); this window's new "
                        "queries are lost");
  }
}

bool TQueryHistory::SaveIfChanged(std::chrono::milliseconds lockWait) {
  if (!changed_) return true;
  if (Save(lockWait) == TSaved::LockBusy) return false;
  changed_ = false;
  return true;
}

TQueryHistory::TSaved TQueryHistory::SaveFailed(const std::string& why) {
  if (!saveFailed_) Complain(file_, "cannot save the history (" + why + ")");
  saveFailed_ = true;
  return TSaved::Failed;
}

TQueryHistory::TSaved TQueryHistory::Save(std::chrono::milliseconds lockWait) {
  if (file_.empty()) return TSaved::Yes;
  const fs::path folder = fs::path(file_).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec)
      return SaveFailed("cannot make the folder " + folder.string() + ": " +
                        ec.message());
  }
  // Another window may write the history too (one without the session bus,
  // or one of another folder): the file is read again and this window's new
  // queries are added to what it holds now, all under a lock, so that
  // neither loses the other's queries.
  const std::string lockName = file_ + ".lock";
  const int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0)
    return SaveFailed("cannot open its lock " + lockName + ": " + Reason(errno));
  if (const int error = TakeLock(lock, lockWait)) {
    ::close(lock);
    if (error == EWOULDBLOCK) return TSaved::LockBusy;
    return SaveFailed("cannot lock " + lockName + ": " + Reason(error));
  }
  const TScopeGuard unlock([lock] { ::close(lock); });  // and with it the lock
  RemoveLeftovers(LinkTarget(file_));
  // A missing file holds nothing to merge: it gets what this window knows.
  std::deque<std::string> merged = entries_;
  const TFileRead read = ReadFile();
  if (read.Exists && !read.Bytes)
    return SaveFailed("the file can't be read: " + read.Why + "; it is left as it is");
  if (read.Bytes) {
    bool kept = false;
    merged = Parse(*read.Bytes, kept);
    if (!kept) return SaveFailed("its damage could not be kept aside");
    for (const std::string& q : added_) {
      if (merged.empty() || merged.back() != q) merged.push_back(q);
      if (merged.size() > kLimit) merged.pop_front();
    }
  }
  try {
    ReplaceWithLines(file_, merged);
  } catch (const EStreamError& e) {
    return SaveFailed(e.Message);
  }
  added_.clear();
  saveFailed_ = false;
  return TSaved::Yes;
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
