// The rich-text control that shows the results, as the program relies on it.
// Text is GBK bytes and every position is a byte position: one per byte, two
// per CR LF line break, one per lone LF, whatever the widget behind it counts
// inside. Only those two end lines: a lone CR is an ordinary byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/classes/Classes.h"

namespace velmora {

// Font style bits; a style is always set as a whole.
enum TFontStyle : unsigned {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};
using TFontStyles = unsigned;

struct TCharFormat {
  TColor Color = clDefault;  // clDefault: the view's own text colour
  TFontStyles Style = 0;
  bool IsDefault() const { return Color == clDefault && Style == 0; }
  friend bool operator==(const TCharFormat&, const TCharFormat&) = default;
};

struct TLinkRange {
  int Start = 0;   // first position
  int Length = 0;  // positions
  friend bool operator==(const TLinkRange&, const TLinkRange&) = default;
};

class IRichEdit {
 public:
  virtual ~IRichEdit() = default;

  // Removes all text; the view is one empty line.
  virtual void Clear() = 0;
  // Appends text and a CR LF at the end. LF and CR LF inside text make
  // further line breaks; a CR at its end makes one CR LF break with the LF
  // that follows it.
  virtual void AppendLine(std::string_view text) = 0;
  // Replaces the text of line i (not its break); nothing if line i does not
  // exist. The new text takes the format of the first byte it replaces, or of
  // the byte before when the line is empty (the default format at 0).
  virtual void ReplaceLine(int line, std::string_view text) = 0;

  // Line numbers come from the line breaks in the text, not from wrapping.
  virtual int LineCount() const = 0;
  virtual int LineFromChar(int pos) const = 0;  // the line holding pos
  virtual int LineIndex(int line) const = 0;    // first position; -1 if missing
  virtual int TextLength() const = 0;           // positions in all
  virtual std::string Text() const = 0;         // all text, GBK, breaks as written

  // Selection; setting it scrolls its end into view. A start outside the
  // text, or a negative length, leaves an empty selection at the nearest
  // valid position.
  virtual void SetSelection(int start, int length) = 0;
  virtual int SelStart() const = 0;
  virtual int SelLength() const = 0;
  virtual std::string SelectedText()
      const = 0;  // GBK, byte-identical to what was written

  // Character format of the selection (nothing with an empty selection).
  virtual void SetSelColor(TColor color) = 0;
  virtual void SetSelStyle(TFontStyles style) = 0;
  // Format of the byte at pos (for tests and the tools).
  virtual TCharFormat FormatAt(int pos) const = 0;

  // Paragraph indents in points, for all text present and to come.
  virtual void SetParagraphIndents(double firstLineIndentPt, double leftIndentPt) = 0;
  virtual double FirstLineIndent() const = 0;
  virtual double LeftIndent() const = 0;

  // Automatic link detection ("file://", "http://", "https://", "ftp://",
  // "mailto:", without regard to case, up to the first space, tab, CR, LF or
  // the end of the text).
  virtual void SetAutoUrlDetect(bool on) = 0;
  virtual bool AutoUrlDetect() const = 0;
  virtual std::vector<TLinkRange> Links() const = 0;  // empty when detection is off

  // Puts the selection on the clipboard; nothing with an empty selection.
  // Plain text has LF line ends there, as other programs expect; positions
  // in the view still count CR LF.
  virtual void CopySelection() = 0;
  virtual void ScrollToTop() = 0;
};

}  // namespace velmora
