#include <iostream>

#include "tools/velmora-gif/GIFCommands.h"

int main(int argc, char** argv) {
  return velmora::gifTool::Main(velmora::gifTool::Args(argv + 1, argv + argc), std::cout,
                                std::cerr);
}
