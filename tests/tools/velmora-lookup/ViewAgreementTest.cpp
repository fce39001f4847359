// The lookup tool prints what the window's view would hold: the same search
// written into the in-memory view and into the window's view gives the same
// JSON, over the bundled dictionary.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <filesystem>
#include <string>

#include "dict/Search.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "platform/richedit/QtRichEdit.h"
#include "tools/velmora-lookup/ViewExport.h"

namespace velmora {
namespace {

// The views compared; the window's is the one to follow when it changes.
using TToolView = TMemoryRichEdit;
using TWindowView = TQtRichEdit;

template <typename TView>
std::string Lookup(const std::string& utf8Query) {
  TView edit;
  edit.SetAutoUrlDetect(true);
  TResultView view(edit);
  TQueryControls controls(gbk::FromUtf8(utf8Query));
  const TSearchOutcome outcome = RunSearch(controls, view);
  return ExportJson(edit, outcome == TSearchOutcome::Found);
}

class ViewAgreement : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() { std::filesystem::current_path(VELMORA_DATA_DIR); }
};

TEST_P(ViewAgreement, BothViewsGiveTheSameJson) {
  const std::string tool = Lookup<TToolView>(GetParam());
  const std::string window = Lookup<TWindowView>(GetParam());
  ASSERT_EQ(tool.size(), window.size());
  EXPECT_TRUE(tool == window);  // not printed: the full listing is megabytes
}

// Common words, a rare one, nothing found, a query that is too short, and
// the full listing of every key.
INSTANTIATE_TEST_SUITE_P(Bundled, ViewAgreement,
                         ::testing::Values("中国", "人", "学生", "饕餮", "龘齉", "abc",
                                           "："));

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
