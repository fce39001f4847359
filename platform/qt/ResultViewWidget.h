// The result view on screen: a QTextEdit over the rich-text control's
// document. Mouse events over a link reach the owner as a link notification
// (the mouse message and the link's range in byte positions), and a pressed
// button reaches it as a mouse-down event, before the editor handles the
// event itself.
#pragma once

#include <QEvent>
#include <QFont>
#include <QTextEdit>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/qt/Messages.h"
#include "platform/richedit/RichEdit.h"

namespace velmora {

class TResultViewWidget : public QTextEdit {
  Q_OBJECT

 public:
  explicit TResultViewWidget(QWidget* parent = nullptr);

  // The size of the view's text in percent of its font as set, 50 to 400;
  // values outside are clamped. Scales the text only.
  void SetZoom(int percent);
  int Zoom() const { return zoom_; }

  // The link, if any, that covers a document position.
  using TLinkLookup = std::function<std::optional<TLinkRange>(int documentPosition)>;
  void SetLinkLookup(TLinkLookup lookup) { linkLookup_ = std::move(lookup); }

  // Which notifications the view sends; ENM_LINK for link notifications.
  void SetEventMask(std::uint32_t mask) { eventMask_ = mask; }
  std::uint32_t EventMask() const { return eventMask_; }

  // The owner's WM_NOTIFY route.
  std::function<void(TMessage& message)> OnNotify;
  // Mouse button pressed; x and y in the view's client coordinates.
  std::function<void(TMouseButton button, TShiftState shift, int x, int y)> OnMouseDown;

  // The link under a point of the view's client area, if any.
  std::optional<TLinkRange> LinkAtPoint(const QPoint& clientPoint) const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void NotifyLink(QMouseEvent* event, unsigned mouseMessage);

  TLinkLookup linkLookup_;
  std::uint32_t eventMask_ = 0;
  int zoom_ = 100;
  std::optional<QFont> baseFont_;  // the font at 100 %
};

// The mouse message for a Qt mouse event of the given kind.
unsigned MouseMessageFor(QEvent::Type type, Qt::MouseButton button);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

}  // namespace velmora
