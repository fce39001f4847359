#include "platform/richedit/QtRichEdit.h"

#include <QClipboard>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>

#include "platform/classes/Gbk.h"
#include "platform/richedit/TextLayout.h"

namespace velmora {
namespace {

// How a block's line break was written, kept in the block's user state. New
// blocks (-1, for example from typing Enter in the editor) count as CR LF.
constexpr int kBreakCrLf = 0;
constexpr int kBreakLf = 1;
constexpr int kBreakCr = 2;

int BreakKind(const QTextBlock& block) {
  int state = block.userState();
  return state == kBreakLf || state == kBreakCr ? state : kBreakCrLf;
}

const char* BreakBytes(int kind) {
  return kind == kBreakLf ? "\n" : kind == kBreakCr ? "\r" : "\r\n";
}

// The program's own format rides along in user properties.
constexpr int kColorProperty = QTextFormat::UserProperty + 0x5601;
constexpr int kStyleProperty = QTextFormat::UserProperty + 0x5602;

const QColor kLinkColor(0, 0, 255);

QString ToQString(std::string_view gbk) {
  std::u32string text = gbk::Decode(gbk);
  return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

// Calls f(utf16Offset, utf16Length, codePoint) for each character of s.
template <typename F>
void ForEachChar(const QString& s, F f) {
  for (qsizetype i = 0; i < s.size();) {
    char32_t c = s[i].unicode();
    int length = 1;
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(s[i], s[i + 1]);
      length = 2;
    }
    if (!f(int(i), length, c)) return;
    i += length;
  }
}

std::string ToGbk(const QString& s) {
  std::u32string text;
  text.reserve(s.size());
  ForEachChar(s, [&](int, int, char32_t c) {
    text += QChar::isSurrogate(c) ? char32_t(0xFFFD) : c;
    return true;
  });
  return gbk::Encode(text);
}

int ByteLength(const QString& s) {
  int bytes = 0;
  ForEachChar(s, [&](int, int, char32_t c) {
    bytes += gbk::EncodedLength(c);
    return true;
  });
  return bytes;
}

TCharFormat ProgramFormat(const QTextCharFormat& f) {
  TCharFormat p;
  if (f.hasProperty(kColorProperty)) p.Color = f.property(kColorProperty).toUInt();
  if (f.hasProperty(kStyleProperty)) p.Style = f.property(kStyleProperty).toUInt();
  return p;
}

// Stores the program's format and what it looks like, links included.
void SetFormat(QTextCharFormat& f, const TCharFormat& p) {
  if (p.Color == clDefault)
    f.clearProperty(kColorProperty);
  else
    f.setProperty(kColorProperty, uint(p.Color));
  if (p.Style == 0)
    f.clearProperty(kStyleProperty);
  else
    f.setProperty(kStyleProperty, uint(p.Style));

  bool link = f.isAnchor();
  if ((p.Color & 0xFF000000) == 0)  // an RGB value, not a symbolic colour
    f.setForeground(QColor(GetRValue(p.Color), GetGValue(p.Color), GetBValue(p.Color)));
  else if (link)
    f.setForeground(kLinkColor);
  else
    f.clearForeground();
  auto flag = [&f](int property, bool on) {
    if (on)
      f.setProperty(property, true);
    else
      f.clearProperty(property);
  };
  if (p.Style & fsBold)
    f.setFontWeight(QFont::Bold);
  else
    f.clearProperty(QTextFormat::FontWeight);
  flag(QTextFormat::FontItalic, p.Style & fsItalic);
  flag(QTextFormat::FontStrikeOut, p.Style & fsStrikeOut);
  if ((p.Style & fsUnderline) || link) {
    f.setFontUnderline(true);
  } else {
    f.clearProperty(QTextFormat::FontUnderline);
    f.clearProperty(QTextFormat::TextUnderlineStyle);
  }
}

QTextCharFormat MakeFormat(const TCharFormat& p) {
  QTextCharFormat f;
  SetFormat(f, p);
  return f;
}

double PointsToPixels(double pt) {
  return pt * 96.0 / 72.0;
}

}  // namespace

namespace {

// Marks the edits this object makes itself; it keeps its positions up to
// date on its own.
class OwnEdit {
 public:
  explicit OwnEdit(bool& flag) : flag_(flag), old_(flag) { flag = true; }
  ~OwnEdit() { flag_ = old_; }
  OwnEdit(const OwnEdit&) = delete;
  OwnEdit& operator=(const OwnEdit&) = delete;

 private:
  bool& flag_;
  bool old_;
};

}  // namespace

struct TQtRichEdit::Piece {
  std::string_view text;
  int breakKind;  // -1: no break after it
};

TQtRichEdit::TQtRichEdit() : doc_(std::make_unique<QTextDocument>()) {
  doc_->setUndoRedoEnabled(false);  // the view is rewritten, never undone
  connect(doc_.get(), &QTextDocument::contentsChange, this,
          &TQtRichEdit::OnContentsChange);
  connect(doc_.get(), &QTextDocument::contentsChanged, this,
          &TQtRichEdit::OnContentsChanged);
  Clear();
}

TQtRichEdit::~TQtRichEdit() {
  doc_->disconnect(this);
}

// ---- byte positions -------------------------------------------------------

// Someone else edited the document (typing in an editor). With a layout the
// document says where; without one only that something changed.
void TQtRichEdit::OnContentsChange(int position, int, int) {
  if (ownEdit_) return;
  Invalidate(doc_->findBlock(position).blockNumber());
  changeLocated_ = true;
}

void TQtRichEdit::OnContentsChanged() {
  if (!ownEdit_ && !changeLocated_) Invalidate(0);
  changeLocated_ = false;
}

void TQtRichEdit::Invalidate(int fromBlock) const {
  if (fromBlock < 0) fromBlock = 0;
  if (int(starts_.size()) > fromBlock + 1) {
    starts_.resize(fromBlock + 1);
    docStarts_.resize(fromBlock + 1);
  }
  textLength_ = -1;
  if (hotNumber_ >= fromBlock) hotNumber_ = -1;
}

QTextBlock TQtRichEdit::BlockByNumber(int number) const {
  // Work goes on at the end of the view, block after block: one step from
  // the block used last instead of a search from the top.
  if (hotNumber_ >= 0 && number == hotNumber_ + 1)
    hotBlock_ = hotBlock_.next();
  else if (hotNumber_ < 0 || number != hotNumber_)
    hotBlock_ = doc_->findBlockByNumber(number);
  hotNumber_ = hotBlock_.isValid() ? number : -1;
  return hotBlock_;
}

int TQtRichEdit::BreakWidth(const QTextBlock& block) const {
  if (!block.next().isValid()) return 0;
  return BreakKind(block) == kBreakCrLf ? 2 : 1;
}

void TQtRichEdit::ExtendCache() const {
  int count = doc_->blockCount();
  if (starts_.empty()) {
    starts_.push_back(0);
    docStarts_.push_back(0);
  }
  if (int(starts_.size()) >= count) return;
  QTextBlock block = BlockByNumber(int(starts_.size()) - 1);
  for (; int(starts_.size()) < count; block = block.next()) {
    starts_.push_back(starts_.back() + ByteLength(block.text()) + BreakWidth(block));
    docStarts_.push_back(docStarts_.back() + block.length());
  }
}

int TQtRichEdit::BlockStart(int block) const {
  ExtendCache();
  return starts_[block];
}

int TQtRichEdit::BlockOfByte(int pos) const {
  ExtendCache();
  if (pos >= starts_.back()) return int(starts_.size()) - 1;  // the usual question
  auto it = std::upper_bound(starts_.begin(), starts_.end(), pos);
  return it == starts_.begin() ? 0 : int(it - starts_.begin()) - 1;
}

int TQtRichEdit::LineCount() const {
  return doc_->blockCount();
}

int TQtRichEdit::LineFromChar(int pos) const {
  return BlockOfByte(pos);
}

int TQtRichEdit::LineIndex(int line) const {
  return line >= 0 && line < LineCount() ? BlockStart(line) : -1;
}

int TQtRichEdit::TextLength() const {
  if (textLength_ < 0) {
    ExtendCache();
    textLength_ = starts_.back() + ByteLength(doc_->lastBlock().text());
  }
  return textLength_;
}

std::string TQtRichEdit::LineBytes(int block) const {
  return ToGbk(BlockByNumber(block).text());
}

std::string TQtRichEdit::Bytes(int from, int to) const {
  if (to <= from) return {};
  int first = BlockOfByte(from);
  std::string bytes;
  int start = BlockStart(first);
  QTextBlock block = BlockByNumber(first);
  while (block.isValid() && start + int(bytes.size()) < to) {
    bytes += ToGbk(block.text());
    if (block.next().isValid()) bytes += BreakBytes(BreakKind(block));
    block = block.next();
  }
  return bytes.substr(from - start, to - from);
}

std::string TQtRichEdit::Text() const {
  return Bytes(0, TextLength());
}

int TQtRichEdit::ToDocument(int bytePos, bool roundUp, int* blockNumber) const {
  int number = bytePos <= 0 ? 0 : BlockOfByte(bytePos);
  if (blockNumber) *blockNumber = number;
  if (bytePos <= 0) return 0;
  if (bytePos >= TextLength()) return doc_->characterCount() - 1;
  QTextBlock block = BlockByNumber(number);
  int offset = bytePos - starts_[number];
  int bytes = 0;
  int result = -1;
  QString text = block.text();
  ForEachChar(text, [&](int at, int length, char32_t c) {
    int width = gbk::EncodedLength(c);
    if (offset == bytes)
      result = at;
    else if (offset < bytes + width)
      result = roundUp ? at + length : at;
    bytes += width;
    return result < 0;
  });
  if (result < 0) {  // inside the line break
    result = int(text.size());
    if (roundUp && offset > bytes) ++result;
  }
  return docStarts_[number] + result;
}

int TQtRichEdit::DocumentFromByte(int bytePos) const {
  return ToDocument(bytePos, false);
}

int TQtRichEdit::ByteFromDocument(int documentPos) const {
  documentPos = std::clamp(documentPos, 0, doc_->characterCount() - 1);
  QTextBlock block = doc_->findBlock(documentPos);
  int inBlock = documentPos - block.position();
  int bytes = 0;
  ForEachChar(block.text(), [&](int at, int length, char32_t c) {
    if (at + length > inBlock) return false;
    bytes += gbk::EncodedLength(c);
    return true;
  });
  return BlockStart(block.blockNumber()) + bytes;
}

// ---- editing --------------------------------------------------------------

// Callers drop the cached positions from the block on.
void TQtRichEdit::SetBreak(const QTextBlock& block, int kind) {
  QTextBlock b = block;
  b.setUserState(kind);
}

void TQtRichEdit::Splice(int number, int from, int to, std::string_view text,
                         const TCharFormat& format) {
  std::vector<Piece> pieces;
  size_t begin = 0;
  for (size_t i = 0; i < text.size();) {
    int width = richedit::BreakWidthAt(text, i);
    if (width == 0) {
      ++i;
      continue;
    }
    pieces.push_back({text.substr(begin, i - begin), width == 2        ? kBreakCrLf
                                                     : text[i] == '\n' ? kBreakLf
                                                                       : kBreakCr});
    i += width;
    begin = i;
  }
  pieces.push_back({text.substr(begin), -1});

  OwnEdit own(ownEdit_);
  int ownKind = BreakKind(BlockByNumber(number));
  Invalidate(number);
  QTextCharFormat qformat = MakeFormat(format);
  QTextCursor cursor(doc_.get());
  // One edit block: the cursor then skips laying lines out on every move.
  cursor.beginEditBlock();
  cursor.setPosition(from);
  if (to > from) {
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
  for (const Piece& piece : pieces) {
    if (!piece.text.empty()) cursor.insertText(ToQString(piece.text), qformat);
    if (piece.breakKind >= 0) cursor.insertBlock(blockFormat_, qformat);
  }
  int last = number + int(pieces.size()) - 1;
  for (int j = number; j <= last; ++j)
    SetBreak(BlockByNumber(j), j < last ? pieces[j - number].breakKind : ownKind);
  JoinBreaks(number - 1, last);
  if (urlDetect_) MarkLinks(number - 1, last);
  cursor.endEditBlock();
}

void TQtRichEdit::JoinBreaks(int first, int last) {
  for (int j = std::max(first, 0); j <= last && j + 2 < doc_->blockCount(); ++j) {
    QTextBlock block = BlockByNumber(j);
    QTextBlock next = block.next();
    if (BreakKind(block) != kBreakCr || next.length() != 1 || BreakKind(next) != kBreakLf)
      continue;
    // Remove the CR block's separator; the empty line's LF separator stays.
    QTextCursor cursor(doc_.get());
    int separator = block.position() + block.length() - 1;
    cursor.setPosition(separator);
    cursor.setPosition(separator + 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    Invalidate(j);  // the merged block may live on in the other's node
    SetBreak(BlockByNumber(j), kBreakCrLf);
    --last;
  }
}

void TQtRichEdit::Clear() {
  OwnEdit own(ownEdit_);
  QFont font = doc_->defaultFont();
  doc_->clear();
  doc_->setDefaultFont(font);
  doc_->setUndoRedoEnabled(false);
  starts_.clear();
  docStarts_.clear();
  textLength_ = -1;
  hotNumber_ = -1;
  QTextCursor cursor(doc_.get());
  cursor.setBlockFormat(blockFormat_);
  cursor.setBlockCharFormat(QTextCharFormat());
  SetBreak(doc_->firstBlock(), kBreakCrLf);
  selStart_ = selLength_ = 0;
}

void TQtRichEdit::AppendLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  int end = doc_->characterCount() - 1;
  Splice(doc_->blockCount() - 1, end, end, line, TCharFormat{});
}

void TQtRichEdit::ReplaceLine(int line, std::string_view text) {
  if (line < 0 || line >= LineCount()) return;
  QTextBlock block = doc_->findBlockByNumber(line);
  int from = block.position();
  int to = from + block.length() - 1;
  // Text that replaces nothing continues the format before it.
  TCharFormat format = to > from  ? ProgramFormatOfDocumentPos(from)
                       : line > 0 ? ProgramFormatOfDocumentPos(from - 1)
                                  : TCharFormat{};
  Splice(line, from, to, text, format);
  int length = TextLength();
  selStart_ = std::min(selStart_, length);
  selLength_ = std::min(selLength_, length - selStart_);
}

// ---- selection and format -------------------------------------------------

void TQtRichEdit::SetSelection(int start, int length) {
  int size = TextLength();
  richedit::TSelectionRange kept = richedit::ClampSelection(start, length, size);
  selStart_ = kept.Start;
  selLength_ = kept.Length;
  if (OnSelectionChanged)
    OnSelectionChanged(ToDocument(selStart_, false),
                       ToDocument(selStart_ + selLength_, true));
  if (OnScrollIntoView) OnScrollIntoView(ToDocument(selStart_ + selLength_, true));
}

std::string TQtRichEdit::SelectedText() const {
  return Bytes(selStart_, selStart_ + selLength_);
}

TCharFormat TQtRichEdit::ProgramFormatOfDocumentPos(int documentPos) const {
  QTextBlock block = doc_->findBlock(documentPos);
  return ProgramFormatIn(block, block.position(), documentPos);
}

TCharFormat TQtRichEdit::ProgramFormatIn(const QTextBlock& block, int blockStart,
                                         int documentPos) const {
  if (documentPos == blockStart + block.length() - 1) {
    // A line break: its separator's format is the next block's char format.
    return block.next().isValid() ? ProgramFormat(block.next().charFormat())
                                  : TCharFormat{};
  }
  int end = blockStart;
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    QTextFragment fragment = it.fragment();
    end += fragment.length();
    if (documentPos < end) return ProgramFormat(fragment.charFormat());
  }
  return TCharFormat{};
}

TCharFormat TQtRichEdit::FormatAt(int pos) const {
  if (pos < 0 || pos >= TextLength()) return TCharFormat{};
  // The block comes from the caches: tools read formats byte after byte.
  int number;
  int documentPos = ToDocument(pos, false, &number);
  return ProgramFormatIn(BlockByNumber(number), docStarts_[number], documentPos);
}

template <typename F>
void TQtRichEdit::FormatDocumentRange(int from, int to, int firstBlock, F change) {
  struct Change {
    int from, to;
    QTextCharFormat format;
  };
  std::vector<Change> changes;
  ExtendCache();
  QTextBlock block = BlockByNumber(firstBlock);
  for (int at = docStarts_[firstBlock]; block.isValid() && at < to;
       at += block.length(), block = block.next()) {
    int fragmentStart = at;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      QTextFragment fragment = it.fragment();
      int a = std::max(from, fragmentStart);
      fragmentStart += fragment.length();
      int b = std::min(to, fragmentStart);
      if (a < b) changes.push_back({a, b, fragment.charFormat()});
    }
    int separator = at + block.length() - 1;
    if (block.next().isValid() && separator >= from && separator < to)
      changes.push_back({separator, separator + 1, block.next().charFormat()});
  }
  OwnEdit own(ownEdit_);
  QTextCursor cursor(doc_.get());
  cursor.beginEditBlock();
  for (Change& c : changes) {
    TCharFormat p = ProgramFormat(c.format);
    change(p, c.format);
    cursor.setPosition(c.from);
    cursor.setPosition(c.to, QTextCursor::KeepAnchor);
    cursor.setCharFormat(c.format);
  }
  cursor.endEditBlock();
}

template <typename F>
void TQtRichEdit::FormatSelection(F change) {
  if (selLength_ == 0) return;
  int block;
  int from = ToDocument(selStart_, false, &block);
  FormatDocumentRange(from, ToDocument(selStart_ + selLength_, true), block,
                      [&change](TCharFormat& p, QTextCharFormat& f) {
                        change(p);
                        SetFormat(f, p);
                      });
}

void TQtRichEdit::SetSelColor(TColor color) {
  FormatSelection([color](TCharFormat& p) { p.Color = color; });
}

void TQtRichEdit::SetSelStyle(TFontStyles style) {
  FormatSelection([style](TCharFormat& p) { p.Style = style; });
}

void TQtRichEdit::SetParagraphIndents(double firstLineIndentPt, double leftIndentPt) {
  firstIndent_ = firstLineIndentPt;
  leftIndent_ = leftIndentPt;
  // Wrapped lines sit leftIndent further in than the first line.
  blockFormat_.setLeftMargin(PointsToPixels(firstLineIndentPt + leftIndentPt));
  blockFormat_.setTextIndent(-PointsToPixels(leftIndentPt));
  OwnEdit own(ownEdit_);
  QTextCursor cursor(doc_.get());
  cursor.select(QTextCursor::Document);
  cursor.mergeBlockFormat(blockFormat_);
}

// ---- links ----------------------------------------------------------------

// Marks the detected links of blocks first..last as anchors and unmarks what
// is no longer a link (everything while detection is off).
void TQtRichEdit::MarkLinks(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, doc_->blockCount() - 1);
  struct Change {
    int from, to;
    QTextCharFormat format;
  };
  std::vector<Change> changes;
  QTextBlock block = BlockByNumber(first);
  for (int j = first, at = block.position(); j <= last && block.isValid();
       ++j, at += block.length(), block = block.next()) {
    QString text = block.text();
    // Links by document offset within the block.
    std::vector<std::pair<int, int>> links;
    if (urlDetect_) {
      std::vector<TLinkRange> byteLinks = richedit::FindLinks(ToGbk(text));
      size_t k = 0;
      int bytes = 0, linkStart = 0;
      ForEachChar(text, [&](int at, int length, char32_t c) {
        if (k < byteLinks.size() && bytes == byteLinks[k].Start) linkStart = at;
        bytes += gbk::EncodedLength(c);
        if (k < byteLinks.size() && bytes == byteLinks[k].Start + byteLinks[k].Length)
          links.push_back({linkStart, at + length}), ++k;
        return true;
      });
    }
    auto wants = [&](int offset) -> const std::pair<int, int>* {
      for (const auto& l : links)
        if (offset >= l.first && offset < l.second) return &l;
      return nullptr;
    };
    int fragmentStart = 0;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      QTextFragment fragment = it.fragment();
      int a = fragmentStart;
      int end = fragmentStart += fragment.length();
      while (a < end) {
        // Split the fragment at link boundaries.
        const std::pair<int, int>* link = wants(a);
        int b = end;
        if (link) {
          b = std::min(end, link->second);
        } else {
          for (const auto& l : links)
            if (l.first > a && l.first < b) b = l.first;
        }
        QTextCharFormat f = fragment.charFormat();
        QString href =
            link ? text.mid(link->first, link->second - link->first) : QString();
        if (f.isAnchor() != bool(link) || (link && f.anchorHref() != href)) {
          f.setAnchor(link != nullptr);
          if (link)
            f.setAnchorHref(href);
          else
            f.clearProperty(QTextFormat::AnchorHref);
          SetFormat(f, ProgramFormat(f));
          changes.push_back({at + a, at + b, f});
        }
        a = b;
      }
    }
  }
  OwnEdit own(ownEdit_);
  QTextCursor cursor(doc_.get());
  cursor.beginEditBlock();
  for (Change& c : changes) {
    cursor.setPosition(c.from);
    cursor.setPosition(c.to, QTextCursor::KeepAnchor);
    cursor.setCharFormat(c.format);
  }
  cursor.endEditBlock();
}

void TQtRichEdit::SetAutoUrlDetect(bool on) {
  if (on == urlDetect_) return;
  urlDetect_ = on;
  MarkLinks(0, doc_->blockCount() - 1);
}

std::vector<TLinkRange> TQtRichEdit::Links() const {
  if (!urlDetect_) return {};
  return richedit::FindLinks(Text());
}

std::optional<TLinkRange> TQtRichEdit::LinkAt(int bytePos) const {
  if (!urlDetect_ || bytePos < 0 || bytePos >= TextLength()) return std::nullopt;
  int line = BlockOfByte(bytePos);
  int start = BlockStart(line);
  for (TLinkRange link : richedit::FindLinks(LineBytes(line))) {
    link.Start += start;
    if (bytePos >= link.Start && bytePos < link.Start + link.Length) return link;
  }
  return std::nullopt;
}

// ---- clipboard and scrolling ----------------------------------------------

void TQtRichEdit::CopySelection() {
  if (selLength_ == 0) return;
  QString plain = ToQString(SelectedText());
  QTextCursor cursor(doc_.get());
  cursor.setPosition(ToDocument(selStart_, false));
  cursor.setPosition(ToDocument(selStart_ + selLength_, true), QTextCursor::KeepAnchor);
  QString html = QTextDocumentFragment(cursor).toHtml();
  if (clipboard_) {
    clipboard_(plain, html);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    auto* data = new QMimeData;
    data->setHtml(html);
    data->setText(plain);
    QGuiApplication::clipboard()->setMimeData(data);
  }
}

void TQtRichEdit::ScrollToTop() {
  if (OnScrollToTop) OnScrollToTop();
}

}  // namespace velmora
