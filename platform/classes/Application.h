// The application object: its title, the "let pending messages run" call and
// the report of an exception that escapes an event handler. The Qt layer
// wires the hooks; headless code and tests may set their own.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace velmora {

class TApplication {
 public:
  std::string Title;  // GBK

  // Runs every pending window message, then returns. Called by long work on
  // the GUI thread (the search) after each step.
  void ProcessMessages() {
    if (OnProcessMessages) OnProcessMessages();
  }
  // Shows an exception that escaped an event handler: a message box with the
  // exception's message and the title as caption, in the window.
  void ShowException(const std::exception& e) {
    if (OnShowException) OnShowException(e);
  }

  std::function<void()> OnProcessMessages;
  std::function<void(const std::exception&)> OnShowException;
};

// The one application object of the process.
TApplication& Application();

}  // namespace velmora
