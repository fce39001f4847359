#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "app/History.h"
#include "platform/classes/Gbk.h"
#include "tests/SmallDisk.h"
#include "tests/TempFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string G(const char* utf8) {
  return gbk::FromUtf8(utf8);
}

std::string Read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HistoryTest : public ::testing::Test {
 protected:
  std::string FileBytes() const { return Read(file_); }
  void WriteFile(const std::string& bytes) { dir_.Write("velmora/history", bytes); }

  test::TTempFolder dir_{"velmora-history"};
  std::string file_ = (dir_ / "velmora/history").string();
};

// Runs f in a child process as a user the test's files are not open to
// (nobody, when the test runs as root, who reads whatever the mode says);
// what it says on standard error.
template <typename F>
std::string AsAnotherUser(const fs::path& folder, F f) {
  const std::string said = (folder / "said.txt").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(err, STDERR_FILENO);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    f();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  return Read(said);
}

TEST_F(HistoryTest, UpAndDownWalkFromTheNewestAndGiveBackTheTypedText) {
  TQueryHistory h;
  EXPECT_EQ(h.Older("x"), std::nullopt);
  for (const char* q : {"一一", "二二", "三三", "三三"}) h.Add(G(q));
  EXPECT_EQ(h.Entries().size(), 3u);   // the repeat of the newest is not kept twice
  EXPECT_EQ(h.Newer(), std::nullopt);  // no walk yet
  EXPECT_EQ(h.Older(G("草稿")), G("三三"));
  EXPECT_EQ(h.Older("ignored"), G("二二"));
  EXPECT_EQ(h.Older(""), G("一一"));
  EXPECT_EQ(h.Older(""), std::nullopt);  // the oldest stays
  EXPECT_EQ(h.Newer(), G("二二"));
  EXPECT_EQ(h.Newer(), G("三三"));
  EXPECT_EQ(h.Newer(), G("草稿"));
  EXPECT_EQ(h.Newer(), std::nullopt);
  // Typing ends a walk; the next starts from the newest again.
  EXPECT_EQ(h.Older(""), G("三三"));
  EXPECT_EQ(h.Older(""), G("二二"));
  h.EndWalk();
  EXPECT_EQ(h.Older(""), G("三三"));
}

TEST_F(HistoryTest, BackAndForwardMoveFromTheSearchShown) {
  TQueryHistory h;
  EXPECT_EQ(h.Back(), std::nullopt);
  for (const char* q : {"一一", "二二", "三三"}) h.Add(G(q));
  EXPECT_EQ(h.Forward(), std::nullopt);
  EXPECT_EQ(h.Back(), G("二二"));
  EXPECT_EQ(h.Back(), G("一一"));
  EXPECT_EQ(h.Back(), std::nullopt);
  EXPECT_EQ(h.Forward(), G("二二"));
  // A new search becomes the newest and the one shown.
  h.Add(G("四四"));
  EXPECT_EQ(h.Forward(), std::nullopt);
  EXPECT_EQ(h.Back(), G("三三"));
}

TEST_F(HistoryTest, KeptAcrossRunsAtMostTheNewestThousand) {
  // 中 and one more double-byte character, different for each i.
  auto query = [](int i) { return G("中") + char(0xB0 + i / 94) + char(0xA1 + i % 94); };
  {
    TQueryHistory h(file_);
    h.Load();  // no file yet: empty, and no folder needed
    for (int i = 0; i < 3; ++i) h.Add(query(i));
  }
  EXPECT_EQ(FileBytes(), query(0) + "\n" + query(1) + "\n" + query(2) + "\n");
  // A longer file than the program writes keeps its newest lines.
  std::string lines;
  for (int i = 0; i < 1003; ++i) lines += query(i) + "\n";
  WriteFile(lines);
  {
    TQueryHistory h(file_);
    h.Load();
    EXPECT_EQ(h.Entries().size(), 1000u);
    h.Add(query(1003));
    h.Add(query(1004));
  }
  TQueryHistory again(file_);
  again.Load();
  ASSERT_EQ(again.Entries().size(), TQueryHistory::kLimit);
  std::string bytes = FileBytes();
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1000);
  // The newest first in a walk, the oldest five gone; a fresh run has no
  // search shown, so Back gives the newest.
  TQueryHistory reference;
  for (int i = 5; i < 1005; ++i) reference.Add(query(i));
  EXPECT_EQ(again.Entries(), reference.Entries());
  EXPECT_EQ(again.Back(), reference.Entries().back());
  // Written through a temporary file that does not stay behind; the lock
  // file stays, empty.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(file_).parent_path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"history", "history.lock"}));
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::others_read, fs::perms::none);
}

// Syncing the file can take a while, so adding a query does not write it:
// the window saves once its search is over, and the history when it goes.
TEST_F(HistoryTest, WrittenWhenAskedOrWhenItGoesAndOnlyAfterAChange) {
  {
    TQueryHistory h(file_);
    h.Load();
    h.Add(G("中国"));
    EXPECT_FALSE(fs::exists(file_));
    h.SaveIfChanged();
    EXPECT_EQ(FileBytes(), G("中国") + "\n");
    fs::remove(file_);
    h.Add(G("中国"));  // the newest already: nothing changed
    h.SaveIfChanged();
    EXPECT_FALSE(fs::exists(file_));
    h.Add(G("人民"));
  }
  EXPECT_EQ(FileBytes(), G("中国") + "\n" + G("人民") + "\n");
}

TEST_F(HistoryTest, BadLinesAreSkippedAndTheDamagedFileKept) {
  using Entries = std::deque<std::string>;
  const std::string good = G("中国") + "\n" + G("人民") + "\n";
  const std::pair<std::string, Entries> cases[] = {
      {G("中国") + "\n" + G("学生") + "\n" + G("人") + "\nhello\n" + G("龙") + "\n",
       {G("中国"), G("学生"), G("人"), G("龙")}},
      {good + "\n" + G("人民") + "\n", {G("中国"), G("人民"), G("人民")}},
      {std::string("\xD6\xD0\0\xB9\xFA\n", 6) + G("龙龙"), {G("龙龙")}},
      {std::string("\xD6"), {}},
  };
  for (const auto& [bad, kept] : cases) {
    WriteFile(bad);
    fs::remove(file_ + ".damaged");
    testing::internal::CaptureStderr();
    {
      TQueryHistory h(file_);
      h.Load();
      EXPECT_EQ(h.Entries(), kept);
      h.Add(G("新的"));
    }
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(file_), std::string::npos) << said;
    EXPECT_NE(said.find("skipped"), std::string::npos) << said;
    // Said once, though the file is read again when it is written.
    EXPECT_EQ(said.find("skipped"), said.rfind("skipped")) << said;
    EXPECT_EQ(Read(file_ + ".damaged"), bad);
    // The history written again holds the good lines and the new query.
    std::string expected;
    for (const std::string& q : kept) expected += q + "\n";
    EXPECT_EQ(FileBytes(), expected + G("新的") + "\n");
  }
  // A folder where the file should be: said so, and saving fails quietly
  // after saying it once.
  fs::remove(file_);
  fs::create_directories(file_);
  TQueryHistory h(file_);
  testing::internal::CaptureStderr();
  h.Load();
  h.Add(G("中国"));
  h.SaveIfChanged();
  h.Add(G("人民"));
  h.SaveIfChanged();
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(h.Entries().size(), 2u);
  EXPECT_NE(said.find("Is a directory"), std::string::npos) << said;
  EXPECT_EQ(said.find("cannot save"), said.rfind("cannot save")) << said;
  EXPECT_NE(said.find("cannot save"), std::string::npos) << said;

  // The good file loads, and nothing is kept aside.
  fs::remove_all(file_);
  fs::remove(file_ + ".damaged");
  WriteFile(good);
  TQueryHistory ok(file_);
  ok.Load();
  EXPECT_EQ(ok.Entries().size(), 2u);
  EXPECT_FALSE(fs::exists(file_ + ".damaged"));
}

// Two windows on one history, as when one runs without the session bus: each
// adds its queries to what the file holds when it writes.
TEST_F(HistoryTest, WritersKeepEachOthersQueries) {
  TQueryHistory a(file_), b(file_);
  a.Load();
  b.Load();
  a.Add(G("中国"));
  a.SaveIfChanged();
  b.Add(G("学生"));
  b.SaveIfChanged();
  a.Add(G("龙龙"));
  a.SaveIfChanged();
  EXPECT_EQ(FileBytes(), G("中国") + "\n" + G("学生") + "\n" + G("龙龙") + "\n");
  // What each window walks stays its own until it starts again.
  EXPECT_EQ(a.Entries(), (std::deque<std::string>{G("中国"), G("龙龙")}));

  // Processes writing at once lose nothing either.
  auto query = [](int writer, int i) {
    return G("中") + char(0xB0 + writer) + char(0xA1 + i);
  };
  constexpr int kWriters = 4, kEach = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      TQueryHistory h(file_);
      h.Load();
      for (int i = 0; i < kEach; ++i) {
        h.Add(query(w, i));
        while (!h.SaveIfChanged()) {  // the others held the lock a while
        }
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TQueryHistory all(file_);
  all.Load();
  EXPECT_EQ(all.Entries().size(), 3u + kWriters * kEach);
  for (int w = 0; w < kWriters; ++w) {
    std::vector<std::string> own;
    for (const std::string& q : all.Entries())
      if (q.size() == 4 && q[2] == char(0xB0 + w)) own.push_back(q);
    ASSERT_EQ(own.size(), std::size_t(kEach)) << w;
    for (int i = 0; i < kEach; ++i) EXPECT_EQ(own[i], query(w, i));  // in order
  }
}

// A history this user can't read (one left by the program run as root, say)
// is neither read nor replaced by this window's queries; a folder that can't
// be made says why.
TEST_F(HistoryTest, AHistoryThatCannotBeReadIsNeverWrittenOver) {
  const std::string kept = G("中国") + "\n" + G("学生") + "\n";
  WriteFile(kept);
  fs::permissions(dir_.Path(), fs::perms::all);
  fs::permissions(dir_ / "velmora", fs::perms::all);
  fs::permissions(file_, fs::perms::none);
  const std::string said = AsAnotherUser(dir_.Path(), [this] {
    TQueryHistory h(file_);
    h.Load();
    h.Add(G("人民"));
    h.SaveIfChanged();
    h.Add(G("龙龙"));
  });
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(FileBytes(), kept);
  EXPECT_NE(said.find("cannot read the history (Permission denied)"), std::string::npos)
      << said;
  EXPECT_NE(said.find("cannot save the history"), std::string::npos) << said;
  EXPECT_EQ(said.find("cannot save"), said.rfind("cannot save")) << said;

  // A home the user can't write: the reason is the permission.
  fs::create_directories(dir_ / "home");
  fs::permissions(dir_ / "home", fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
  if (::geteuid() != 0)
    fs::permissions(dir_ / "home", fs::perms::owner_write, fs::perm_options::remove);
  const std::string home = AsAnotherUser(dir_.Path(), [this] {
    TQueryHistory h((dir_ / "home/.local/state/velmora/history").string());
    h.Add(G("人民"));
  });
  EXPECT_NE(home.find("cannot save the history (cannot make the folder"),
            std::string::npos)
      << home;
  EXPECT_NE(home.find("Permission denied"), std::string::npos) << home;
}

// A query the file can't hold is searched but not kept: one too long for a
// history the program reads back, one with a line break that would make two.
TEST_F(HistoryTest, OnlyQueriesTheFileCanHoldAreKept) {
  std::string huge;
  while (huge.size() < (1u << 20)) huge += G("中国");
  const std::string longest(TQueryHistory::kMaxQueryBytes, '\xD6');
  {
    TQueryHistory h(file_);
    h.Load();
    h.Add(G("学生"));
    h.Add(huge);
    h.Add(huge.substr(0, TQueryHistory::kMaxQueryBytes + 2));
    EXPECT_EQ(h.Back(), G("学生"));  // the one before the search shown
    h.Add(G("人民") + "\n" + G("中国"));
    h.Add(G("人民") + "\r");
    h.Add(longest);
    EXPECT_EQ(h.Entries(), (std::deque<std::string>{G("学生"), longest}));
  }
  EXPECT_EQ(FileBytes(), G("学生") + "\n" + longest + "\n");
  // A longer line in the file is damage, kept aside with the rest.
  const std::string damaged = G("学生") + "\n" + std::string(1001, '\xD6') + "\n";
  WriteFile(damaged);
  testing::internal::CaptureStderr();
  TQueryHistory again(file_);
  again.Load();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(again.Entries(), std::deque<std::string>{G("学生")});
  EXPECT_NE(said.find("line 2 is not a query"), std::string::npos) << said;
  EXPECT_EQ(Read(file_ + ".damaged"), damaged);
}

// Each damage goes to a file of its own, never over one kept before; the
// same damage seen by two windows is kept once.
TEST_F(HistoryTest, EveryDamagedCopyIsKept) {
  const std::string first = G("中国") + "\nfirst\n", second = G("中国") + "\nsecond\n";
  testing::internal::CaptureStderr();
  for (const std::string& damage : {first, second, second}) {
    WriteFile(damage);
    TQueryHistory h(file_);
    h.Load();
  }
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Read(file_ + ".damaged"), first);
  EXPECT_EQ(Read(file_ + ".damaged.2"), second);
  EXPECT_FALSE(fs::exists(file_ + ".damaged.3"));
  EXPECT_NE(said.find("kept in " + file_ + ".damaged.2"), std::string::npos) << said;
}

// On a disk too full for the damaged file's copy, the damaged file stays as
// it is: writing the good lines over it would lose the rest.
TEST_F(HistoryTest, DamageThatCannotBeKeptAsideIsNotWrittenOver) {
  test::TSmallDisk disk(64);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  const std::string file = (disk / "history").string();
  const std::string damaged = G("中国") + "\n" + std::string(20000, 'x') + "\n";
  disk.Write("history", damaged);
  disk.Fill(8192);
  testing::internal::CaptureStderr();
  {
    TQueryHistory h(file);
    h.Load();
    EXPECT_EQ(h.Entries(), std::deque<std::string>{G("中国")});
    h.Add(G("人民"));
  }
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Read(file), damaged);
  EXPECT_FALSE(fs::exists(file + ".damaged"));
  EXPECT_NE(said.find("could not be kept aside (No space left on device)"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("cannot save the history"), std::string::npos) << said;
}

// A window stopped (Ctrl+Z) while it held the lock: the others' saves give
// up after a moment instead of waiting for it, and save later.
TEST_F(HistoryTest, AStoppedWindowHoldingTheLockFreezesNoOther) {
  fs::create_directories(dir_ / "velmora");
  const std::string lockName = file_ + ".lock";
  const pid_t stopped = ::fork();
  if (stopped == 0) {
    const int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) ::_exit(1);
    ::raise(SIGSTOP);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(stopped, &status, WUNTRACED), stopped);
  ASSERT_TRUE(WIFSTOPPED(status));
  TQueryHistory h(file_);
  h.Load();
  h.Add(G("中国"));
  auto save = std::async(std::launch::async, [&h] { return h.SaveIfChanged(); });
  const bool returned =
      save.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  EXPECT_TRUE(returned) << "the save waited for the stopped window";
  ::kill(stopped, SIGKILL);
  ::waitpid(stopped, &status, 0);
  EXPECT_FALSE(save.get());  // not saved, to be tried again
  EXPECT_FALSE(fs::exists(file_));
  EXPECT_TRUE(h.SaveIfChanged());
  EXPECT_EQ(FileBytes(), G("中国") + "\n");
}

TEST_F(HistoryTest, LeftoversLinksAndALockFolder) {
  // What a save that crashed left is cleared away by the next one.
  WriteFile(G("中国") + "\n");
  dir_.Write("velmora/history.new-4242", "half");
  dir_.Write("velmora/history.new-77-1", "half");
  dir_.Write("velmora/history.newer", "someone's");
  {
    TQueryHistory h(file_);
    h.Load();
    h.Add(G("人民"));
  }
  EXPECT_FALSE(fs::exists(file_ + ".new-4242"));
  EXPECT_FALSE(fs::exists(file_ + ".new-77-1"));
  EXPECT_TRUE(fs::exists(file_ + ".newer"));

  // A history that is a link to a file kept elsewhere is written there.
  const std::string elsewhere = dir_.Write("dotfiles/history", G("学生") + "\n");
  fs::remove(file_);
  fs::create_symlink(elsewhere, file_);
  {
    TQueryHistory h(file_);
    h.Load();
    h.Add(G("龙龙"));
  }
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(Read(elsewhere), G("学生") + "\n" + G("龙龙") + "\n");

  // A folder in the lock's place: no save without the lock, and said why.
  fs::remove(file_);
  fs::remove(file_ + ".lock");
  fs::create_directory(file_ + ".lock");
  testing::internal::CaptureStderr();
  {
    TQueryHistory h(file_);
    h.Add(G("人民"));
  }
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(fs::exists(file_));
  EXPECT_NE(said.find("history.lock: Is a directory"), std::string::npos) << said;
}

TEST_F(HistoryTest, FoldersFollowTheXdgVariables) {
  // The variables as they were, put back at the end.
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : {"XDG_STATE_HOME", "XDG_CONFIG_HOME", "HOME"}) {
    const char* value = std::getenv(name);
    saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  setenv("XDG_STATE_HOME", "/s", 1);
  EXPECT_EQ(StateFolder(), "/s/velmora");
  setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
  setenv("HOME", "/h", 1);
  EXPECT_EQ(StateFolder(), "/h/.local/state/velmora");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(StateFolder(), "/h/.local/state/velmora");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigFolder(), "/h/.config/velmora");
  setenv("XDG_CONFIG_HOME", "/c", 1);
  EXPECT_EQ(ConfigFolder(), "/c/velmora");
  unsetenv("HOME");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigFolder(), "");
  for (auto& [name, value] : saved) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
}

}  // namespace
}  // namespace velmora
