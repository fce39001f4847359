// Fuzzes the dictionary image, the candidate lines, the split, the match and
// a whole search, of either kind.
// Input: one byte n, then n % 9 bytes of query, then the dictionary file's
// bytes, which become every one of 1.sr..5.sr in a private folder.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Search.h"
#include "platform/richedit/MemoryRichEdit.h"

namespace {

using namespace velmora;

void Check(bool ok) {
  if (!ok) std::abort();
}

class TControls : public ISearchControls {
 public:
  std::string Query;
  std::string GetQueryText() override { return Query; }
  void SetQueryText(const std::string& text) override { Query = text; }
  void SetSearchEnabled(bool) override {}
  void SetStopEnabled(bool) override {}
};

// Containment by walking every character boundary, the slow and obvious way.
bool NaiveContains(std::string text, std::string query) {
  UpperAscii(text);
  UpperAscii(query);
  if (query.empty()) return true;
  for (std::size_t i = 0; i < text.size(); i += LeadByteLengthAt(text, i))
    if (text.compare(i, query.size(), query) == 0) return true;
  return false;
}

// Made once and left by the process; never destroyed, so the exit handler
// that removes it can still use it.
const std::filesystem::path& Folder() {
  static const auto* folder = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmora-dict-fuzz-XXXXXX").string();
    auto* p = new std::filesystem::path(::mkdtemp(pattern.data()));
    std::filesystem::current_path(*p);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Folder(), ignored);
    });
    return p;
  }();
  return *folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Folder();
  const std::size_t n = std::min<std::size_t>(data[0] % 9, size - 1);
  const std::string query(reinterpret_cast<const char*>(data + 1), n);
  const std::string file(reinterpret_cast<const char*>(data + 1 + n), size - 1 - n);
  for (int i = 1; i <= 5; ++i)
    std::ofstream(DictFileName(i), std::ios::binary | std::ios::trunc) << file;

  // The image holds the file's bytes; every line is a candidate for the
  // empty needle, each cut at its first NUL, and the lines found for the
  // query are exactly those whose bytes hold it.
  TDictImages images;
  const auto image = images.Open("1.sr");
  Check(image && image->Bytes() == file);
  const TMatcher matcher(query);
  const TSubstringFinder every(""), finder(query);
  TCandidateLines all(image->Bytes(), every, 1 + n * 7);
  TCandidateLines some(image->Bytes(), finder, 1 + n * 13);
  std::string_view line, candidate;
  bool haveCandidate = false;
  std::size_t start = 0;
  for (;;) {
    TCandidateLines::TStep step;
    while ((step = all.Next(line)) == TCandidateLines::TStep::Slice) {
    }
    if (step == TCandidateLines::TStep::End) break;
    Check(start < file.size());
    std::size_t lf = file.find('\n', start);
    if (lf == std::string::npos) lf = file.size();
    const std::string raw = file.substr(start, lf - start);
    Check(line == std::string_view(raw).substr(0, raw.find('\0')));
    const std::size_t at = query.empty() ? start : file.find(query, start);
    if (!haveCandidate) {
      while ((step = some.Next(candidate)) == TCandidateLines::TStep::Slice) {
      }
      haveCandidate = step == TCandidateLines::TStep::Line;
    }
    if (at != std::string::npos && at <= lf) {
      Check(haveCandidate && candidate.data() == line.data() &&
            candidate.size() == line.size());
      haveCandidate = false;
    }
    start = lf + 1;

    const TEntry entry = SplitLine(line);
    Check(entry.Key.size() + entry.Explanation.size() <= line.size());
    Check(matcher.In(entry.Key) == NaiveContains(std::string(entry.Key), query));
    Check(matcher.In(entry.Explanation) ==
          NaiveContains(std::string(entry.Explanation), query));
    DisplayExplanation(entry.Explanation);
  }
  Check(start >= file.size() && !haveCandidate);
  while (some.Next(candidate) == TCandidateLines::TStep::Slice) {
  }

  TMemoryRichEdit edit;
  TResultView view(edit);
  TControls controls;
  controls.Query = query;
  TSearchOptions options;
  options.Images = &images;
  const TSearchOutcome outcome = RunSearch(controls, view, options);
  Check(outcome != TSearchOutcome::Stopped && outcome != TSearchOutcome::OwnFileMissing &&
        outcome != TSearchOutcome::OtherFileMissing);
  if (outcome != TSearchOutcome::InvalidQuery) Check(edit.LineCount() >= 4);

  // The extended search reads the same bytes as pinyin, English words,
  // wildcards or Chinese characters, whichever they look like.
  controls.Query = query;
  options.Kind = TSearchKind::Extended;
  const TSearchOutcome extended = RunSearch(controls, view, options);
  Check(extended != TSearchOutcome::Stopped &&
        extended != TSearchOutcome::OwnFileMissing &&
        extended != TSearchOutcome::OtherFileMissing);
  if (extended != TSearchOutcome::InvalidQuery) Check(edit.LineCount() >= 4);
  return 0;
}
