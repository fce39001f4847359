#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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
  // Written through a temporary file that does not stay behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file_).parent_path()),
                          fs::directory_iterator()),
            1);
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

TEST_F(HistoryTest, DamagedOrUnreadableFileIsIgnoredWithAMessage) {
  const std::string good = G("中国") + "\n" + G("人民") + "\n";
  for (const std::string& bad :
       {good + "abc\n", good + "\n" + G("人民") + "\n",
        std::string("\xD6\xD0\0\xB9\xFA\n", 5), std::string("\xD6")}) {
    WriteFile(bad);
    TQueryHistory h(file_);
    testing::internal::CaptureStderr();
    h.Load();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(h.Entries().empty());
    EXPECT_NE(said.find(file_), std::string::npos) << said;
    EXPECT_NE(said.find("damaged"), std::string::npos) << said;
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

  // The good file loads.
  fs::remove_all(file_);
  WriteFile(good);
  TQueryHistory ok(file_);
  ok.Load();
  EXPECT_EQ(ok.Entries().size(), 2u);
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
