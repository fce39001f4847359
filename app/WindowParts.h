// The main window and the parts we added beside its own controls (the query
// histories, the search as you type, the stroke panel, the learner's card,
// the single instance) meet here, in two small interfaces: what the window
// tells a part, and what a part may ask of the window. Neither side reaches
// into the other's members, so that a part can be added or left out without
// the window's handlers knowing more than this.
#pragma once

#include <QString>

class QKeyEvent;
class QWidget;

namespace velmora {

class IRichEdit;
struct TSearchQuery;

// The room the window leaves to its parts, in its own coordinates: the
// columns right of the banners from Left up to Right (not included), above
// the search row (whose top is RowTop) and below it (from RowBottom, the
// first line under the row and the check box) down to the result view's
// top (ViewTop). Each part keeps its own margins.
struct TPartRoom {
  int Left = 0;
  int Right = 0;
  int RowTop = 0;
  int RowBottom = 0;
  int ViewTop = 0;
};

// What the window tells each part, in the order the parts were added. Every
// call has a default that does nothing: a part overrides what it cares for.
class IWindowPart {
 public:
  virtual ~IWindowPart() = default;

  // The window's controls moved or it was resized.
  virtual void Place(const TPartRoom& /*room*/) {}
  // A search is about to run the query as read from the box. recorded: it
  // is one the user asked for (Enter, the menu, a look-up from outside),
  // not one as typed nor a walk through the history.
  virtual void SearchStarting(const TSearchQuery& /*query*/, bool /*recorded*/) {}
  // The searches asked for have run and their results are on screen. box:
  // the query box's text then; view: the result view.
  virtual void SearchShown(const QString& /*box*/, IRichEdit& /*view*/) {}
  // The user changed the query box's text.
  virtual void QueryEdited() {}
  // A key pressed in the query box; true when the part took it.
  virtual bool QueryKey(const QKeyEvent& /*key*/) { return false; }
  // The user clicked in the result view; its selection is where.
  virtual void ViewClicked(IRichEdit& /*view*/) {}
  // The extended search was turned on or off.
  virtual void SearchKindChanged(bool /*extended*/) {}
  // A search is stopped by the user (the stop button, Esc).
  virtual void SearchStopped() {}
  // The window closes.
  virtual void Closing() {}
};

// What a part may ask of the window.
class IQueryWindow {
 public:
  virtual ~IQueryWindow() = default;

  // The window itself: a parent for dialogs, and it lives as long as the
  // window does.
  virtual QWidget& Window() = 0;
  // The query box's text, and a new one for it (the cursor goes to its end).
  virtual QString QueryText() const = 0;
  virtual void SetQueryText(const QString& text) = 0;
  // Whether the extended search is on, and whether a search runs now.
  virtual bool ExtendedSearch() const = 0;
  virtual bool Searching() const = 0;
  // A query from outside the window: searched as if typed into the box and
  // Enter pressed.
  virtual void LookUp(const QString& query) = 0;
  // The query searched again, as from the history: it is not recorded.
  virtual void Revisit(const QString& query) = 0;
  // A search of the box as typed (the extended search only).
  virtual void SearchAsTyped() = 0;
  // Brings the window to the front of the desktop, restored if minimised.
  virtual void Raise() = 0;
};

}  // namespace velmora
