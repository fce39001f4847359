// The fixture of the velmora-gif commands: a fresh folder per test, named
// after the test's suite, the tool's output captured, and the bundled
// dictionary folder. A suite needing no more names it with a using.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "tests/TempFolder.h"
#include "tools/velmora-gif/GIFCommands.h"

namespace velmora::gifTool {

class CommandTest : public ::testing::Test {
 protected:
  CommandTest()
      : folder(
            std::string("velmora-") +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()),
        dir(folder.Path()) {}
  int Run(const Args& args) {
    out.str("");
    err.str("");
    return Main(args, out, err);
  }
  // Whether the last run's standard error holds text; what it held if not.
  ::testing::AssertionResult Said(std::string_view text) const {
    if (err.str().find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "standard error: " << err.str();
  }
  // The bytes of a file.
  static std::string Contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  test::TTempFolder folder;
  std::filesystem::path dir;  // the folder's path
  std::ostringstream out, err;
  const std::string data = VELMORA_DATA_DIR;  // strokes.bin and sample GIFs
};

}  // namespace velmora::gifTool
