// Entry point of the `defaults` command-line tool.
#include <iostream>

#include "defaults_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return defaults_tool::run(args, std::cout, std::cerr);
}
