// Runs the built velmora-lookup on dictionaries written by the test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class LookupTest : public ::testing::Test {
 protected:
  LookupTest() {
    std::string pattern = (fs::temp_directory_path() / "velmora-lookup-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  ~LookupTest() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  void WriteAll(const std::string& f2) {
    for (const char* name : {"1.sr", "3.sr", "4.sr", "5.sr"}) Write(name, "");
    Write("2.sr", f2);
  }

  // Runs the tool with the arguments (already quoted for the shell).
  TRun Run(const std::string& args) {
    const fs::path err = dir_ / "stderr.txt";
    const std::string command =
        std::string("'") + VELMORA_LOOKUP + "' " + args + " 2>'" + err.string() + "'";
    TRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
      run.Out.append(buf, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err);
    run.Err.assign(std::istreambuf_iterator<char>(in), {});
    return run;
  }
  std::string InDir() const { return "-C '" + dir_.string() + "' "; }

  fs::path dir_;
};

// 中国：<a href="Map.gif">Map</a> 中国 in GBK, with a CR LF line end.
const std::string kEntry =
    "\xD6\xD0\xB9\xFA\xA3\xBA<A HREF=\"Map.gif\">Map</A> \xD6\xD0\xB9\xFA\r\n";

TEST_F(LookupTest, JsonDescribesTheView) {
  WriteAll(kEntry);
  const TRun run = Run(InDir() + "--json '中国'");
  EXPECT_EQ(run.Status, 0);
  // Heading 您所查询的 「中国」相关内容： and its line break.
  EXPECT_EQ(
      run.Out.substr(0, 14 + 62),
      "{\"text_hex\": \"c4facbf9b2e9d1afb5c420a1b8d6d0b9faa1b9cfe0b9d8c4dac8dda3ba0d0a");
  EXPECT_NE(
      run.Out.find("\"text\": \"您所查询的 「中国」相关内容：\\r\\n搜寻完毕!\\n\\r\\n"
                   "中国：\\r\\n      file://map.gif map 中国\\r\\n"),
      std::string::npos)
      << run.Out;
  EXPECT_NE(
      run.Out.find("{\"start\": 0, \"length\": 13, \"color\": \"#0000ff\", \"bold\": "
                   "true, \"italic\": false, \"underline\": false, \"strikeout\": "
                   "false}"),
      std::string::npos);
  EXPECT_NE(
      run.Out.find("{\"start\": 13, \"length\": 4, \"color\": \"#ff7777\", \"bold\": "
                   "true, \"italic\": false, \"underline\": true, \"strikeout\": "
                   "false}"),
      std::string::npos);
  // The explanation line starts at 51: six spaces, then the link.
  EXPECT_NE(run.Out.find("\"links\": [{\"start\": 57, \"length\": 14}]"),
            std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("\"found\": true}"), std::string::npos);
}

TEST_F(LookupTest, ExitStatusFollowsTheOutcome) {
  WriteAll(kEntry);
  TRun run = Run(InDir() + "--plain '天地'");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Out.find("搜寻完毕!\n"), std::string::npos);
  EXPECT_NE(run.Out.find("https://velmora.example/download"), std::string::npos);

  run = Run(InDir() + "--json abc");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Out.find("\"text\": \"请输入正确搜寻字符串\\r\\n\""), std::string::npos);
  EXPECT_NE(run.Out.find("\"found\": false"), std::string::npos);

  fs::remove(dir_ / "3.sr");
  run = Run(InDir() + "--plain '中国'");
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Out.substr(0, run.Out.find('\n')), "开启辞典失败3.sr");
  fs::remove(dir_ / "2.sr");
  run = Run(InDir() + "--plain '中国'");
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Out, "开启辞典失败，请检查sr档案是否存在\n");
}

TEST_F(LookupTest, QueryConversionAndRawBytes) {
  WriteAll(kEntry);
  // The emoji has no GBK form, becomes "?" and is cleaned away.
  TRun run = Run(InDir() + "--plain '中国😀'");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.substr(0, run.Out.find('\n')), "您所查询的 「中国」相关内容：");
  run = Run(InDir() + "--plain --raw \"$(printf '\\326\\320\\271\\372')\"");
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("      file://map.gif map 中国\n"), std::string::npos);
  // Invalid UTF-8 becomes "?", which the cleaning removes.
  run = Run(InDir() + "--plain \"$(printf '\\377\\376')\"");
  EXPECT_EQ(run.Status, 2);
}

TEST_F(LookupTest, HtmlIsAStandalonePageWithLinks) {
  WriteAll(kEntry);
  const TRun run = Run(InDir() + "--html '中国'");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(run.Out.find("<a href=\"file://" + fs::canonical(dir_).string() +
                         "/map.gif\"><span style=\"color:#006a00;font-weight:bold;\">"
                         "file://map.gif</span></a>"),
            std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("</html>"), std::string::npos);
}

TEST_F(LookupTest, CommandLineErrors) {
  TRun run = Run("--help");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("Usage: velmora-lookup", 0), 0u);
  run = Run("");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("no QUERY"), std::string::npos);
  run = Run("--bogus x");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("unknown option --bogus"), std::string::npos);
  run = Run("--json --html x");
  EXPECT_EQ(run.Status, 2);
  run = Run("-C '" + (dir_ / "nowhere").string() + "' x");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("can't enter folder"), std::string::npos);
  EXPECT_EQ(run.Out, "");
}

}  // namespace
