// The queries searched before, kept across runs in the user's state folder,
// and the two ways of walking them: Up and Down in the query box, back and
// forward through the searches.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace velmora {

// $XDG_STATE_HOME/velmora, or ~/.local/state/velmora; empty when neither
// variable gives an absolute folder. Likewise $XDG_CONFIG_HOME/velmora, or
// ~/.config/velmora.
std::string StateFolder();
std::string ConfigFolder();
// $XDG_DATA_HOME/velmora, or ~/.local/share/velmora: the learner's words.
std::string DataFolder();

// Takes the flock on fd, waiting at most wait: 0 when held, EWOULDBLOCK when
// another holder kept it all along, another errno when it can't be taken.
// A window stopped while it holds a lock must not freeze the others.
int TakeLock(int fd, std::chrono::milliseconds wait);

// Makes lines, each ended by a line feed, the file's content: synced and
// renamed over the old file (mode 0600), so that a crash leaves one or the
// other. Raises EStreamError with the reason when that fails.
void ReplaceWithLines(const std::string& file, const std::deque<std::string>& lines);

// Whether a line of a history file is a query the window could have kept:
// by default a query as the search cleans it, of two bytes at least, on one
// line.
using TQueryCheck = bool (*)(const std::string& line);
bool IsCleanedQuery(const std::string& line);

class TQueryHistory {
 public:
  static constexpr std::size_t kLimit = 1000;
  // Longer queries are searched but not kept, so that the file stays one
  // the program reads back (a thousand of these are 1 MB).
  static constexpr std::size_t kMaxQueryBytes = 1000;
  // How long a save waits for another window's save to end: a window stopped
  // while it held the lock must not freeze this one. The last save, when
  // the history goes, waits longer.
  static constexpr std::chrono::milliseconds kLockWait{200};
  static constexpr std::chrono::milliseconds kLastLockWait{3000};

  // file: where the history is kept; empty keeps it for this run only.
  // isQuery tells the lines of a sound file.
  explicit TQueryHistory(std::string file = {}, TQueryCheck isQuery = IsCleanedQuery);

  // Reads the file: one query (GBK bytes) a line, oldest first. A missing
  // file is an empty history; one that cannot be read is ignored with a
  // message on standard error, and never written over. Lines that are not
  // queries are skipped with a message, and the file as it was is kept
  // beside it as "history.damaged" (the file's name with ".damaged"), or
  // "history.damaged.2", ".3", ... when that name holds other damage; a
  // damaged file that could not be kept is never written over either.
  void Load();
  // Makes query the newest entry (unless it is already) and drops the oldest
  // beyond kLimit. Ends any walk. A query the file can't hold (longer than
  // kMaxQueryBytes, with a line break, or one the check refuses) is not
  // kept; Back then starts from the newest entry. The file is written by
  // SaveIfChanged, or when the history goes.
  void Add(const std::string& query);
  // Writes the file if entries changed since it was last written, through a
  // temporary file renamed over it so that a crash never leaves half a
  // history (a symbolic link is written through; temporary files a crash
  // left are removed). Under a lock (flock on the file's name with ".lock"),
  // the queries added since the last write are added to what the file holds
  // then, so that windows writing one history keep each other's queries.
  // It syncs the disk, which may take a while: the window calls it once a
  // search is over, never before one. False when the lock stayed taken for
  // lockWait: nothing was written and nothing is lost, so try again later.
  bool SaveIfChanged(std::chrono::milliseconds lockWait = kLockWait);
  ~TQueryHistory();

  const std::deque<std::string>& Entries() const { return entries_; }
  const std::string& File() const { return file_; }

  // Up and Down in the query box. Older takes the text in the box when a
  // walk starts, so that Newer past the newest entry gives it back. Nothing
  // when there is no entry further that way.
  std::optional<std::string> Older(const std::string& inBox);
  std::optional<std::string> Newer();
  // The user typed: the next Up starts from the newest entry again.
  void EndWalk() { walk_.reset(); }

  // Back and forward through the searches, from the one shown last.
  std::optional<std::string> Back();
  std::optional<std::string> Forward();

 private:
  enum class TSaved { Yes, Failed, LockBusy };
  TSaved Save(std::chrono::milliseconds lockWait);
  TSaved SaveFailed(const std::string& why);
  struct TFileRead {
    bool Exists = false;
    std::optional<std::string> Bytes;  // nothing when it can't be read
    std::string Why;                   // and why not
  };
  TFileRead ReadFile() const;
  // The good lines of bytes; damage is reported and the bytes kept aside.
  // kept is false when they could not be.
  std::deque<std::string> Parse(const std::string& bytes, bool& kept);
  // The name of a file beside the history that holds bytes (made now, or
  // one made before); empty, with errno set, when none could be made.
  std::string KeepDamaged(const std::string& bytes) const;
  bool Keeps(const std::string& query) const;

  std::string file_;
  TQueryCheck isQuery_;
  std::deque<std::string> entries_;
  std::deque<std::string> added_;    // added since the file was last written
  std::string keptDamage_;           // the damaged bytes kept aside last
  std::string unkeptDamage_;         // damaged bytes that could not be, said so
  std::optional<std::size_t> walk_;  // entry shown by Up/Down
  std::string draft_;                // the box's text before the walk
  std::size_t shown_ = 0;            // entry of the search shown, size() for none
  bool saveFailed_ = false;          // said so once already
  bool changed_ = false;             // entries the file does not have yet
};

}  // namespace velmora
