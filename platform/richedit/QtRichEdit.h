// The result view on a QTextDocument, so that a QTextEdit can show it.
//
// Each line of the view is one QTextBlock; the block's user state remembers
// how its line break was written (CR LF, LF or a lone CR; the last block has
// none), so that byte positions come out as the program counts them. Text
// goes through the GBK codec, so any bytes read back as written.
//
// The character format the program sets is kept in user properties of each
// character's format; what the document shows is derived from it, plus the
// usual link look (anchor, underline, blue unless coloured) for detected
// links. FormatAt reports the program's format only.
//
// The document holds whole characters: a selection that starts or ends inside
// a double-byte character or a CR LF formats all of it, while SelectedText
// still gives exactly the bytes selected.
//
// Byte positions of blocks are cached and extended at the end, and dropped
// from a changed block on, so that work near the end of a long view costs
// amortised O(1) on top of the document's own edit (a tree update).
#pragma once

#include <QObject>
#include <QString>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextDocument>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/richedit/RichEdit.h"

class QTextCharFormat;

namespace velmora {

class TQtRichEdit : public QObject, public IRichEdit {
  Q_OBJECT

 public:
  // Receives a copy: the text with its breaks as written, and as HTML.
  using TClipboardSink = std::function<void(const QString& plain, const QString& html)>;

  TQtRichEdit();
  ~TQtRichEdit() override;

  void Clear() override;
  void AppendLine(std::string_view text) override;
  void ReplaceLine(int line, std::string_view text) override;

  int LineCount() const override;
  int LineFromChar(int pos) const override;
  int LineIndex(int line) const override;
  int TextLength() const override;
  std::string Text() const override;

  void SetSelection(int start, int length) override;
  int SelStart() const override { return selStart_; }
  int SelLength() const override { return selLength_; }
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

  // The document to show. It stays owned by this object. Edits made to it
  // directly (typing in the editor) are taken into account; without a
  // layout the document does not say where they were, and positions are
  // recounted from the top once.
  QTextDocument* Document() const { return doc_.get(); }

  // Byte position -> document position of the character holding it (a line
  // break maps to its block's end, the end of the text to the document's).
  int DocumentFromByte(int bytePos) const;
  // Document position -> byte position of the character there.
  int ByteFromDocument(int documentPos) const;
  // The detected link covering a byte position; none while detection is off.
  std::optional<TLinkRange> LinkAt(int bytePos) const;

  // Called with the document position to bring into view whenever the
  // selection is set (its end), and when the view should scroll to the top.
  std::function<void(int documentPos)> OnScrollIntoView;
  std::function<void()> OnScrollToTop;
  // Called with the selection in document positions whenever it is set, so
  // that an editor can show it.
  std::function<void(int documentStart, int documentEnd)> OnSelectionChanged;

  // Where CopySelection puts the text; the system clipboard by default.
  void SetClipboardSink(TClipboardSink sink) { clipboard_ = std::move(sink); }

 private:
  struct Piece;

  void OnContentsChange(int position, int charsRemoved, int charsAdded);
  void OnContentsChanged();
  void Invalidate(int fromBlock) const;
  void ExtendCache() const;
  int BlockStart(int block) const;  // byte position
  int BreakWidth(const QTextBlock& block) const;
  int BlockOfByte(int pos) const;
  std::string LineBytes(int block) const;  // the line's text without its break
  std::string Bytes(int from, int to) const;
  // Byte -> document position: the character holding pos, or (roundUp) the
  // first character boundary at or after pos.
  int ToDocument(int bytePos, bool roundUp, int* blockNumber = nullptr) const;
  // Block by number, a step from the block used last when it is near.
  QTextBlock BlockByNumber(int number) const;

  // Replaces document positions [from, to) of one block by the GBK text,
  // which may hold line breaks, in the given program format.
  void Splice(int block, int from, int to, std::string_view text,
              const TCharFormat& format);
  // Joins a lone CR break with an empty line broken by a lone LF after it,
  // as the bytes read: one CR LF break.
  void JoinBreaks(int firstBlock, int lastBlock);
  void SetBreak(const QTextBlock& block, int kind);

  template <typename F>
  void FormatDocumentRange(int from, int to, int firstBlock, F change);
  template <typename F>
  void FormatSelection(F change);
  void MarkLinks(int firstBlock, int lastBlock);
  TCharFormat ProgramFormatOfDocumentPos(int documentPos) const;
  TCharFormat ProgramFormatIn(const QTextBlock& block, int blockStart,
                              int documentPos) const;

  std::unique_ptr<QTextDocument> doc_;
  mutable std::vector<int> starts_;     // byte start of blocks 0..size-1, valid
  mutable std::vector<int> docStarts_;  // their document positions
  mutable int textLength_ = -1;         // -1: not known
  mutable QTextBlock hotBlock_;
  mutable int hotNumber_ = -1;  // -1: hotBlock_ is not to be used
  bool ownEdit_ = false;        // an edit of ours is under way
  bool changeLocated_ = false;  // the last foreign edit came with its position
  int selStart_ = 0;
  int selLength_ = 0;
  double firstIndent_ = 0;
  double leftIndent_ = 0;
  QTextBlockFormat blockFormat_;
  bool urlDetect_ = false;
  TClipboardSink clipboard_;
};

}  // namespace velmora
