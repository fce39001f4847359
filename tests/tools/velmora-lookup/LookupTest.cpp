// Runs the built velmora-lookup on dictionaries written by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gif/GIFImage.h"
#include "platform/classes/Classes.h"
#include "platform/classes/Gbk.h"
#include "tests/SmallDisk.h"
#include "tests/TempFolder.h"
#include "tests/strokes/StrokeRecord.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
  long long MaxRss = 0;  // peak resident memory in bytes
};

class LookupTest : public ::testing::Test {
 protected:
  void Write(const fs::path& name, const std::string& bytes) { dir_.Write(name, bytes); }
  // A dictionary in folder (the test's own by default): 2.sr holding f2, the
  // other files empty.
  void WriteAll(const std::string& f2, const fs::path& folder = {}) {
    for (const char* name : {"1.sr", "3.sr", "4.sr", "5.sr"}) Write(folder / name, "");
    Write(folder / "2.sr", f2);
  }
  // The bundled stroke data, linked into folder.
  static void LinkStrokes(const fs::path& folder) {
    fs::create_symlink(fs::path(VELMORA_DATA_DIR) / "strokes.bin",
                       folder / "strokes.bin");
  }

  // Runs the tool with the arguments (already quoted for the shell), the
  // environment settings and the bytes for its standard input.
  TRun Run(const std::string& args, const std::string& env = "",
           const std::string& input = "") {
    Write("stdin.txt", input);
    return Exec(args, env, dir_ / "stdin.txt");
  }
  // The same with standard output on a pseudo-terminal.
  TRun RunOnTerminal(const std::string& args, const std::string& env) {
    return Exec(args, "-u NO_COLOR " + env, {}, true);
  }
  // The tool run from cwd_ through the shell, standard input from in (or the
  // terminal), under a limit of its address space (none when 0).
  TRun Exec(const std::string& args, const std::string& env, const fs::path& in,
            bool terminal = false, rlim_t addressSpace = 0) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string command = "cd '" + cwd_.string() + "' && exec env " + env + " '" +
                                tool_.string() + "' " + args;
    int master = -1;
    const pid_t pid = terminal ? ::forkpty(&master, nullptr, nullptr, nullptr) : ::fork();
    if (pid == 0) {
      if (addressSpace) {
        const rlimit limit{addressSpace, addressSpace};
        ::setrlimit(RLIMIT_AS, &limit);
      }
      if (!terminal) {
        const int fds[3] = {::open(in.c_str(), O_RDONLY),
                            ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                            ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
        for (int i = 0; i < 3; ++i) ::dup2(fds[i], i);
      }
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    TRun run;
    char buf[4096];
    for (ssize_t n; terminal && (n = ::read(master, buf, sizeof buf)) > 0;)
      run.Out.append(buf, std::size_t(n));
    if (terminal) ::close(master);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.MaxRss = usage.ru_maxrss * 1024LL;
    if (!terminal) {
      std::ifstream outIn(out), errIn(err);
      run.Out.assign(std::istreambuf_iterator<char>(outIn), {});
      run.Err.assign(std::istreambuf_iterator<char>(errIn), {});
    }
    return run;
  }
  std::string InDir() const { return "-C '" + dir_.Path().string() + "' "; }

  velmora::test::TTempFolder dir_{"velmora-lookup"};
  // A PATH on which velmora-gif is found.
  const std::string onPath =
      "PATH='" + fs::path(VELMORA_GIF).parent_path().string() + ":/usr/bin:/bin'";
  // The program run and the folder it runs in.
  fs::path tool_ = VELMORA_LOOKUP;
  fs::path cwd_ = fs::current_path();
};

// 中国：<a href="Map.gif">Map</a> 中国 in GBK, with a CR LF line end.
const std::string kEntry =
    "\xD6\xD0\xB9\xFA\xA3\xBA<A HREF=\"Map.gif\">Map</A> \xD6\xD0\xB9\xFA\r\n";

TEST_F(LookupTest, JsonDescribesTheView) {
  WriteAll(kEntry);
  const TRun run = Run(InDir() + "--json '中国'");
  EXPECT_EQ(run.Status, 0);
  ASSERT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 1) << run.Out;
  const json view = json::parse(run.Out);
  // Heading 您所查询的 「中国」相关内容： and its line break.
  EXPECT_EQ(view["text_hex"].get<std::string>().substr(0, 62),
            "c4facbf9b2e9d1afb5c420a1b8d6d0b9faa1b9cfe0b9d8c4dac8dda3ba0d0a");
  EXPECT_EQ(view["text"],
            "您所查询的 「中国」相关内容：\r\n搜寻完毕!\n\r\n"
            "中国：\r\n      file://map.gif map 中国\r\n\r\n");
  EXPECT_EQ(view["spans"][0],
            json::parse(R"({"start": 0, "length": 13, "color": "#0000ff",
      "bold": true, "italic": false, "underline": false, "strikeout": false})"));
  EXPECT_EQ(view["spans"][1],
            json::parse(R"({"start": 13, "length": 4, "color": "#ff7777",
      "bold": true, "italic": false, "underline": true, "strikeout": false})"));
  // The explanation line starts at 51: six spaces, then the link.
  EXPECT_EQ(view["links"], json::parse(R"([{"start": 57, "length": 14}])"));
  EXPECT_EQ(view["found"], true);
  EXPECT_FALSE(view.contains("query"));
}

TEST_F(LookupTest, ExitStatusFollowsTheOutcome) {
  WriteAll(kEntry);
  TRun run = Run(InDir() + "--plain '天地'");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Out.find("搜寻完毕!\n"), std::string::npos);
  EXPECT_NE(run.Out.find("https://www.mdbg.net/chinese/dictionary?page=cedict"),
            std::string::npos);

  run = Run(InDir() + "--json abc");
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(json::parse(run.Out)["text"], "请输入正确搜寻字符串\r\n");
  EXPECT_EQ(json::parse(run.Out)["found"], false);

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

// The query is one line, as the window's box: a line break (a paste, a
// command substitution) ends it, for the standard search and the extended
// one, which also drops the spaces and tabs around it.
TEST_F(LookupTest, AQueryIsItsFirstLine) {
  WriteAll(kEntry);
  for (const char* args :
       {"--plain \"$(printf '中国\\nx')\"", "--plain \"$(printf '中国\\r\\n\\r\\n')x\"",
        "-x --plain \"$(printf ' \\t中国\\t\\nx')\""}) {
    const TRun run = Run(InDir() + args);
    EXPECT_EQ(run.Status, 0) << args;
    EXPECT_EQ(run.Out.substr(0, run.Out.find("\n\n")),
              "您所查询的 「中国」相关内容：\n搜寻完毕!")
        << args;
  }
}

// What GBK cannot hold is refused by the extended search, named, and never
// read as the wildcard "?" it became, which would list every one-character key.
TEST_F(LookupTest, TheExtendedSearchRefusesWhatGBKCannotHold) {
  WriteAll(kEntry);
  Write("1.sr", "\xD6\xD0\xA3\xBAmiddle\n");
  for (const auto& [arg, name] :
       {std::pair{"\"$(printf '\\377')\"", "0xFF"}, std::pair{"'😀'", "U+1F600"},
        std::pair{"'中ñ'", "U+00F1"}}) {
    const TRun run = Run(InDir() + "-x --plain " + arg);
    EXPECT_EQ(run.Status, 2) << arg;
    EXPECT_EQ(run.Out, std::string("查询含有 GBK 无法表示的字符：") + name + "\n") << arg;
  }
}

TEST_F(LookupTest, HtmlIsAStandalonePageWithLinks) {
  WriteAll(kEntry);
  // The link is shown lower-cased; the page links to the file as it is named.
  fs::create_directory(dir_ / "Pics");
  Write("Pics/Map.GIF", "GIF89a");
  Write("2.sr", "\xD6\xD0\xB9\xFA\xA3\xBA<a href=\"Pics/Map.GIF\">Map</a>\n" + kEntry);
  const TRun run = Run(InDir() + "--html '中国'");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("<!DOCTYPE html>", 0), 0u);
  const std::string folder = fs::canonical(dir_.Path()).string();
  EXPECT_NE(
      run.Out.find("<a href=\"file://" + folder +
                   "/Pics/Map.GIF\"><span style=\"color:#006a00;font-weight:bold;\">"
                   "file://pics/map.gif</span></a>"),
      std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("</html>"), std::string::npos);
}

// The window opens no link that leads out of the dictionary folder, nor one
// to a file that is not there; the page makes none of them clickable.
TEST_F(LookupTest, HtmlLinksOnlyWhatTheWindowWouldOpen) {
  const fs::path secret = dir_ / "secret.txt";
  Write("secret.txt", "secret");
  fs::create_directory(dir_ / "dict");
  // Which files lie inside the folder: LinkFolderTest.
  std::string entries;
  for (const char* target : {"../secret.txt", "none.txt", "ok.txt"})
    entries += std::string("\xD6\xD0\xB9\xFA\xA3\xBA<a href=\"") + target + "\">x</a>\n";
  WriteAll(entries + "\xD6\xD0\xB9\xFA\xA3\xBAhttp://example.org/a\n", "dict");
  Write("dict/ok.txt", "ok");
  const TRun run = Run("-C '" + (dir_ / "dict").string() + "' --html '中国'");
  EXPECT_EQ(run.Status, 0);
  const std::string folder = fs::canonical(dir_ / "dict").string();
  for (const char* plain : {"file://../secret.txt", "file://none.txt"}) {
    EXPECT_NE(run.Out.find(std::string(">") + plain + "</span>"), std::string::npos)
        << plain << "\n"
        << run.Out;
  }
  EXPECT_EQ(run.Out.find("secret.txt\">"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("none.txt\">"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("<a href=\"file://" + folder + "/ok.txt\">"), std::string::npos)
      << run.Out;
  // Links that are not files are the window's too.
  EXPECT_NE(run.Out.find("<a href=\"http://example.org/a\">"), std::string::npos);
}

TEST_F(LookupTest, ColourFollowsTheTerminalConventions) {
  WriteAll(kEntry);
  const std::string query = InDir() + "'中国'";
  auto coloured = [](const TRun& run) {
    return run.Out.find("\x1b[") != std::string::npos;
  };
  // Piped: no colour unless asked for; an explicit request beats NO_COLOR.
  EXPECT_FALSE(coloured(Run(query)));
  EXPECT_TRUE(coloured(Run("--color=always " + query)));
  EXPECT_TRUE(coloured(Run("--color " + query)));
  EXPECT_TRUE(coloured(Run("--color=always " + query, "NO_COLOR=1 TERM=dumb")));
  // On a terminal: colour, unless NO_COLOR is set and not empty, TERM is
  // dumb, or --color=never.
  EXPECT_TRUE(coloured(RunOnTerminal(query, "TERM=xterm")));
  EXPECT_TRUE(coloured(RunOnTerminal(query, "TERM=xterm NO_COLOR=")));
  EXPECT_FALSE(coloured(RunOnTerminal(query, "TERM=xterm NO_COLOR=1")));
  EXPECT_FALSE(coloured(RunOnTerminal(query, "TERM=dumb")));
  EXPECT_FALSE(coloured(RunOnTerminal("--color=never " + query, "TERM=xterm")));
  EXPECT_TRUE(coloured(RunOnTerminal("--color=auto " + query, "TERM=xterm")));
  // Colour is for the terminal view only.
  TRun run = Run("--color=always --json " + query);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("--color=always"), std::string::npos);
  run = Run("--color=sometimes " + query);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("auto, always or never"), std::string::npos);
}

// The terminal's own palette by default, which every theme keeps readable;
// the window's 24-bit colours only when asked for or when COLORTERM says the
// terminal has them.
TEST_F(LookupTest, TerminalColoursComeFromThePaletteUnlessTrueColour) {
  WriteAll(kEntry);
  const std::string query = InDir() + "'中国'";
  const std::string keyBlue = "\x1b[34;1m", keyMarked = "\x1b[31;1;4m",
                    explanationGreen = "\x1b[32;1m";
  auto palette = [&](const TRun& run) {
    return run.Out.find(keyBlue) != std::string::npos &&
           run.Out.find(keyMarked) != std::string::npos &&
           run.Out.find(explanationGreen) != std::string::npos &&
           run.Out.find("38;2;") == std::string::npos;
  };
  auto trueColour = [](const TRun& run) {
    return run.Out.find("\x1b[38;2;0;0;255;1m") != std::string::npos &&
           run.Out.find("\x1b[38;2;0;106;0;1m") != std::string::npos &&
           run.Out.find("\x1b[38;2;255;119;119;1;4m") != std::string::npos;
  };
  EXPECT_TRUE(palette(RunOnTerminal(query, "-u COLORTERM TERM=xterm")));
  EXPECT_TRUE(palette(Run("--color=always " + query, "-u COLORTERM")));
  EXPECT_TRUE(palette(Run("--color=always " + query, "COLORTERM=yes")));
  EXPECT_TRUE(trueColour(RunOnTerminal(query, "COLORTERM=truecolor TERM=xterm")));
  EXPECT_TRUE(trueColour(Run("--color=always " + query, "COLORTERM=24bit")));
  EXPECT_TRUE(trueColour(Run("--color=always --colors=24bit " + query, "-u COLORTERM")));
  EXPECT_TRUE(
      palette(Run("--color=always --colors=terminal " + query, "COLORTERM=truecolor")));
  // Choosing the colours does not switch colour on.
  EXPECT_EQ(Run("--colors=24bit " + query).Out.find("\x1b["), std::string::npos);
  EXPECT_EQ(Run("--colors=many " + query).Status, 2);
}

TEST_F(LookupTest, BatchGivesOneResultPerQuery) {
  WriteAll(kEntry);
  // A too-short query in the middle gets its message and the batch goes on;
  // a CR before the line feed is dropped.
  TRun run = Run(InDir() + "--batch --json", "", "中国\nabc\r\n天地\n国\xD6\n");
  EXPECT_EQ(run.Status, 0);
  std::vector<json> results;
  std::istringstream lines(run.Out);
  for (std::string line; std::getline(lines, line);) results.push_back(json::parse(line));
  ASSERT_EQ(results.size(), 4u) << run.Out;
  EXPECT_EQ(results[0]["query"], "中国");
  EXPECT_EQ(results[0]["found"], true);
  EXPECT_EQ(
      nlohmann::ordered_json::parse(run.Out.substr(0, run.Out.find('\n'))).begin().key(),
      "query");
  EXPECT_EQ(results[1]["query"], "abc");
  EXPECT_EQ(results[1]["text"], "请输入正确搜寻字符串\r\n");
  EXPECT_EQ(results[1]["found"], false);
  EXPECT_EQ(results[2]["query"], "天地");
  EXPECT_EQ(results[2]["found"], false);
  EXPECT_NE(results[2]["text"].get<std::string>().find("搜寻完毕!"), std::string::npos);
  // Invalid UTF-8 is searched as "?" and reported as a replacement character.
  EXPECT_EQ(results[3]["query"], "国\uFFFD");
  EXPECT_EQ(results[3]["found"], true);

  // Plain views, each followed by a form feed line; nothing found: 1.
  run = Run(InDir() + "--batch --plain", "", "天地\n\n");
  EXPECT_EQ(run.Status, 1);
  const std::size_t ff = run.Out.find("\f\n");
  ASSERT_NE(ff, std::string::npos);
  EXPECT_EQ(run.Out.substr(ff + 2), "请输入正确搜寻字符串\n\f\n");
  EXPECT_EQ(run.Out.substr(0, ff), Run(InDir() + "--plain '天地'").Out);

  // GBK queries with --raw; the query is reported in UTF-8.
  run = Run(InDir() + "--batch --json --raw", "", "\xD6\xD0\xB9\xFA\n");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(json::parse(run.Out)["query"], "中国");

  // A missing file is trouble, whatever was found.
  fs::remove(dir_ / "3.sr");
  run = Run(InDir() + "--batch --json", "", "中国\n中国\n");
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 2);

  // Input that can't be read is trouble, not "nothing found".
  run = Exec(InDir() + "--batch --json", "", dir_.Path());
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("can't read the queries"), std::string::npos) << run.Err;

  run = Run("--batch x");
  EXPECT_EQ(run.Status, 2);
  run = Run("--batch --html");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("--plain or --json"), std::string::npos);
}

// A 3 GiB 2.sr (sparse: one line of NULs) under a 2 GiB address space: read
// in pieces, it gives the search's ordinary answer, the other files' entries.
TEST_F(LookupTest, AFileLargerThanMemoryIsSearchedInPieces) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  WriteAll("");
  Write("3.sr", "\xD6\xD0\xB9\xFA\xC8\xCB\xA3\xBArenmin\n");  // 中国人：
  fs::resize_file(dir_ / "2.sr", std::uintmax_t(3) << 30);
  const TRun run =
      Exec(InDir() + "--plain 中国", "", "/dev/null", false, rlim_t(2) << 30);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "您所查询的 「中国」相关内容：\n搜寻完毕!\n\n中国人：\n      renmin\n\n");
  EXPECT_LT(run.MaxRss, 256 << 20);
}

// Memory that runs out all the same (here: the view of a listing of every
// line of a file) is reported with the file being searched, status 2.
TEST_F(LookupTest, MemoryThatRunsOutIsReportedWithTheFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  std::string lines;
  for (int i = 0; i < 1 << 16; ++i)
    lines += "\xD6\xD0\xB9\xFA\xA3\xBA" + std::string(990, 'x') + "\n";
  WriteAll(lines);
  const TRun run =
      Exec(InDir() + "--plain 中国", "", "/dev/null", false, rlim_t(128) << 20);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "velmora-lookup: Out of memory while searching 2.sr in " +
                         dir_.Path().string() + "\n");
}

// A query line of --batch beyond the stated limit ends the batch, named,
// without being held.
TEST_F(LookupTest, BatchRefusesAnOverlongLine) {
  WriteAll(kEntry);
  const std::string longest(65536, 'a');
  Write("in.txt", "中国\n" + longest + "\r\n" + longest + "a\n中国\n");
  TRun run = Exec(InDir() + "--batch --json", "", dir_ / "in.txt");
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 2) << run.Out.size();
  EXPECT_EQ(run.Err,
            "velmora-lookup: line 3 of standard input is longer than 65536 bytes; "
            "stopped there\n");

  // 64 MiB of one line: passed over, never held.
  {
    std::ofstream in(dir_ / "in.txt", std::ios::binary);
    in << "中国\n";
    const std::string block(1 << 20, 'b');
    for (int i = 0; i < 64; ++i) in << block;
    in << "\n";
  }
  run = Exec(InDir() + "--batch --json", "", dir_ / "in.txt");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("line 2 of standard input"), std::string::npos) << run.Err;
  // Holding the line would take its 64 MiB on top of the process's own
  // (which the address sanitizer makes larger).
#if defined(__SANITIZE_ADDRESS__)
  constexpr long kBound = 96L << 20;
#else
  constexpr long kBound = 48L << 20;
#endif
  EXPECT_LT(run.MaxRss, kBound);
}

TEST_F(LookupTest, CommandLineErrors) {
  TRun run = Run("--help");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("Usage: velmora-lookup", 0), 0u);
  // Help that can't be written is no success either.
  run = Run("--help >/dev/full");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("cannot write to standard output: No space left on device"),
            std::string::npos)
      << run.Err;
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
  EXPECT_NE(run.Err.find("cannot enter the dictionary folder"), std::string::npos);
  EXPECT_EQ(run.Out, "");
}

// What the extended search finds is the dict tests' matter; here, that -x
// and --extended turn it on.
TEST_F(LookupTest, ExtendedSearchReadsPinyin) {
  // 中国：[Zhong1 guo2] China, in GBK.
  WriteAll("\xD6\xD0\xB9\xFA\xA3\xBA[Zhong1 guo2] China\n");
  // Without -x the letters are cleaned away, as the window does by default.
  TRun run = Run(InDir() + "--plain zhongguo");
  EXPECT_EQ(run.Status, 2);
  for (const char* args : {"-x --plain zhongguo", "--extended --plain 'zhōng guó'"}) {
    run = Run(InDir() + args);
    EXPECT_EQ(run.Status, 0) << args;
    // As learners read it: tone marks, the letters' own case.
    EXPECT_EQ(run.Out.substr(run.Out.find("\n\n") + 2, 40),
              "中国：\n      [Zhōng guó] China\n\n")
        << args;
  }
  run = Run(InDir() + "-x --plain 'nothing at all'");
  EXPECT_EQ(run.Status, 1);
}

// An installed layout: the program in PREFIX/bin, the dictionary in
// PREFIX/share/velmora, run from a folder that holds no dictionary.
TEST_F(LookupTest, DictionaryFolderOrder) {
  const fs::path prefix = dir_ / "prefix";
  fs::create_directories(prefix / "bin");
  fs::copy_file(tool_, prefix / "bin" / "velmora-lookup");
  WriteAll("\xD6\xD0\xB9\xFA\xA3\xBAinstalled\n", prefix / "share" / "velmora");
  for (const char* folder : {"option", "variable", "current"})
    WriteAll("\xD6\xD0\xB9\xFA\xA3\xBA" + std::string(folder) + "\n", folder);
  fs::create_directories(dir_ / "elsewhere");
  tool_ = prefix / "bin" / "velmora-lookup";
  const std::string unset = "-u VELMORA_DICTIONARY";
  const std::string variable =
      "VELMORA_DICTIONARY='" + (dir_ / "variable").string() + "'";
  auto explanation = [](const TRun& run) {
    const std::size_t at = run.Out.find("      ");
    return at == std::string::npos
               ? run.Out
               : run.Out.substr(at + 6, run.Out.find('\n', at) - at - 6);
  };

  cwd_ = dir_ / "elsewhere";
  TRun run = Run("--plain '中国'", unset);
  EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
  EXPECT_EQ(explanation(run), "installed");
  // It says which folder it uses when that is not the one it was run in.
  EXPECT_NE(run.Err.find((prefix / "share" / "velmora").string()), std::string::npos)
      << run.Err;
  EXPECT_EQ(explanation(Run("--plain '中国'", variable)), "variable");
  run = Run("-C '" + (dir_ / "option").string() + "' --plain '中国'", variable);
  EXPECT_EQ(explanation(run), "option");
  EXPECT_EQ(run.Err, "");

  // A current folder that holds any of the files is the dictionary, as it
  // always was, even when that file is the wrong one for the query.
  cwd_ = dir_ / "current";
  EXPECT_EQ(explanation(Run("--plain '中国'", unset)), "current");
  fs::remove(dir_ / "current" / "2.sr");
  run = Run("--plain '中国'", unset);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Out, "开启辞典失败，请检查sr档案是否存在\n");
  EXPECT_NE(run.Err.find("2.sr in " + (dir_ / "current").string()), std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("No such file or directory"), std::string::npos) << run.Err;
}

// The bytes of the first data: URL of a GIF in the page; empty when there is
// none.
std::string EmbeddedGif(const std::string& page) {
  const std::string prefix = "<img src=\"data:image/gif;base64,";
  const std::size_t start = page.find(prefix);
  if (start == std::string::npos) return {};
  const std::size_t from = start + prefix.size();
  const std::string text = page.substr(from, page.find('"', from) - from);
  const std::string digits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const std::size_t value = digits.find(c);
    if (value == std::string::npos) ADD_FAILURE() << "not Base64: " << c;
    bits = bits << 6 | unsigned(value & 63);
    if ((count += 6) >= 8) bytes += char((bits >> (count -= 8)) & 0xFF);
  }
  return bytes;
}

// One character with stroke data: the page shows its stroke order, drawn by
// velmora-gif (beside the program, else on PATH). Anything else, or no
// velmora-gif to run, gives the same page without it.
TEST_F(LookupTest, HtmlEmbedsTheStrokeOrderOfOneCharacter) {
  WriteAll(kEntry + "\xD6\xD0\xA3\xBAmiddle\n");
  LinkStrokes(dir_.Path());
  const std::string noTool = "PATH=/usr/bin:/bin";

  const TRun withPicture = Run(InDir() + "--html '中'", onPath);
  EXPECT_EQ(withPicture.Status, 0);
  EXPECT_EQ(withPicture.Err, "");
  const std::string gif = EmbeddedGif(withPicture.Out);
  ASSERT_FALSE(gif.empty()) << withPicture.Out.substr(0, 600);
  velmora::TReadOnlyMemoryStream stream(gif.data(), gif.size());
  velmora::TGIFImage image;
  image.LoadFromStream(stream);
  EXPECT_EQ(image.GetWidth(), 256);
  EXPECT_GT(image.Images->GetCount(), 4);

  // The page is otherwise the one written without the picture.
  const TRun without = Run(InDir() + "--html '中'", noTool);
  EXPECT_EQ(without.Status, 0);
  EXPECT_EQ(without.Err, "");
  EXPECT_EQ(EmbeddedGif(without.Out), "");
  const std::size_t img = withPicture.Out.find("<img ");
  EXPECT_EQ(withPicture.Out.substr(0, img) +
                withPicture.Out.substr(withPicture.Out.find('\n', img) + 1),
            without.Out);

  // Two characters, a character without strokes, or the other views: none.
  EXPECT_EQ(EmbeddedGif(Run(InDir() + "--html '中国'", onPath).Out), "");
  EXPECT_EQ(EmbeddedGif(Run(InDir() + "--html '：'", onPath).Out), "");
  EXPECT_EQ(Run(InDir() + "--plain '中'", onPath).Out,
            Run(InDir() + "--plain '中'", noTool).Out);

  // A folder without stroke data: the page without it, nothing on stderr.
  fs::remove(dir_ / "strokes.bin");
  const TRun noData = Run(InDir() + "--html '中'", onPath);
  EXPECT_EQ(noData.Out, without.Out);
  EXPECT_EQ(noData.Err, "");

  // Installed together, velmora-gif beside velmora-lookup is found without
  // PATH; the folder given to it is the dictionary's, not the current one.
  LinkStrokes(dir_.Path());
  const fs::path bin = dir_ / "bin";
  fs::create_directories(bin);
  fs::copy_file(tool_, bin / "velmora-lookup");
  fs::create_symlink(VELMORA_GIF, bin / "velmora-gif");
  tool_ = bin / "velmora-lookup";
  cwd_ = bin;
  EXPECT_EQ(EmbeddedGif(Run(InDir() + "--html '中'", noTool).Out), gif);
}

// The lines of text.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The first candidate of an answer line.
std::string First(const std::string& line) {
  return line.substr(0, line.find(' '));
}

TEST_F(LookupTest, HandwritingAnswersEachDrawingAndNamesTheLinesThatAreNot) {
  LinkStrokes(dir_.Path());
  // A drawing of 十, in any box, and with CR LF; then what is not a
  // drawing: not JSON, no points, a point that is not [x, y], too many
  // strokes, too many points, a line of megabytes (a million points).
  auto list = [](const std::string& item, int count) {
    std::string text = item;
    for (int i = 1; i < count; ++i) text += "," + item;
    return "[" + text + "]";
  };
  const std::string many = list("[[0,0],[9,9]]", 65);
  const std::string dense = "[" + list("[1,2]", 200000) + "]";
  const std::string huge = "[" + list("[1,2]", 1000000) + "]";
  const std::string input =
      "[[[10,50],[90,50]],[[50,10],[50,90]]]\n"
      "[[[-3e3,0.5],[-1e3,0.5]],[[-2e3,-1e3],[-2e3,2e3]]]\r\n"
      "{\"x\": 1}\n[]\n[[],[]]\n[[[1,2,3]]]\n[[[1,\"2\"]]]\n" +
      many + "\n" + dense + "\n" + huge + "\n[[[10,50],[90,50]]]";
  const TRun run = Run(InDir() + "--handwriting -", "", input);
  EXPECT_EQ(run.Status, 2);
  const std::vector<std::string> out = Lines(run.Out);
  ASSERT_EQ(out.size(), 11u) << run.Out;
  EXPECT_EQ(First(out[0]), "十");
  EXPECT_EQ(std::count(out[0].begin(), out[0].end(), ' '), 9) << out[0];
  EXPECT_EQ(First(out[1]), "十");
  for (std::size_t i = 2; i < 10; ++i) EXPECT_EQ(out[i], "") << i;
  EXPECT_EQ(First(out[10]), "一");
  const std::vector<std::string> err = Lines(run.Err);
  ASSERT_EQ(err.size(), 8u) << run.Err;
  const char* const why[] = {"line 3: not an array of strokes",
                             "line 4: the drawing has no points",
                             "line 5: the drawing has no points",
                             "line 6: stroke 1, point 1 is not [x, y]",
                             "line 7: stroke 1, point 1 is not [x, y]",
                             "line 8: the drawing has 65 strokes",
                             "line 9: the drawing has 200000 points",
                             "line 10: longer than 4 MiB"};
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_NE(err[i].find(why[i]), std::string::npos) << err[i];
  EXPECT_EQ(err[0].rfind("velmora-lookup: standard input, line 3", 0), 0u) << err[0];

  // A file by name gives the same; every line a drawing: status 0.
  Write("drawings.txt", "[[[10,50],[90,50]]]\n");
  const TRun file =
      Run(InDir() + "--handwriting '" + (dir_ / "drawings.txt").string() + "'");
  EXPECT_EQ(file.Status, 0) << file.Err;
  EXPECT_EQ(file.Out, out[10] + "\n");
  EXPECT_EQ(file.Err, "");
  EXPECT_EQ(Run(InDir() + "--handwriting '" + (dir_ / "none.txt").string() + "'").Status,
            2);
}

TEST_F(LookupTest, HandwritingFindsItsStrokeDataAsTheDictionaryIsFound) {
  const std::string drawing = "[[[10,50],[90,50]]]\n";
  // -C names a folder without stroke data: said, not answered from elsewhere.
  const TRun none = Run(InDir() + "--handwriting -", "", drawing);
  EXPECT_EQ(none.Status, 2);
  EXPECT_EQ(none.Out, "");
  EXPECT_NE(none.Err.find((dir_ / "strokes.bin").string() + ": No such file"),
            std::string::npos)
      << none.Err;
  // The dictionary variable's folder.
  fs::create_directories(dir_ / "variable");
  LinkStrokes(dir_ / "variable");
  const TRun variable =
      Run("--handwriting -", "VELMORA_DICTIONARY='" + (dir_ / "variable").string() + "'",
          drawing);
  EXPECT_EQ(variable.Status, 0) << variable.Err;
  EXPECT_EQ(First(variable.Out), "一");

  // Options of the search don't go with it.
  for (const char* args : {"--handwriting - 中", "--handwriting - --json",
                           "--batch --handwriting -", "--handwriting"})
    EXPECT_EQ(Run(InDir() + args, "", drawing).Status, 2) << args;
}

TEST_F(LookupTest, HandwritingLeavesOutOnlyACharacterWhoseStrokeDataIsDamaged) {
  std::ifstream in(fs::path(VELMORA_DATA_DIR) / "strokes.bin", std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  // The record of 一 (U+4E00) overwritten.
  const auto [begin, end] = velmora::test::StrokeRecordSpan(bytes, U'一');
  ASSERT_LT(begin, end);
  for (std::uint32_t at = begin; at < end; ++at) bytes[at] = char(0xFF);
  Write("strokes.bin", bytes);
  const TRun run = Run(InDir() + "--handwriting -", "",
                       "[[[10,50],[90,50]]]\n[[[10,50],[90,50]],[[50,10],[50,90]]]\n");
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(Lines(run.Out).size(), 2u);  // which answers: the recognizer's tests
  EXPECT_NE(run.Err.find("U+4E00"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("left out"), std::string::npos) << run.Err;

  // Cut short: no answers at all, and why.
  Write("strokes.bin", bytes.substr(0, bytes.size() / 2));
  const TRun cut = Run(InDir() + "--handwriting -", "", "[[[10,50],[90,50]]]\n");
  EXPECT_EQ(cut.Status, 2);
  EXPECT_EQ(cut.Out, "");
  EXPECT_NE(cut.Err.find("cut short"), std::string::npos) << cut.Err;
}

// The stroke order is drawn into a file in TMPDIR; on a disk too full for
// all of it the page goes without the picture rather than with a piece.
TEST_F(LookupTest, AStrokePictureThatCouldNotBeWrittenWholeIsLeftOut) {
  velmora::test::TSmallDisk disk(64);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  WriteAll(kEntry + "\xD6\xD0\xA3\xBAmiddle\n");
  LinkStrokes(dir_.Path());
  disk.Fill(4096);  // room for the first block of the picture only
  const TRun run =
      Run(InDir() + "--html '中'", onPath + " TMPDIR='" + disk.Path().string() + "'");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(EmbeddedGif(run.Out), "");
  EXPECT_NE(run.Out.find("middle"), std::string::npos);
  // Nothing of it stays behind.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(disk.Path()))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{".filler"});
}

// 学生, 绿色 and 学 with readings, and 上学 without one.
const std::string kLearnerEntries = velmora::gbk::FromUtf8(
    "学生：[xue2 sheng5] student\n绿色：[lu:4 se4] green\n上学：to go to school\n");

// A stand-in for espeak-ng in its own folder: it writes its arguments, one a
// line, into args.txt beside itself.
fs::path StandInSpeaker(const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path program = folder / "espeak-ng";
  std::ofstream(program)
      << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n";
  fs::permissions(program, fs::perms::owner_all);
  return folder / "args.txt";
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(LookupTest, JsonListsEachEntryWithItsCardFacts) {
  WriteAll(kLearnerEntries);
  Write("1.sr", velmora::gbk::FromUtf8("学：[xue2] to learn\n"));
  Write("hsk.txt", velmora::gbk::FromUtf8("学生\t1\n"));
  Write("radicals.txt", velmora::gbk::FromUtf8("学\t子\t8\n"));
  Write("frequency.txt", velmora::gbk::FromUtf8("上学\t10\n学\t90\n学生\t50\n"));
  const TRun run = Run(InDir() + "--json '学'");
  EXPECT_EQ(run.Status, 0);
  const json view = json::parse(run.Out);
  // The fields of before come first and as they were; the entries last.
  EXPECT_EQ(run.Out.find("\"entries\": "), run.Out.find(", \"entries\": ") + 2);
  EXPECT_LT(run.Out.find("\"found\": true"), run.Out.find("\"entries\""));
  EXPECT_EQ(view["entries"], json::parse(R"([
    {"key": "学", "reading": "xue2", "level": null, "frequency_band": 1, "radical": "子", "strokes": 8},
    {"key": "学生", "reading": "xue2 sheng5", "level": 1, "frequency_band": 1, "radical": null, "strokes": null},
    {"key": "上学", "reading": null, "level": null, "frequency_band": 1, "radical": null, "strokes": null}])"));
}

TEST_F(LookupTest, SayGivesTheReadingToEspeakWithThePinyinVoice) {
  WriteAll(kLearnerEntries);
  const fs::path args = StandInSpeaker(dir_ / "bin");
  const std::string path = "PATH='" + (dir_ / "bin").string() + ":/usr/bin:/bin'";
  TRun run = Run(InDir() + "--say '绿色'", path);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "绿色 [lv4 se4]\n");
  EXPECT_EQ(ReadFile(args), "-v\ncmn-latn-pinyin\n--\nlv4 se4\n");

  run = Run(InDir() + "--say --wav '" + (dir_ / "out.wav").string() + "' '学生'", path);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(ReadFile(args), "-v\ncmn-latn-pinyin\n-w\n" + (dir_ / "out.wav").string() +
                                "\n--\nxue2 sheng5\n");

  // An entry without a reading says nothing rather than guessing.
  fs::remove(args);
  run = Run(InDir() + "--say '上学'", path);
  EXPECT_EQ(run.Status, 1);
  EXPECT_FALSE(fs::exists(args));
  EXPECT_NE(run.Err.find("no reading"), std::string::npos);

  // Without espeak-ng: the package to install is named.
  fs::create_directories(dir_ / "empty");
  run = Run(InDir() + "--say '学生'", "PATH='" + (dir_ / "empty").string() + "'");
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("Debian package espeak-ng"), std::string::npos) << run.Err;
  EXPECT_EQ(Run(InDir() + "--wav x.wav '学生'").Status, 2);  // --wav needs --say
}

TEST_F(LookupTest, AnkiTurnsWordsIntoNotes) {
  WriteAll(kLearnerEntries);
  Write("hsk.txt", velmora::gbk::FromUtf8("学生\t1\n"));
  const TRun run = Run(InDir() + "--anki", "", "学生\r\n 绿色 \n学生\n\n不在\n");
  EXPECT_EQ(run.Status, 1);  // 不在 is left out and named
  EXPECT_NE(run.Err.find("不在"), std::string::npos);
  const std::string body = run.Out.substr(run.Out.find("\n学生"));
  EXPECT_EQ(run.Out.rfind("#separator:tab\n#html:true\n", 0), 0u);
  EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 3) << body;  // each word once
  EXPECT_NE(body.find("\n学生\t学生\txué sheng\tstudent\tHSK 1\tvm"), std::string::npos);
  EXPECT_NE(body.find("\n绿色\t绿色\tlǜ sè\tgreen\t\tvm"), std::string::npos);
  // A second export gives the same notes, guids included.
  EXPECT_EQ(Run(InDir() + "--anki", "", "学生\n绿色\n").Out, run.Out);
}

}  // namespace
