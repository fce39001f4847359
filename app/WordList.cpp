#include "app/WordList.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "app/History.h"
#include "platform/classes/ScopeGuard.h"
#include "platform/classes/SysUtils.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// A list larger than this is not one the program wrote.
constexpr std::uintmax_t kMaxFileSize = 16u << 20;
// How long a save waits for another window's.
constexpr std::chrono::milliseconds kLockWait{2000};

void Complain(const std::string& file, const std::string& why) {
  std::fprintf(stderr, "velmora: %s: %s\n", file.c_str(), why.c_str());
}

bool IsWord(const std::string& line) {
  return !line.empty() && line.size() <= TWordList::kMaxWordBytes &&
         line.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}

// The file's bytes; nothing when it is missing, and nothing with a message
// when it cannot be a word list or cannot be read.
std::optional<std::string> ReadList(const std::string& file) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (!fs::exists(status)) return std::nullopt;
  if (!fs::is_regular_file(status) || fs::file_size(file, ec) > kMaxFileSize || ec) {
    Complain(file, "not a word list; ignored");
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    Complain(file, std::string("cannot be read (") + std::strerror(errno) + ")");
    return std::nullopt;
  }
  return bytes;
}

std::vector<std::string> ParseList(const std::string& file, const std::string& bytes) {
  std::vector<std::string> words;
  int bad = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!IsWord(line)) {
      ++bad;
    } else if (std::find(words.begin(), words.end(), line) == words.end()) {
      words.push_back(std::move(line));
    }
  }
  if (bad) Complain(file, std::to_string(bad) + " line(s) that are not words skipped");
  return words;
}

// The list with the one change applied.
std::vector<std::string> Changed(std::vector<std::string> words, const std::string& word,
                                 bool add) {
  const auto at = std::find(words.begin(), words.end(), word);
  if (add && at == words.end()) words.push_back(word);
  if (!add && at != words.end()) words.erase(at);
  return words;
}

}  // namespace

TWordList::TWordList(std::string file) : file_(std::move(file)) {}

void TWordList::Load() {
  words_.clear();
  if (file_.empty()) return;
  if (const std::optional<std::string> bytes = ReadList(file_))
    words_ = ParseList(file_, *bytes);
}

bool TWordList::Contains(const std::string& word) const {
  return std::find(words_.begin(), words_.end(), word) != words_.end();
}

bool TWordList::Add(const std::string& word) {
  return IsWord(word) && Save(word, true);
}

bool TWordList::Remove(const std::string& word) {
  return Save(word, false);
}

bool TWordList::Save(const std::string& word, bool add) {
  if (file_.empty()) {
    words_ = Changed(std::move(words_), word, add);
    return true;
  }
  std::error_code ec;
  fs::create_directories(fs::path(file_).parent_path(), ec);
  // Another window may keep words too: under the lock the file is read
  // again and this one change applied to what it holds now.
  const std::string lockName = file_ + ".lock";
  // A window stopped while it holds the lock must not freeze this one: the
  // change is then not made, and the star shows it.
  const int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  const int error = lock < 0 ? errno : TakeLock(lock, kLockWait);
  if (error) {
    if (lock >= 0) ::close(lock);
    Complain(file_, "cannot lock the word list (" +
                        std::string(error == EWOULDBLOCK ? "another window holds it"
                                                         : std::strerror(error)) +
                        "); nothing changed");
    return false;
  }
  const TScopeGuard unlock([lock] { ::close(lock); });  // and with it the lock
  // A missing file holds nothing to merge: it gets what this window knows.
  // One that is there but cannot be read is left as it is.
  const std::optional<std::string> read = ReadList(file_);
  if (!read && fs::symlink_status(file_, ec).type() != fs::file_type::not_found) {
    Complain(file_, "cannot be read; left as it is and nothing changed");
    return false;
  }
  const std::vector<std::string> merged =
      Changed(read ? ParseList(file_, *read) : words_, word, add);
  try {
    ReplaceWithLines(file_, std::deque<std::string>(merged.begin(), merged.end()));
  } catch (const EStreamError& e) {
    Complain(file_, "cannot save the word list (" + e.Message + "); nothing changed");
    return false;
  }
  words_ = merged;
  return true;
}

}  // namespace velmora
