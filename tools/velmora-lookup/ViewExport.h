// Writing a result view out for the terminal, as plain text, as an HTML page
// or as JSON. Only the IRichEdit contract is used, so every view can be
// exported the same way.
#pragma once

#include <optional>
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
// Which colours the terminal view uses: the terminal's own palette, which
// every theme keeps readable, or the window's exact colours in 24 bits.
enum class TAnsiColors { Palette, TrueColor };
// The same with ANSI colours, bold and underline.
std::string ExportAnsi(const IRichEdit& view, TAnsiColors colors = TAnsiColors::Palette);
// A standalone page. Its links are what a click in the window opens: a
// "file://" link becomes the URL of the file inside folder (the dictionary's),
// letter case of the file name resolved; one that names no file there, or
// leads out of the folder, is plain text. A GIF given in picture (its bytes)
// is shown at the top right, embedded in the page.
std::string ExportHtml(const IRichEdit& view, const std::string& title,
                       const std::string& folder, const std::string& picture = {});
// One JSON object on one line: the query first when given (UTF-8; bytes that
// aren't UTF-8 become replacement characters), the text as hex of its GBK
// bytes and as UTF-8, the format spans and links in byte positions, and
// whether an entry was found.
std::string ExportJson(const IRichEdit& view, bool found,
                       const std::optional<std::string>& query = std::nullopt);

}  // namespace velmora
