// Opening a link with the desktop's handler for it. The target goes to the
// handler as one argument, never through a shell command line. Tests put a
// recorder in place of the handler.
#pragma once

#include <functional>
#include <string>

namespace velmora {

// target is UTF-8: a URL such as "file:///home/me/dict/help.htm" or
// "http://example.org". The result is not examined by the caller.
using TShellOpener = std::function<void(const std::string& target)>;

void ShellOpen(const std::string& target);
// Replaces the handler (an empty function restores the desktop's); returns
// the previous one.
TShellOpener SetShellOpener(TShellOpener opener);

}  // namespace velmora
