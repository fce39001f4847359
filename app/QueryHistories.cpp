#include "app/QueryHistories.h"

#include <QKeyEvent>
#include <QTimer>
#include <utility>

#include "app/AsYouType.h"
#include "app/History.h"
#include "dict/SearchRun.h"
#include "platform/richedit/GbkQt.h"

namespace velmora {

TQueryHistories::TQueryHistories(IQueryWindow& window) : window_(window) {
  const std::string state = StateFolder();
  standard_ = std::make_unique<TQueryHistory>(state.empty() ? "" : state + "/history");
  standard_->Load();
  extended_ = std::make_unique<TQueryHistory>(
      state.empty() ? "" : state + "/history-extended", IsTypedQuery);
  extended_->Load();
}

TQueryHistories::~TQueryHistories() = default;

TQueryHistory& TQueryHistories::Current() {
  return window_.ExtendedSearch() ? *extended_ : *standard_;
}

void TQueryHistories::SearchStarting(const TSearchQuery& query, bool recorded) {
  if (!recorded) return;
  // The query as the history of the search that is on keeps it.
  std::string kept;
  if (window_.ExtendedSearch()) {
    if (query.Unencodable.empty()) kept = TypedQuery(query.Typed);
  } else if (query.Cleaned.size() >= 2) {
    kept = query.Cleaned;
  }
  if (!kept.empty()) Current().Add(kept);
}

void TQueryHistories::SearchShown(const QString& /*box*/, IRichEdit& /*view*/) {
  // The history goes to disk once the search is over and shown, so that
  // syncing it never delays one.
  Save();
}

void TQueryHistories::QueryEdited() {
  Current().EndWalk();
}

bool TQueryHistories::QueryKey(const QKeyEvent& key) {
  if ((key.key() != Qt::Key_Up && key.key() != Qt::Key_Down) ||
      key.modifiers() != Qt::NoModifier)
    return false;
  const std::optional<std::string> text =
      key.key() == Qt::Key_Up ? Current().Older(GbkFromQString(window_.QueryText()))
                              : Current().Newer();
  if (text) window_.SetQueryText(QStringFromGbk(*text));
  return true;
}

void TQueryHistories::GoBack() {
  Revisit(Current().Back());
}

void TQueryHistories::GoForward() {
  Revisit(Current().Forward());
}

void TQueryHistories::Revisit(const std::optional<std::string>& query) {
  if (query) window_.Revisit(QStringFromGbk(*query));
}

void TQueryHistories::KeepStanding(const std::string& boxText) {
  // Its "?" would be read back as a wildcard.
  if (!NameFirstUnencodable(window_.QueryText()).empty()) return;
  std::string query = TypedQuery(boxText);
  if (!window_.ExtendedSearch() || query.empty()) return;
  extended_->Add(query);
  // Saved now unless a search runs; then once it is over.
  if (!window_.Searching()) Save();
}

void TQueryHistories::Save() {
  bool saved = standard_->SaveIfChanged();
  saved &= extended_->SaveIfChanged();
  if (saved || std::exchange(saveDue_, true)) return;
  QTimer::singleShot(1000, this, [this] {
    saveDue_ = false;
    Save();
  });
}

}  // namespace velmora
