// Entry point of the `defaults` command-line tool.
#include <iostream>

#include "Foundation/NSProcessInfo.h"
#include "defaults_command.h"

int main() {
  // UTF-8 on every platform (NSProcessInfo reads the wide-character command
  // line on Windows), so that domains and values may hold any letter.
  std::vector<std::string> args = NSProcessInfoArguments();
  if (!args.empty()) args.erase(args.begin());
  return defaults_tool::run(args, std::cout, std::cerr);
}
