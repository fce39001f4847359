#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "app/History.h"
#include "platform/classes/Gbk.h"
#include "tests/TempFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string G(const char* utf8) {
  return gbk::FromUtf8(utf8);
}

class HistoryTest : public ::testing::Test {
 protected:
  std::string FileBytes() const {
    std::ifstream in(file_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteFile(const std::string& bytes) { dir_.Write("velmora/history", bytes); }

  test::TTempFolder dir_{"velmora-history"};
  std::string file_ = (dir_ / "velmora/history").string();
};

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
    std::ifstream damaged(file_ + ".damaged", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(damaged), {}), bad);
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
  EXPECT_NE(said.find("not a regular file"), std::string::npos) << said;
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
        h.SaveIfChanged();
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
