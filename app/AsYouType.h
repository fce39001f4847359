// Results as you type, for the extended search: every edit of the query box
// asks for a search of what the box holds, and a query that stands still
// for a second goes into the history as if it had been entered.
//
// The search runs in the message pump, so an edit may arrive while one
// runs. The window then asks the running search to stop and starts the new
// one once the old has returned (TForm4::SearchAsTyped); edits that arrive
// together are searched once, with the box's text of that moment.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/WindowParts.h"

class QAction;
class QLineEdit;
class QTimer;

namespace velmora {

// A timer that runs a step once, after a delay; starting it again replaces
// the step waiting. The window's is a QTimer; tests fire theirs by hand.
class IOneShot {
 public:
  virtual ~IOneShot() = default;
  virtual void Start(std::chrono::milliseconds after, std::function<void()> step) = 0;
  virtual void Stop() = 0;
};

std::unique_ptr<IOneShot> MakeQtOneShot(QObject* owner);

// An extended query as the history keeps it: the box's text without the
// spaces around it, two bytes at least, on one line.
std::string TypedQuery(const std::string& boxText);
bool IsTypedQuery(const std::string& line);

class TAsYouType : public QObject, public IWindowPart {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kStandTime{1000};

  // Searches window's box as typed; record keeps a query (GBK) that stood.
  TAsYouType(IQueryWindow& window, std::function<void(const std::string&)> record,
             QObject* parent = nullptr);
  ~TAsYouType() override;

  // Tests put in a timer of their own for the standing time.
  void SetStandTimer(std::unique_ptr<IOneShot> timer);

  // The user changed the box's text (typing, deleting, pasting, an input
  // method's commit).
  void Edited();
  // The search asked for by the last edits is not wanted any more (Stop).
  void CancelSearch();
  // Nothing waits any more: the search is off, or the window goes.
  void Cancel();

  // Edits count while the extended search is on; turning it off, the stop
  // button and closing the window end what waits.
  void QueryEdited() override;
  void SearchKindChanged(bool extended) override;
  void SearchStopped() override { CancelSearch(); }
  void Closing() override { Cancel(); }

 private:
  std::string BoxText() const;

  IQueryWindow& window_;
  std::function<void(const std::string&)> record_;
  QTimer* soon_;  // gathers the edits of one turn of the message loop
  std::unique_ptr<IOneShot> stand_;
};

// How the query box shows which search is on: with the extended search, a
// tinted box, a hint while it is empty, and a badge at its right end that
// turns the extended search off when clicked. With the standard search the
// box is as it always was. badge is the box's action made for it.
void ShowSearchKind(QLineEdit& box, QAction& badge, bool extended);
QAction* MakeSearchKindBadge(QLineEdit& box);

}  // namespace velmora
