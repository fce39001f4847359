// The passes the standard search and the extended search of Chinese
// characters share: one pass over one file's candidate lines, with the memo
// that lets the explanation pass reuse the key pass's candidates, and the
// three passes over the five files. For dict/ only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"
#include "dict/Query.h"
#include "dict/SearchRun.h"

namespace velmora::search {

enum class TScanEnd { Done, Stopped };

// The candidate lines of one file from its key pass, kept for its
// explanation pass while they are few, so that a rare query scans each image
// once. The image is held, so the lines stay valid and a file read anew in
// between is told by its new image.
struct TCandidateMemo {
  static constexpr std::size_t kMaxLines = 1 << 16;
  std::shared_ptr<const TDictImage> Image;
  std::vector<std::string_view> Lines;
  bool Complete = false;
};

// One pass over one file: the candidate lines are found by one search over
// each piece of the image (TLines over finder), or taken from the memo of the file's
// earlier pass, and each goes to test(line). sliceStopped() is asked after
// every stretch of sliceBytes without a candidate.
template <typename TLines, typename TFinder, typename TSliceStopped, typename TTest>
TScanEnd ScanFile(const std::shared_ptr<const TDictImage>& image, int pass,
                  const TFinder& finder, TCandidateMemo& memo, std::size_t sliceBytes,
                  TSliceStopped&& sliceStopped, TTest&& test) {
  if (pass == 3 && memo.Complete && memo.Image == image) {
    for (std::string_view line : memo.Lines)
      if (test(line) == TScanEnd::Stopped) return TScanEnd::Stopped;
    return TScanEnd::Done;
  }
  const bool record = pass < 3;
  // Lines of a file read in pieces don't outlive their piece: not kept.
  if (record) memo = TCandidateMemo{image->Whole() ? image : nullptr, {}, false};
  TDictPieces pieces(*image);
  for (std::string_view piece; pieces.Next(piece);) {
    TLines lines(piece, finder, sliceBytes);
    std::string_view line;
    for (;;) {
      const typename TLines::TStep step = lines.Next(line);
      if (step == TLines::TStep::End) break;
      if (step == TLines::TStep::Slice) {
        if (sliceStopped()) return TScanEnd::Stopped;
        continue;
      }
      if (record && memo.Image) {
        if (memo.Lines.size() < TCandidateMemo::kMaxLines) {
          memo.Lines.push_back(line);
        } else {
          memo = TCandidateMemo{};  // too many to keep: pass 3 scans again
        }
      }
      if (test(line) == TScanEnd::Stopped) return TScanEnd::Stopped;
    }
  }
  if (record && memo.Image) memo.Complete = true;
  return TScanEnd::Done;
}

// A Chinese query over the five files: its own file (pass 1), the other four
// (pass 2), then all five again (pass 3), each through the scanner's
// File(image, pass, memo). The scanner is made by make() once the heading
// stands. The image is held here, so that a nested search that reads the
// file anew can't take the bytes away under this one.
template <typename TMake>
TSearchOutcome ScanThreePasses(const std::string& query, TSearchRun& run, TMake make) {
  if (query.size() < 2) return run.InvalidQuery();
  const int ownFile = OwnFileNumber(query);
  std::shared_ptr<const TDictImage> image = run.Open(ownFile);
  if (!image) return run.OwnFileMissing();
  run.ShowHeading(query);

  auto scanner = make();
  TCandidateMemo memos[5];
  for (int pass = 1; pass <= 3; ++pass) {
    for (int number = 1; number <= 5; ++number) {
      if (pass == 1 && number != ownFile) continue;
      if (pass == 2 && number == ownFile) continue;
      // Every pass opens its files at its turn, so a file that went away
      // since the last pass is reported at this one.
      if (pass > 1) {
        image.reset();
        image = run.Open(number);
        if (!image) return run.OtherFileMissing(number);
      }
      if (scanner.File(image, pass, memos[number - 1]) == TScanEnd::Stopped)
        return TSearchOutcome::Stopped;
    }
    // A scanner that orders each pass's entries shows them here.
    if constexpr (requires { scanner.EndPass(); })
      if (scanner.EndPass() == TScanEnd::Stopped) return TSearchOutcome::Stopped;
  }
  return run.Finish(scanner.Found());
}

}  // namespace velmora::search
