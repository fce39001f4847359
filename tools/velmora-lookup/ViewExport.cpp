#include "tools/velmora-lookup/ViewExport.h"

#include <algorithm>
#include <cstdio>

#include "dict/AnkiExport.h"
#include "dict/LinkTarget.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/TextLayout.h"
#include "tools/common/Json.h"
#include "tools/velmora-lookup/StrokePicture.h"

namespace velmora {

namespace {

using tools::JsonString;

std::string Hex6(TColor c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(c), GetGValue(c),
                GetBValue(c));
  return buf;
}

// Splits the view's text into pieces of one format and one link state, with
// line breaks as pieces of their own.
struct TPiece {
  std::string Gbk;
  TCharFormat Format;
  int Link = -1;  // index into the links, or -1
  bool Break = false;
};

std::vector<TPiece> Pieces(const IRichEdit& view) {
  const std::string text = view.Text();
  const std::vector<TLinkRange> links = view.Links();
  std::vector<TPiece> pieces;
  std::size_t link = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (const int width = richedit::BreakWidthAt(text, i)) {
      pieces.push_back({"", {}, -1, true});
      i += std::size_t(width);
      continue;
    }
    while (link < links.size() &&
           std::size_t(links[link].Start + links[link].Length) <= i)
      ++link;
    const bool inLink = link < links.size() && std::size_t(links[link].Start) <= i;
    const TCharFormat format = view.FormatAt(int(i));
    if (pieces.empty() || pieces.back().Break || !(pieces.back().Format == format) ||
        pieces.back().Link != (inLink ? int(link) : -1))
      pieces.push_back({"", format, inLink ? int(link) : -1, false});
    pieces.back().Gbk.push_back(text[i]);
    ++i;
  }
  return pieces;
}

// The terminal's palette colour nearest in kind: the channels that reach half
// of the strongest one make red 31, green 32, yellow 33, blue 34, magenta 35
// or cyan 36; a grey, which might vanish against the background, takes the
// terminal's own text colour (39). The window's blue keys, green
// explanations and red marks become blue, green and red.
int PaletteColor(TColor c) {
  const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  const int strongest = std::max({r, g, b});
  if (strongest == 0) return 39;
  const int bits = (2 * r >= strongest ? 1 : 0) | (2 * g >= strongest ? 2 : 0) |
                   (2 * b >= strongest ? 4 : 0);
  return bits == 7 ? 39 : 30 + bits;
}

}  // namespace

std::vector<TFormatSpan> FormatSpans(const IRichEdit& view) {
  std::vector<TFormatSpan> spans;
  const int length = view.TextLength();
  for (int p = 0; p < length; ++p) {
    const TCharFormat f = view.FormatAt(p);
    if (f.IsDefault()) continue;
    if (!spans.empty() && spans.back().Start + spans.back().Length == p &&
        spans.back().Format == f)
      ++spans.back().Length;
    else
      spans.push_back({p, 1, f});
  }
  return spans;
}

std::string ExportPlain(const IRichEdit& view) {
  std::string out;
  for (const TPiece& piece : Pieces(view))
    out += piece.Break ? std::string("\n") : gbk::ToUtf8(piece.Gbk);
  return out;
}

std::string ExportAnsi(const IRichEdit& view, TAnsiColors colors) {
  std::string out;
  for (const TPiece& piece : Pieces(view)) {
    if (piece.Break) {
      out += "\n";
      continue;
    }
    const TCharFormat& f = piece.Format;
    const bool plain = f.IsDefault() && piece.Link < 0;
    if (!plain) {
      out += "\x1b[";
      if (f.Color != clDefault)
        out += colors == TAnsiColors::TrueColor
                   ? "38;2;" + std::to_string(GetRValue(f.Color)) + ";" +
                         std::to_string(GetGValue(f.Color)) + ";" +
                         std::to_string(GetBValue(f.Color)) + ";"
                   : std::to_string(PaletteColor(f.Color)) + ";";
      if (f.Style & fsBold) out += "1;";
      if (f.Style & fsItalic) out += "3;";
      if ((f.Style & fsUnderline) || piece.Link >= 0) out += "4;";
      if (f.Style & fsStrikeOut) out += "9;";
      out.back() == ';' ? void(out.back() = 'm') : void(out += 'm');
    }
    out += gbk::ToUtf8(piece.Gbk);
    if (!plain) out += "\x1b[0m";
  }
  return out;
}

std::string ExportHtml(const IRichEdit& view, const std::string& title,
                       const std::string& folder, const std::string& picture) {
  const std::string text = view.Text();
  const std::vector<TLinkRange> links = view.Links();
  char indent[128];
  std::snprintf(indent, sizeof indent, "padding-left:%gpt;text-indent:%gpt",
                view.FirstLineIndent() + view.LeftIndent(), -view.LeftIndent());
  std::string out =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" +
      HtmlEscape(title) +
      "</title>\n<style>\nbody { background: #e9fedd; font-family: Tahoma, sans-serif; "
      "font-size: 17px; }\np { margin: 0; white-space: pre-wrap; " +
      indent + "; }\n</style>\n</head>\n<body>\n";
  if (!picture.empty())
    out += "<img src=\"data:image/gif;base64," + Base64(picture) +
           "\" alt=\"笔顺\" style=\"float:right\">\n";
  out += "<p>";
  bool empty = true;
  for (const TPiece& piece : Pieces(view)) {
    if (piece.Break) {
      out += empty ? "<br></p>\n<p>" : "</p>\n<p>";
      empty = true;
      continue;
    }
    empty = false;
    std::string inner = HtmlEscape(gbk::ToUtf8(piece.Gbk));
    const TCharFormat& f = piece.Format;
    if (!f.IsDefault()) {
      std::string style;
      if (f.Color != clDefault) style += "color:" + Hex6(f.Color) + ";";
      if (f.Style & fsBold) style += "font-weight:bold;";
      if (f.Style & fsItalic) style += "font-style:italic;";
      if (f.Style & (fsUnderline | fsStrikeOut))
        style += std::string("text-decoration:") +
                 (f.Style & fsUnderline ? " underline" : "") +
                 (f.Style & fsStrikeOut ? " line-through" : "") + ";";
      inner = "<span style=\"" + style + "\">" + inner + "</span>";
    }
    if (piece.Link >= 0) {
      // What a click in the window opens, and only that: a "file://" link
      // names a file of the folder (letter case resolved); one that leads
      // out of it (through ".." or a symbolic link), or to nothing, stays
      // plain text, since a dictionary comes from elsewhere.
      const TLinkRange& link = links[std::size_t(piece.Link)];
      const std::string gbkLink =
          text.substr(std::size_t(link.Start), std::size_t(link.Length));
      if (const std::optional<std::string> href = LinkOpenTarget(gbkLink, folder))
        inner = "<a href=\"" + HtmlEscape(*href) + "\">" + inner + "</a>";
    }
    out += inner;
  }
  out += empty ? "<br></p>\n</body>\n</html>\n" : "</p>\n</body>\n</html>\n";
  return out;
}

std::string ExportJson(const IRichEdit& view, bool found,
                       const std::optional<std::string>& query) {
  const std::string text = view.Text();
  const std::vector<TFormatSpan> spans = FormatSpans(view);
  std::string out;
  out.reserve(text.size() * 4 + spans.size() * 110 + 64);
  out += '{';
  if (query) out += "\"query\": " + JsonString(*query) + ", ";
  out += "\"text_hex\": \"";
  static const char* digits = "0123456789abcdef";
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  out += "\", \"text\": " + JsonString(gbk::ToUtf8(text)) + ", \"spans\": [";
  const char* comma = "";
  for (const TFormatSpan& s : spans) {
    const TCharFormat& f = s.Format;
    // Appended piece by piece: GCC 12 at -O3 takes "\"" + a temporary string
    // for an overlapping copy and warns (-Wrestrict) where there is none.
    std::string color = "null";
    if (f.Color != clDefault) {
      color = "\"";
      color += Hex6(f.Color);
      color += "\"";
    }
    out += comma;
    comma = ", ";
    out += "{\"start\": " + std::to_string(s.Start) +
           ", \"length\": " + std::to_string(s.Length) + ", \"color\": " + color +
           ", \"bold\": " + (f.Style & fsBold ? "true" : "false") +
           ", \"italic\": " + (f.Style & fsItalic ? "true" : "false") +
           ", \"underline\": " + (f.Style & fsUnderline ? "true" : "false") +
           ", \"strikeout\": " + (f.Style & fsStrikeOut ? "true" : "false") + "}";
  }
  out += "], \"links\": [";
  comma = "";
  for (const TLinkRange& l : view.Links()) {
    out += comma;
    comma = ", ";
    out += "{\"start\": " + std::to_string(l.Start) +
           ", \"length\": " + std::to_string(l.Length) + "}";
  }
  out += std::string("], \"found\": ") + (found ? "true" : "false") + "}\n";
  return out;
}

}  // namespace velmora
