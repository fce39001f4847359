#include "platform/qt/ResultViewWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtRichEdit.h"

namespace velmora {
namespace {

// Room between the view's edges and the text, on every side.
constexpr int kMargin = 4;

}  // namespace

unsigned MouseMessageFor(QEvent::Type type, Qt::MouseButton button) {
  if (type == QEvent::MouseMove) return WM_MOUSEMOVE;
  unsigned base = button == Qt::RightButton    ? WM_RBUTTONDOWN
                  : button == Qt::MiddleButton ? WM_MBUTTONDOWN
                                               : WM_LBUTTONDOWN;
  switch (type) {
    case QEvent::MouseButtonRelease:
      return base + 1;
    case QEvent::MouseButtonDblClick:
      return base + 2;
    default:
      return base;
  }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (modifiers & Qt::ShiftModifier) s |= ssShift;
  if (modifiers & Qt::AltModifier) s |= ssAlt;
  if (modifiers & Qt::ControlModifier) s |= ssCtrl;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

TResultViewWidget::TResultViewWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  // Moves over links are reported too, with no button held.
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(false);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  updateTimer_ = new QTimer(this);
  updateTimer_->setSingleShot(true);
  connect(updateTimer_, &QTimer::timeout, this, [this] { Flush(); });
  blinkTimer_ = new QTimer(this);
  blinkTimer_->setInterval(
      QApplication::cursorFlashTime() > 0 ? QApplication::cursorFlashTime() / 2 : 500);
  connect(blinkTimer_, &QTimer::timeout, this, [this] {
    caretVisible_ = !caretVisible_;
    if (edit_) viewport()->update(CursorRect(edit_->Caret()).adjusted(-2, -1, 2, 1));
  });
  verticalScrollBar()->setSingleStep(20);
  sinceFlush_.start();
}

TResultViewWidget::~TResultViewWidget() {
  SetEdit(nullptr);
}

void TResultViewWidget::SetEdit(TQtRichEdit* edit) {
  if (edit_) {
    edit_->OnChanged = nullptr;
    edit_->OnScrollIntoView = nullptr;
    edit_->OnScrollToTop = nullptr;
  }
  edit_ = edit;
  if (!edit_) return;
  edit_->OnChanged = [this] { ScheduleUpdate(); };
  edit_->OnScrollIntoView = [this](int pos) {
    if (pinTop_) return;
    pendingScroll_ = pos;
    pendingTop_ = false;
    ScheduleUpdate();
  };
  // At once: callers look at the view right after.
  edit_->OnScrollToTop = [this] {
    pendingScroll_.reset();
    pendingTop_ = true;
    Flush();
  };
  edit_->SetLayoutWidth(viewport()->width() - 2 * kMargin);
  ScheduleUpdate();
}

void TResultViewWidget::SetZoom(int percent) {
  if (!edit_) return;
  // The line at the top stays at the top.
  int line = edit_->LineAtY(Top());
  edit_->SetZoom(percent);
  edit_->EnsureLaidOut(line, line);
  UpdateScrollBars();
  verticalScrollBar()->setValue(int(edit_->LineTop(line)));
  viewport()->update();
}

int TResultViewWidget::Zoom() const {
  return edit_ ? edit_->Zoom() : 100;
}

long long TResultViewWidget::Top() const {
  return verticalScrollBar()->value();
}

// ---- showing changes ------------------------------------------------------

void TResultViewWidget::PinTop(bool pin) {
  pinTop_ = pin;
  if (!pin) return;
  pendingScroll_.reset();
  pendingTop_ = true;
  ScheduleUpdate();
}

void TResultViewWidget::ScheduleUpdate() {
  if (updateTimer_->isActive()) return;
  qint64 since = sinceFlush_.elapsed();
  updateTimer_->start(int(std::max<qint64>(0, kRepaintInterval - since)));
}

void TResultViewWidget::Flush() {
  updateTimer_->stop();
  sinceFlush_.restart();
  if (!edit_) return;
  UpdateScrollBars();
  if (pendingTop_) {
    pendingTop_ = false;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
  }
  // While the user holds the thumb, the view stays where it is dragged.
  if (pendingScroll_ && !verticalScrollBar()->isSliderDown()) {
    int pos = *pendingScroll_;
    pendingScroll_.reset();
    ScrollToCaret(pos);
  }
  viewport()->update();
}

void TResultViewWidget::UpdateScrollBars() {
  if (!edit_) return;
  int page = viewport()->height();
  long long total = edit_->DocumentHeight() + 2 * kMargin;
  QScrollBar* v = verticalScrollBar();
  v->setPageStep(std::max(page, 1));
  v->setRange(0, int(std::clamp<long long>(total - page, 0, INT32_MAX)));
  QScrollBar* h = horizontalScrollBar();
  int width = viewport()->width();
  h->setPageStep(std::max(width, 1));
  h->setRange(0, std::max(0, edit_->ContentWidth() + 2 * kMargin - width));
}

void TResultViewWidget::ScrollToCaret(int pos) {
  QRectF r = edit_->CaretRect(pos);
  int page = viewport()->height() - 2 * kMargin;
  int line = edit_->LineFromChar(pos);
  if (r.bottom() > Top() + page) {
    // The lines that end up on screen above it are laid out first, so that
    // their true heights place it.
    long long need = page;
    for (int j = line; j >= 0 && need > 0; --j) {
      edit_->EnsureLaidOut(j, j);
      need -= edit_->LineHeight(j);
    }
    r = edit_->CaretRect(pos);
    UpdateScrollBars();
    verticalScrollBar()->setValue(int(std::ceil(r.bottom())) - page);
  } else if (r.top() < Top()) {
    verticalScrollBar()->setValue(int(r.top()));
  }
  QScrollBar* h = horizontalScrollBar();
  int x = int(r.left()) + kMargin;
  if (x < h->value())
    h->setValue(x);
  else if (x >= h->value() + viewport()->width())
    h->setValue(x - viewport()->width() + 2 * kMargin);
}

void TResultViewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
  if (!edit_) return;
  painter.translate(kMargin, kMargin);
  TQtRichEdit::TPaintOptions options;
  options.top = Top();
  options.height = viewport()->height() - kMargin;
  options.left = horizontalScrollBar()->value();
  options.showSelection = hasFocus();
  options.showCaret = hasFocus() && caretVisible_;
  options.highlight = palette().color(QPalette::Highlight);
  options.highlightedText = palette().color(QPalette::HighlightedText);
  edit_->SetTextColor(palette().color(QPalette::Text));
  long long oldTotal = edit_->DocumentHeight();
  int oldWidth = edit_->ContentWidth();
  edit_->Paint(painter, options);
  painted_ = {edit_->LineAtY(options.top),
              edit_->LineAtY(options.top + std::max(options.height - 1, 0))};
  // Lines laid out now have their true heights: the bars follow.
  if (edit_->DocumentHeight() != oldTotal || edit_->ContentWidth() != oldWidth)
    QTimer::singleShot(0, this, [this] { UpdateScrollBars(); });
}

void TResultViewWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!edit_) return;
  // The line at the top stays there, as far into it as it was.
  int line = edit_->LineAtY(Top());
  long long into = Top() - edit_->LineTop(line);
  edit_->SetLayoutWidth(viewport()->width() - 2 * kMargin);
  edit_->EnsureLaidOut(line, line);
  into = std::min<long long>(into, edit_->LineHeight(line) - 1);
  UpdateScrollBars();
  verticalScrollBar()->setValue(int(edit_->LineTop(line) + std::max(into, 0LL)));
}

void TResultViewWidget::scrollContentsBy(int, int) {
  viewport()->update();
}

// ---- mouse ----------------------------------------------------------------

int TResultViewWidget::HitTest(const QPoint& p, bool exact) {
  if (!edit_) return -1;
  QPointF doc(p.x() - kMargin + horizontalScrollBar()->value(),
              p.y() - kMargin + double(Top()));
  return edit_->HitTest(doc, exact);
}

QRect TResultViewWidget::CursorRect(int bytePos) {
  if (!edit_) return {};
  QRectF r = edit_->CaretRect(bytePos);
  r.translate(kMargin - horizontalScrollBar()->value(), kMargin - double(Top()));
  return r.toAlignedRect();
}

std::optional<TLinkRange> TResultViewWidget::LinkAtPoint(const QPoint& clientPoint) {
  if (!edit_) return std::nullopt;
  // Exact hits only: a point past the end of a line is not on its last letter.
  int pos = HitTest(clientPoint, true);
  if (pos < 0) return std::nullopt;
  return edit_->LinkAt(pos);
}

void TResultViewWidget::NotifyLink(QMouseEvent* event, unsigned mouseMessage) {
  if (!(eventMask_ & ENM_LINK) || !OnNotify) return;
  std::optional<TLinkRange> link = LinkAtPoint(event->position().toPoint());
  if (!link) return;
  ENLINK record;
  record.nmhdr.hwndFrom = this;
  record.nmhdr.code = EN_LINK;
  record.msg = mouseMessage;
  record.chrg.cpMin = link->Start;
  record.chrg.cpMax = link->Start + link->Length;
  TMessage message;
  message.Msg = WM_NOTIFY;
  message.LParam = reinterpret_cast<std::intptr_t>(&record);
  OnNotify(message);
}

void TResultViewWidget::MoveCaret(int pos, bool extend) {
  if (!edit_) return;
  edit_->SetAnchorAndCaret(extend ? edit_->Anchor() : pos, pos);
  RestartBlink();
  Flush();
}

void TResultViewWidget::mousePressEvent(QMouseEvent* event) {
  NotifyLink(event, MouseMessageFor(event->type(), event->button()));
  if (OnMouseDown) {
    TMouseButton button = event->button() == Qt::RightButton    ? TMouseButton::mbRight
                          : event->button() == Qt::MiddleButton ? TMouseButton::mbMiddle
                                                                : TMouseButton::mbLeft;
    QPoint p = event->position().toPoint();
    OnMouseDown(button, ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
  }
  event->accept();
  // The view has no context menu of its own; the owner opens one.
  if (event->button() != Qt::LeftButton || !edit_) return;
  int pos = HitTest(event->position().toPoint(), false);
  caretX_.reset();
  selecting_ = true;
  MoveCaret(pos, event->modifiers() & Qt::ShiftModifier);
}

void TResultViewWidget::OfferSelection() {
  if (edit_ && !writing_) edit_->OfferSelection();
}

void TResultViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  NotifyLink(event, MouseMessageFor(event->type(), event->button()));
  if (event->button() == Qt::LeftButton && std::exchange(selecting_, false))
    OfferSelection();
  event->accept();
}

void TResultViewWidget::mouseMoveEvent(QMouseEvent* event) {
  bool overLink = (eventMask_ & ENM_LINK) && LinkAtPoint(event->position().toPoint());
  viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  NotifyLink(event, WM_MOUSEMOVE);
  if (selecting_ && (event->buttons() & Qt::LeftButton) && edit_) {
    // Past the edges the caret's line scrolls into view: dragging selects on.
    MoveCaret(HitTest(event->position().toPoint(), false), true);
  }
  event->accept();
}

void TResultViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  NotifyLink(event, MouseMessageFor(event->type(), event->button()));
  event->accept();
  if (event->button() != Qt::LeftButton || !edit_) return;
  auto [from, to] = edit_->WordAt(HitTest(event->position().toPoint(), false));
  edit_->SetAnchorAndCaret(from, to);
  Flush();
  OfferSelection();
}

void TResultViewWidget::contextMenuEvent(QContextMenuEvent* event) {
  // No menu of its own: the owner opens its menu from the mouse-down event.
  event->accept();
}

// ---- keyboard -------------------------------------------------------------

bool TResultViewWidget::event(QEvent* event) {
  // Ctrl+C and the like are the view's own keys, not window shortcuts.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
        key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Undo) ||
        key->matches(QKeySequence::SelectAll)) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

bool TResultViewWidget::focusNextPrevChild(bool) {
  // Tab inserts a tab; the focus does not move on.
  return false;
}

bool TResultViewWidget::UserEdit(const std::function<void()>& change) {
  // While the program writes, the selection is its working cursor.
  if (writing_ || !edit_) return false;
  change();
  caretX_.reset();
  RestartBlink();
  Flush();
  return true;
}

void TResultViewWidget::Paste() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return;
  QString text = data->text();
  UserEdit([&] { edit_->EditSelection(GbkFromQString(text)); });
}

void TResultViewWidget::keyPressEvent(QKeyEvent* event) {
  if (!edit_) return;
  if (StandardKey(*event) || MoveKey(*event) || EditKey(*event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TResultViewWidget::StandardKey(const QKeyEvent& event) {
  if (event.matches(QKeySequence::Copy)) {
    edit_->CopySelection();
  } else if (event.matches(QKeySequence::SelectAll)) {
    edit_->SetAnchorAndCaret(0, edit_->TextLength());
    Flush();
    OfferSelection();
  } else if (event.matches(QKeySequence::Paste)) {
    Paste();
  } else if (event.matches(QKeySequence::Cut)) {
    if (edit_->SelLength() > 0 && !writing_) {
      edit_->CopySelection();
      UserEdit([&] { edit_->DeleteAtCaret(true); });
    }
  } else if (event.matches(QKeySequence::Undo)) {
    UserEdit([&] { edit_->Undo(); });
  } else {
    return false;
  }
  return true;
}

bool TResultViewWidget::MoveKey(const QKeyEvent& event) {
  const bool shift = event.modifiers() & Qt::ShiftModifier;
  const bool ctrl = event.modifiers() & Qt::ControlModifier;
  const int caret = edit_->Caret();
  const int pageLines =
      std::max(1, viewport()->height() / std::max(1, fontMetrics().height()) - 1);
  switch (event.key()) {
    case Qt::Key_Left:
      MoveAcross(ctrl ? edit_->WordAt(edit_->PreviousCharPos(caret)).first
                      : edit_->PreviousCharPos(caret),
                 shift);
      return true;
    case Qt::Key_Right:
      MoveAcross(ctrl ? edit_->WordAt(caret).second : edit_->NextCharPos(caret), shift);
      return true;
    case Qt::Key_Up:
      MoveByLines(true, 1, shift);
      return true;
    case Qt::Key_Down:
      MoveByLines(false, 1, shift);
      return true;
    case Qt::Key_PageUp:
      MoveByLines(true, pageLines, shift);
      return true;
    case Qt::Key_PageDown:
      MoveByLines(false, pageLines, shift);
      return true;
    case Qt::Key_Home:
      MoveAcross(ctrl ? 0 : edit_->LineIndex(edit_->LineFromChar(caret)), shift);
      return true;
    case Qt::Key_End:
      MoveAcross(ctrl ? edit_->TextLength() : edit_->LineEnd(edit_->LineFromChar(caret)),
                 shift);
      return true;
    default:
      return false;
  }
}

// Up and down keep the caret's x across lines of different widths.
void TResultViewWidget::MoveByLines(bool up, int times, bool extend) {
  int pos = edit_->Caret();
  const qreal x = caretX_ ? *caretX_ : edit_->CaretRect(pos).left();
  for (int k = 0; k < times; ++k) pos = edit_->PositionOnNextDisplayLine(pos, x, up);
  MoveCaret(pos, extend);
  caretX_ = x;
  if (extend) OfferSelection();
}

void TResultViewWidget::MoveAcross(int pos, bool extend) {
  caretX_.reset();
  MoveCaret(pos, extend);
  if (extend) OfferSelection();
}

// Keys that change the text; false for a key the view does not take.
bool TResultViewWidget::EditKey(const QKeyEvent& event) {
  const bool shift = event.modifiers() & Qt::ShiftModifier;
  const bool ctrl = event.modifiers() & Qt::ControlModifier;
  switch (event.key()) {
    case Qt::Key_Backspace:
      UserEdit([&] { edit_->DeleteAtCaret(true); });
      return true;
    case Qt::Key_Delete:
      if (shift) {  // Shift+Delete cuts
        if (edit_->SelLength() > 0 && !writing_) edit_->CopySelection();
      }
      UserEdit([&] { edit_->DeleteAtCaret(false); });
      return true;
    case Qt::Key_Insert:
      if (ctrl) edit_->CopySelection();
      if (shift) Paste();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      UserEdit([&] { edit_->EditSelection("\r\n"); });
      return true;
    case Qt::Key_Tab:
      UserEdit([&] { edit_->EditSelection("\t"); });
      return true;
    default: {
      const QString text = event.text();
      const bool printable =
          !text.isEmpty() && !ctrl && std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.isPrint() || c == '\t';
          });
      if (!printable) return false;
      UserEdit([&] { edit_->EditSelection(GbkFromQString(text)); });
      return true;
    }
  }
}

void TResultViewWidget::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) {
    QString text = event->commitString();
    UserEdit([&] { edit_->EditSelection(GbkFromQString(text)); });
  }
  event->accept();
}

void TResultViewWidget::RestartBlink() {
  caretVisible_ = true;
  if (hasFocus()) blinkTimer_->start();
}

void TResultViewWidget::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RestartBlink();
  viewport()->update();
}

void TResultViewWidget::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blinkTimer_->stop();
  viewport()->update();
}

}  // namespace velmora
