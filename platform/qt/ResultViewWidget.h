// The result view on screen: a scroll area that draws the rich-text control
// (TQtRichEdit) and lays out only the lines it shows. Changes from the
// program are gathered and shown at most every kRepaintInterval ms, so that a
// search writing thousands of lines a second pays for a few screens, not for
// every line. Mouse events over a link reach the owner as a link
// notification (the mouse message and the link's range in byte positions),
// and a pressed button reaches it as a mouse-down event, before the view
// handles the event itself.
//
// The user selects with mouse and keyboard, copies, and edits the text
// (typing, Backspace, Delete, Enter, Tab, paste, cut, Ctrl+Z for the user's
// own edits). While the owner writes (SetWriting), edits are ignored: the
// selection is then the program's working cursor. The selection is drawn
// only while the view has the focus, as an edit control that hides it does.
#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QEvent>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/qt/Messages.h"
#include "platform/richedit/RichEdit.h"

class QTimer;

namespace velmora {

class TQtRichEdit;

class TResultViewWidget : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // How often, at most, the view shows what the program wrote meanwhile.
  static constexpr int kRepaintInterval = 40;

  explicit TResultViewWidget(QWidget* parent = nullptr);
  ~TResultViewWidget() override;

  // The control to show; not owned, and it must outlive the view or be
  // replaced by nullptr first.
  void SetEdit(TQtRichEdit* edit);
  TQtRichEdit* Edit() const { return edit_; }

  // Which notifications the view sends; ENM_LINK for link notifications.
  void SetEventMask(std::uint32_t mask) { eventMask_ = mask; }
  std::uint32_t EventMask() const { return eventMask_; }

  // While the owner writes, the user's edits are ignored.
  void SetWriting(bool writing) { writing_ = writing; }
  bool Writing() const { return writing_; }

  // While pinned, the view shows the top of the text from its next update
  // on and does not follow the program's cursor; the user still scrolls.
  void PinTop(bool pin);

  // Text size in percent of the font's (50..400); the indents scale with it.
  void SetZoom(int percent);
  int Zoom() const;

  // The owner's WM_NOTIFY route.
  std::function<void(TMessage& message)> OnNotify;
  // Mouse button pressed; x and y in the view's client coordinates.
  std::function<void(TMouseButton button, TShiftState shift, int x, int y)> OnMouseDown;

  // The link under a point of the view's client area, if any.
  std::optional<TLinkRange> LinkAtPoint(const QPoint& clientPoint);
  // Where the caret would stand at a byte position, in client coordinates.
  QRect CursorRect(int bytePos);
  // Shows now what is pending instead of at the next interval.
  void Flush();
  // The lines the view last painted (first, last); (-1, -1) before.
  std::pair<int, int> PaintedLines() const { return painted_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void NotifyLink(QMouseEvent* event, unsigned mouseMessage);
  void ScheduleUpdate();
  void UpdateScrollBars();
  void ScrollToCaret(int pos);
  int HitTest(const QPoint& clientPoint, bool exact);
  long long Top() const;
  void MoveCaret(int pos, bool extend);
  // The steps of a key press: the standard shortcuts, the caret moves and
  // the edits; each says whether the key was its own.
  bool StandardKey(const QKeyEvent& event);
  bool MoveKey(const QKeyEvent& event);
  bool EditKey(const QKeyEvent& event);
  void MoveByLines(bool up, int times, bool extend);
  void MoveAcross(int pos, bool extend);
  // A selection the user made goes to the primary selection.
  void OfferSelection();
  bool UserEdit(const std::function<void()>& change);
  void Paste();
  void RestartBlink();

  TQtRichEdit* edit_ = nullptr;
  std::uint32_t eventMask_ = 0;
  bool writing_ = false;
  QTimer* updateTimer_ = nullptr;
  QTimer* blinkTimer_ = nullptr;
  QElapsedTimer sinceFlush_;
  std::optional<int> pendingScroll_;  // byte position to bring into view
  bool pendingTop_ = false;
  bool pinTop_ = false;
  bool caretVisible_ = true;
  bool selecting_ = false;       // a left-button drag selects
  std::optional<qreal> caretX_;  // kept across up and down moves
  std::pair<int, int> painted_{-1, -1};
};

// The mouse message for a Qt mouse event of the given kind.
unsigned MouseMessageFor(QEvent::Type type, Qt::MouseButton button);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

}  // namespace velmora
