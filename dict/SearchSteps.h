// The steps both searches share: the heading and failure lines, and one pass
// over one file's candidate lines with the memo that lets the explanation
// pass reuse the key pass's candidates. For dict/ only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"
#include "dict/Query.h"
#include "dict/ResultView.h"
#include "dict/Search.h"
#include "dict/Texts.h"

namespace velmora::search {

enum class TScanEnd { Done, Stopped };

inline void ShowFailure(TResultView& view, std::string_view message) {
  view.AppendLine(message);
  view.HighlightAdded(message, 2, clRed);
}

// The heading that names what is searched, and the status line below it.
inline void ShowHeading(TResultView& view, const std::string& shown) {
  std::string heading;
  heading.append(texts::kHeadingBefore).append(shown).append(texts::kHeadingAfter);
  view.AppendLine(heading);
  view.HighlightAdded(heading, 2, clBlue);
  // 14: the bytes after the query in the heading and the line's break.
  view.HighlightAdded(shown, 14, MatchColor);
  view.View().SetSelStyle(fsBold | fsUnderline);
  // The heading's closing highlight counts back past the start of the view
  // (line 0 starts at 0, so its start is -2). We keep the call but let it
  // format nothing: the heading stays exactly blue and bold with its query
  // marked, and the status line below stays plain. Formatting the clipped
  // span instead would paint over the marked query.
  view.HighlightAdded(heading, 4, clBlue);
  view.AppendLine(texts::kSearching);
}

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
// every stretch without a candidate.
template <typename TLines, typename TFinder, typename TSliceStopped, typename TTest>
TScanEnd ScanFile(const std::shared_ptr<const TDictImage>& image, int pass,
                  const TFinder& finder, TCandidateMemo& memo,
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
    TLines lines(piece, finder, SearchPacing.SliceBytes);
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
TSearchOutcome ScanThreePasses(const std::string& query, TResultView& view,
                               TDictImages& images, TMake make) {
  const int ownFile = OwnFileNumber(query);
  std::shared_ptr<const TDictImage> image = images.Open(DictFileName(ownFile));
  if (!image) {
    ShowFailure(view, texts::kOwnFileMissing);
    return TSearchOutcome::OwnFileMissing;
  }
  ShowHeading(view, query);

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
        const std::string name = DictFileName(number);
        image = images.Open(name);
        if (!image) {
          std::string message(texts::kFileMissing);
          view.ReplaceLine(0, message.append(name));
          return TSearchOutcome::OtherFileMissing;
        }
      }
      if (scanner.File(image, pass, memos[number - 1]) == TScanEnd::Stopped)
        return TSearchOutcome::Stopped;
    }
  }

  view.ReplaceLine(1, texts::kFinished);
  if (!scanner.Found()) ShowFailure(view, texts::kNotFound);
  return scanner.Found() ? TSearchOutcome::Found : TSearchOutcome::NotFound;
}

}  // namespace velmora::search
