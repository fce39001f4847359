// The window's two query histories as one of its parts: one for each kind
// of search (a query means something else to each), the one of the search
// that is on walked by Up and Down in the query box and by back and
// forward, and written to disk once a search is over and shown.
#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "app/WindowParts.h"

namespace velmora {

class TQueryHistory;

class TQueryHistories : public QObject, public IWindowPart {
 public:
  // Read from the user's state folder; kept for this run only without one.
  explicit TQueryHistories(IQueryWindow& window);
  ~TQueryHistories() override;

  // The history of the search that is on.
  TQueryHistory& Current();
  // The search before or after the one shown, searched again without
  // adding to the history.
  void GoBack();
  void GoForward();
  // A query typed into the extended search has stood long enough to be kept.
  void KeepStanding(const std::string& boxText);

  void SearchStarting(const TSearchQuery& query, bool recorded) override;
  void SearchShown(const QString& box, IRichEdit& view) override;
  void QueryEdited() override;
  bool QueryKey(const QKeyEvent& key) override;

 private:
  void Revisit(const std::optional<std::string>& query);
  // Writes the histories that changed; while another window holds their
  // lock, tries again a moment later instead of waiting for it.
  void Save();

  IQueryWindow& window_;
  std::unique_ptr<TQueryHistory> standard_;
  std::unique_ptr<TQueryHistory> extended_;
  bool saveDue_ = false;  // a later try is on the timer
};

}  // namespace velmora
