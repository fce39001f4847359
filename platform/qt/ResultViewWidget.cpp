#include "platform/qt/ResultViewWidget.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <algorithm>

namespace velmora {

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

TResultViewWidget::TResultViewWidget(QWidget* parent) : QTextEdit(parent) {
  // Moves over links are reported too, with no button held.
  viewport()->setMouseTracking(true);
}

void TResultViewWidget::SetZoom(int percent) {
  percent = std::clamp(percent, 50, 400);
  if (percent == zoom_) return;
  if (!baseFont_) baseFont_ = font();
  zoom_ = percent;
  QFont scaled = *baseFont_;
  if (scaled.pixelSize() > 0) {
    scaled.setPixelSize(std::max(1, (scaled.pixelSize() * percent + 50) / 100));
  } else {
    scaled.setPointSizeF(scaled.pointSizeF() * percent / 100.0);
  }
  setFont(scaled);
}

std::optional<TLinkRange> TResultViewWidget::LinkAtPoint(
    const QPoint& clientPoint) const {
  if (!linkLookup_ || !document()) return std::nullopt;
  QPointF docPoint(clientPoint.x() + horizontalScrollBar()->value(),
                   clientPoint.y() + verticalScrollBar()->value());
  // Exact hits only: a point past the end of a line is not on its last letter.
  int pos = document()->documentLayout()->hitTest(docPoint, Qt::ExactHit);
  if (pos < 0) return std::nullopt;
  return linkLookup_(pos);
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

void TResultViewWidget::mousePressEvent(QMouseEvent* event) {
  NotifyLink(event, MouseMessageFor(event->type(), event->button()));
  if (OnMouseDown) {
    TMouseButton button = event->button() == Qt::RightButton    ? TMouseButton::mbRight
                          : event->button() == Qt::MiddleButton ? TMouseButton::mbMiddle
                                                                : TMouseButton::mbLeft;
    QPoint p = event->position().toPoint();
    OnMouseDown(button, ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
  }
  // The view has no context menu of its own; the owner opens one.
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTextEdit::mousePressEvent(event);
}

void TResultViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  NotifyLink(event, MouseMessageFor(event->type(), event->button()));
  QTextEdit::mouseReleaseEvent(event);
}

void TResultViewWidget::mouseMoveEvent(QMouseEvent* event) {
  bool overLink = (eventMask_ & ENM_LINK) && LinkAtPoint(event->position().toPoint());
  viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  NotifyLink(event, WM_MOUSEMOVE);
  QTextEdit::mouseMoveEvent(event);
}

void TResultViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  NotifyLink(event, MouseMessageFor(event->type(), event->button()));
  QTextEdit::mouseDoubleClickEvent(event);
}

void TResultViewWidget::contextMenuEvent(QContextMenuEvent* event) {
  // No menu of its own: the owner opens its menu from the mouse-down event.
  event->accept();
}

}  // namespace velmora
