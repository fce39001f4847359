// Wires the application object's hooks to Qt: pending messages run through
// Qt's event loop, and an exception that escapes a handler is reported in a
// message box captioned with the application title.
#pragma once

#include <exception>

namespace velmora {

// Call once the QApplication exists.
void InstallQtApplicationHooks();

// The standard report: a message box with the exception's message (GBK) and
// the application title as caption.
void ShowExceptionMessageBox(const std::exception& e);

}  // namespace velmora
