#include <iostream>

#include "platform/classes/FileWrite.h"
#include "tools/velmora-gif/GIFCommands.h"

int main(int argc, char** argv) {
  const int status = velmora::gifTool::Main(velmora::gifTool::Args(argv + 1, argv + argc),
                                            std::cout, std::cerr);
  // What didn't reach standard output is trouble too.
  return velmora::FlushStandardOutput("velmora-gif") ? status : 2;
}
