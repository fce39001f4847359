// Writing a result view out for the terminal, as plain text, as an HTML page
// or as JSON. Only the IRichEdit contract is used, so every view can be
// exported the same way.
#pragma once

#include <string>
#include <vector>

#include "platform/richedit/RichEdit.h"

namespace velmora {

// A maximal run of one non-default character format, in byte positions.
struct TFormatSpan {
  int Start = 0;
  int Length = 0;
  TCharFormat Format;
};
std::vector<TFormatSpan> FormatSpans(const IRichEdit& view);

// Text in UTF-8 with every line break as "\n".
std::string ExportPlain(const IRichEdit& view);
// The same with ANSI colours, bold and underline.
std::string ExportAnsi(const IRichEdit& view);
// A standalone page. linkBase is put in front of what follows "file://" in a
// link, so that the page opens files of the dictionary's folder.
std::string ExportHtml(const IRichEdit& view, const std::string& title,
                       const std::string& linkBase);
std::string ExportJson(const IRichEdit& view, bool found);

}  // namespace velmora
