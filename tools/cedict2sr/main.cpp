#include <iostream>
#include <string>
#include <vector>

#include "platform/classes/FileWrite.h"
#include "tools/cedict2sr/Cedict.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const int status = velmora::cedict::Run(std::vector<std::string>(argv + 1, argv + argc),
                                          std::cout, std::cerr);
  return velmora::FlushStandardOutput("cedict2sr") ? status : 2;
}
