// Other programs that Velmora runs rather than links: found beside our own
// executable or on PATH, started with an argument vector and never through
// a shell, so that no word of a dictionary or a query is read as a command.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velmora {

// The program's file: the one beside this program's own executable, else
// the first on PATH. PATH entries that are empty or relative are passed
// over: they name the current folder, which is the dictionary's, and a
// program found there would come with the data. Empty when there is none.
std::string FindProgram(const std::string& name);

// Starts args (args[0] the program's file) with standard input on /dev/null,
// and standard output and error on /dev/null when quiet; -1 with errno set
// when it cannot be started.
pid_t StartProgram(const std::vector<std::string>& args, bool quiet);
// Waits for a program that StartProgram started; its exit status, or -1 when
// it was ended by a signal or cannot be waited for.
int WaitProgram(pid_t pid);

}  // namespace velmora
