// The result view the window shows: the text model in GBK bytes (line starts
// and runs of character format, as the program counts positions) and a
// layout of its own that lays out only the lines asked for.
//
// Each line is laid out on demand with a QTextLayout and kept in a bounded
// cache. Lines never laid out have an estimated height from their byte count,
// so that the total height, and with it a scroll bar's thumb, is known at
// once and moves little when lines are laid out. Appending, and formatting
// near the end, cost amortised O(log n) whatever the view holds; replacing
// or editing in the middle costs O(size of the view) in memory moves.
//
// The selection is the program's working cursor and the user's selection at
// once, as in the control the program was written for. It keeps a direction
// (anchor and caret) for extending it from the keyboard and mouse.
//
// Edits by the user (typing, deleting, pasting) go through EditSelection and
// can be undone; the program's own output cannot, and an edit of the program
// that moves text under an undo step forgets the steps it invalidates.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTextLayout>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/richedit/FormatRuns.h"
#include "platform/richedit/RichEdit.h"
#include "platform/richedit/TextLayout.h"

class QPainter;

namespace velmora {

class TQtRichEdit : public IRichEdit {
 public:
  // Receives a copy: the text with LF for each CR LF, and as HTML.
  using TClipboardSink = std::function<void(const QString& plain, const QString& html)>;
  // Receives the text that a selection made by the user offers.
  using TPrimarySink = std::function<void(const QString& plain)>;

  TQtRichEdit();
  ~TQtRichEdit() override;

  void Clear() override;
  void AppendLine(std::string_view text) override;
  void ReplaceLine(int line, std::string_view text) override;

  int LineCount() const override { return int(lineStarts_.size()); }
  int LineFromChar(int pos) const override;
  int LineIndex(int line) const override;
  int TextLength() const override { return int(text_.size()); }
  std::string Text() const override { return text_; }

  void SetSelection(int start, int length) override;
  int SelStart() const override { return std::min(anchor_, caret_); }
  int SelLength() const override { return std::abs(caret_ - anchor_); }
  std::string SelectedText() const override;

  void SetSelColor(TColor color) override;
  void SetSelStyle(TFontStyles style) override;
  TCharFormat FormatAt(int pos) const override;

  void SetParagraphIndents(double firstLineIndentPt, double leftIndentPt) override;
  double FirstLineIndent() const override { return firstIndent_; }
  double LeftIndent() const override { return leftIndent_; }

  void SetAutoUrlDetect(bool on) override;
  bool AutoUrlDetect() const override { return urlDetect_; }
  std::vector<TLinkRange> Links() const override;

  void CopySelection() override;
  void ScrollToTop() override;

  // Where CopySelection puts the text; the system clipboard by default.
  void SetClipboardSink(TClipboardSink sink) { clipboard_ = std::move(sink); }
  // Offers a non-empty selection as the desktop's primary selection (X11's
  // middle-click paste), where the platform has one. For selections the
  // user made; the program's own working selections must not take it.
  void OfferSelection();
  // Where OfferSelection puts the text; the primary selection by default.
  void SetPrimarySink(TPrimarySink sink) { primary_ = std::move(sink); }
  // The selection as HTML: the text with its colours and styles.
  QString SelectionHtml() const;

  // ---- for the widget that shows the view ----

  // Called with the selection's end (its caret) whenever the program or the
  // user sets the selection, and when the view should go to the top.
  std::function<void(int bytePos)> OnScrollIntoView;
  std::function<void()> OnScrollToTop;
  // Called after any change of text, format, selection or layout.
  std::function<void()> OnChanged;

  // The selection with its direction; the caret is where it grows.
  int Anchor() const { return anchor_; }
  int Caret() const { return caret_; }
  // Sets both ends (clamped, moved to character boundaries).
  void SetAnchorAndCaret(int anchor, int caret);

  // The detected link covering a byte position; none while detection is off.
  std::optional<TLinkRange> LinkAt(int bytePos) const;
  // Character boundaries: the position of the character before or after pos
  // (a CR LF is one character).
  int PreviousCharPos(int pos) const;
  int NextCharPos(int pos) const;
  // The word (or run of white space or punctuation) around pos.
  std::pair<int, int> WordAt(int pos) const;
  // The end of line `line` without its break.
  int LineEnd(int line) const;

  // Layout: font, text colour, width available to the text and zoom.
  void SetFont(const QFont& font);
  const QFont& Font() const { return font_; }
  void SetTextColor(const QColor& color);
  void SetLayoutWidth(int pixels);
  int LayoutWidth() const { return width_; }
  // Percent of the font size; the indents scale with it.
  void SetZoom(int percent);
  int Zoom() const { return zoom_; }

  // Heights in pixels; lines not laid out yet count with an estimate.
  long long DocumentHeight() const { return heights_.Total(); }
  long long LineTop(int line) const { return heights_.Top(line); }
  int LineHeight(int line) const { return heights_.Height(line); }
  int LineAtY(long long y) const { return heights_.LineAt(y); }
  bool IsLaidOut(int line) const { return layouts_.count(line) != 0; }
  int LaidOutLines() const { return int(layouts_.size()); }
  // The widest line laid out so far.
  int ContentWidth() const { return contentWidth_; }
  // Lays out lines until the height of [first, last] is exact.
  void EnsureLaidOut(int first, int last);

  // Position under a point of the document (x from its left edge, y from its
  // top): the nearest character boundary, or with exact, the position of the
  // character under the point and -1 when no character is there.
  int HitTest(QPointF point, bool exact);
  // Where the caret stands at pos, in document coordinates.
  QRectF CaretRect(int pos);
  // The position one display line above (up) or below the caret at pos,
  // at about x.
  int PositionOnNextDisplayLine(int pos, qreal x, bool up);

  // Paints the lines that cross [top, top + height) of the document with
  // the document's y = top at the painter's y = 0, x shifted by -left.
  struct TPaintOptions {
    long long top = 0;
    int height = 0;
    int left = 0;
    bool showSelection = true;
    bool showCaret = false;
    QColor highlight = QColor(0, 120, 215);
    QColor highlightedText = Qt::white;
  };
  void Paint(QPainter& painter, const TPaintOptions& options);

  // ---- editing by the user ----

  // Replaces the selection by GBK text (line breaks become CR LF), in the
  // format of the character before it, and leaves the caret after it.
  void EditSelection(std::string_view gbk);
  // Deletes the selection, or the character before (backward) or after the
  // caret when the selection is empty.
  void DeleteAtCaret(bool backward);
  bool CanUndo() const { return !undo_.empty(); }
  bool Undo();

 private:
  using Run = richedit::TFormatRuns::Run;
  struct LineLayout;
  struct UndoStep {
    int pos;
    std::string removed;
    std::vector<Run> removedRuns;  // starts relative to pos
    int inserted;                  // bytes inserted at pos
  };

  // Replaces [from, to) by bytes in one format; keeps lines, runs, heights
  // and layouts in step.
  void Replace(int from, int to, std::string_view bytes, const TCharFormat& format);
  template <typename F>
  void FormatSelection(F change);

  std::string_view LineText(int line) const;  // without its break
  int EstimatedHeight(int line) const;
  // Drops the layouts of lines [first, last] and gives them estimates.
  void InvalidateLines(int first, int last);
  void InvalidateAllLayouts();
  LineLayout& Layout(int line);
  void TrimCache(int keepFirst, int keepLast);
  void FontChanged();
  double IndentPixels(double points) const;
  void Changed() const;
  // Moves the selection over a replacement of [from, to) by newLength bytes.
  void MoveSelection(int from, int to, int newLength);
  void MoveUndoAfterEdit(int from, int to, int delta);

  std::string text_;
  std::vector<int> lineStarts_;
  richedit::TFormatRuns runs_;
  int anchor_ = 0;
  int caret_ = 0;
  double firstIndent_ = 0;
  double leftIndent_ = 0;
  bool urlDetect_ = false;
  TClipboardSink clipboard_;
  TPrimarySink primary_;
  std::vector<UndoStep> undo_;

  QFont baseFont_;
  QFont font_;
  QColor textColor_ = Qt::black;
  int zoom_ = 100;
  int width_ = 400;
  int lineSpacing_ = 17;
  double byteWidth_ = 8;  // estimated pixels per byte of text
  int contentWidth_ = 0;
  richedit::THeightIndex heights_;
  std::unordered_map<int, std::unique_ptr<LineLayout>> layouts_;
};

}  // namespace velmora
