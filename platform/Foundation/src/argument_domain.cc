// The argument domain's "-Key value" pairs as a property-list tree.
#include "argument_domain.h"

namespace foundation {

plist::Dictionary argument_domain(const std::vector<std::string>& arguments) {
  plist::Dictionary tree;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg.size() < 2 || arg[0] != '-' || i + 1 >= arguments.size()) continue;
    tree.set(arg.substr(1), plist::parse_value_or_string(arguments[i + 1]));
    ++i;
  }
  return tree;
}

}  // namespace foundation
