#include "RichEditConformance.h"
#include "platform/richedit/MemoryRichEdit.h"

// Not in an anonymous namespace, so that test names show plain harness names.
namespace velmora::richedit_test {

struct MemoryHarness {
  TMemoryRichEdit edit;
  std::vector<std::string> copies;
  MemoryHarness() {
    edit.SetClipboardSink([this](std::string_view gbk) { copies.emplace_back(gbk); });
  }
  IRichEdit& View() { return edit; }
  int ScrolledTo() const { return edit.ScrollPosition(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RichEditConformance, MemoryHarness);

}  // namespace velmora::richedit_test
