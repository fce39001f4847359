// A fixture for the velmora-gif commands: a fresh folder per test and the
// tool's output captured.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "tests/TempFolder.h"
#include "tools/velmora-gif/GIFCommands.h"

namespace velmora::gifTool {

class CommandTest : public ::testing::Test {
 protected:
  explicit CommandTest(const char* stem) : folder(stem), dir(folder.Path()) {}
  int Run(const Args& args) {
    out.str("");
    err.str("");
    return Main(args, out, err);
  }
  test::TTempFolder folder;
  std::filesystem::path dir;  // the folder's path
  std::ostringstream out, err;
};

}  // namespace velmora::gifTool
