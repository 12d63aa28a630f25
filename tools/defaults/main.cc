// Entry point of the `defaults` command-line tool.
#include <iostream>

#include "defaults_command.h"
#include "program_arguments.h"

int main(int argc, char** argv) {
  // UTF-8 on every platform, so that domains and values may hold any letter.
  std::vector<std::string> args = startup::program_arguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  return defaults_tool::run(args, std::cout, std::cerr);
}
