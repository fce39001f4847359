// One window per desktop session: the first velmora process holds a name on
// the session bus, and later ones hand their query to it and end. Without a
// session bus every process opens a window of its own.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

namespace velmora {

class IQueryWindow;

constexpr const char* kBusName = "org.velmora.Velmora";
constexpr const char* kBusPath = "/org/velmora/Velmora";
constexpr const char* kBusInterface = "org.velmora.Velmora";

// What the running window offers on the bus.
class TInstanceService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.velmora.Velmora")

 public:
  ~TInstanceService() override;

  // Takes the bus name for this process. False without a session bus or
  // when another process holds it already.
  bool Claim();
  bool Claimed() const { return claimed_; }

  // Serves the window (nullptr: none): a query from outside is searched
  // there as if typed, and the window is raised.
  void Serve(IQueryWindow* window);

 public Q_SLOTS:
  // Searches query in the window's own folder and raises the window. The
  // search starts after the call has returned, so that the caller never
  // waits for it.
  Q_SCRIPTABLE void LookUp(const QString& query);
  Q_SCRIPTABLE void Raise();
  // The dictionary folder the window reads (its current folder).
  Q_SCRIPTABLE QString Folder();

 private:
  IQueryWindow* window_ = nullptr;
  QPointer<QWidget> alive_;  // the window's widget, while it lives
  bool claimed_ = false;
};

// Hands query (or, with none, only the wish to be raised) to the process
// that holds the bus name. True when it answered. With a folder (absolute,
// as the current folder gives it), only a window whose dictionary folder is
// that one takes the query; false otherwise.
bool HandToRunningInstance(const std::optional<QString>& query,
                           const std::optional<QString>& folder = std::nullopt);

}  // namespace velmora
