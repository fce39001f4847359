// Reading back what the search wrote: the view's lines and their formats.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/richedit/RichEdit.h"

namespace velmora::test {

// The text of each line, without its break.
inline std::vector<std::string> Lines(const IRichEdit& view) {
  const std::string text = view.Text();
  std::vector<std::string> lines;
  for (int i = 0; i < view.LineCount(); ++i) {
    const int start = view.LineIndex(i);
    const int end = i + 1 < view.LineCount() ? view.LineIndex(i + 1) : int(text.size());
    std::string line = text.substr(std::size_t(start), std::size_t(end - start));
    // The break only: CR LF or a lone LF; a lone CR is text.
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

// The keys listed after the heading and status lines, without their
// separator, up to the first line that is no key.
inline std::vector<std::string> KeysListed(const IRichEdit& view) {
  const std::string separator = "\xA3\xBA";
  std::vector<std::string> keys;
  const std::vector<std::string> lines = Lines(view);
  for (std::size_t i = 3; i + 1 < lines.size(); i += 3) {
    if (!lines[i].ends_with(separator)) break;
    keys.push_back(lines[i].substr(0, lines[i].size() - separator.size()));
  }
  return keys;
}

// True when every position of [start, start + length) has this format.
inline ::testing::AssertionResult HasFormat(const IRichEdit& view, int start, int length,
                                            TColor color, TFontStyles style) {
  for (int p = start; p < start + length; ++p) {
    const TCharFormat f = view.FormatAt(p);
    if (f.Color != color || f.Style != style)
      return ::testing::AssertionFailure()
             << "position " << p << " has colour 0x" << std::hex << f.Color << " style "
             << f.Style << ", expected colour 0x" << color << " style " << style;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace velmora::test
