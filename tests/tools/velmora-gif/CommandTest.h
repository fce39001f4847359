// A fixture for the velmora-gif commands: a fresh folder per test and the
// tool's output captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "tools/velmora-gif/GIFCommands.h"

namespace velmora::gifTool {

class CommandTest : public ::testing::Test {
 protected:
  explicit CommandTest(const char* name) : stem(name) {}
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          (stem + "-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  int Run(const Args& args) {
    out.str("");
    err.str("");
    return Main(args, out, err);
  }
  std::filesystem::path dir;
  std::ostringstream out, err;

 private:
  std::string stem;
};

}  // namespace velmora::gifTool
