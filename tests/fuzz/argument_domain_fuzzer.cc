// Fuzzes the argument domain: the input, split at NUL bytes, is a process's
// argument vector (program name first). It checks foundation::argument_domain
// against the documented pairing of "-Key value" arguments, that each value
// is the parsed property list or else the argument exactly as given, that
// the domain survives conversion to Foundation objects and back, and that
// an NSUserDefaults made with these arguments answers every key from its
// argument domain with that value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSAutoreleasePool.h"
#include "Foundation/NSProcessInfo.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/PropertyListObjects.h"
#include "argument_domain.h"
#include "fuzz_support.h"

namespace {

// Which arguments are keys: those starting a "-Key value" pair, scanning
// from the first argument after the program name.
std::vector<bool> key_positions(const std::vector<std::string>& arguments) {
  std::vector<bool> is_key(arguments.size(), false);
  for (size_t i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i].size() >= 2 && arguments[i][0] == '-') {
      is_key[i] = true;
      ++i;
    }
  }
  return is_key;
}

void check_user_defaults(const std::vector<std::string>& arguments, const plist::Dictionary& domain) {
  NSAutoreleaseScope pool;
  NSProcessInfoOverrideArguments(arguments);
  id defaults = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSUserDefaults")), SELECTOR(alloc)),
                        SELECTOR(init));
  for (const auto& [key, value] : domain) {
    id name = NSStringFromUTF8(key.c_str());
    id object = msg<id>(defaults, SELECTOR(objectForKey:), name);
    fuzz::require(msg<id>(defaults, SELECTOR(domainNameForKey:), name) == NSArgumentDomain,
                  "a key from the arguments is not answered from the argument domain", key);
    plist::Value back;
    std::string why;
    fuzz::require(
        NSPropertyListFromObject(object, back, why) && back == fuzz::through_objects_expected(value),
        "NSUserDefaults answers an argument with another value", key);
  }
  msg<void>(defaults, SELECTOR(release));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::private_defaults_directory();  // empty, so no persistent domain shadows anything
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments =
      fuzz::split(std::string_view(reinterpret_cast<const char*>(data), size), '\0');
  plist::Dictionary domain = foundation::argument_domain(arguments);

  // Every pair is in the domain with the value of its last occurrence, and
  // nothing else is.
  std::vector<bool> is_key = key_positions(arguments);
  plist::Dictionary expected;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (!is_key[i]) continue;
    const std::string& text = arguments[i + 1];
    // A value that does not parse is the argument itself, byte for byte.
    // Values are read without comments, which the property-list fuzzer
    // checks; the others must read as the full parser reads them.
    plist::Value value;
    plist::ParseError error;
    if (text.find("//") != std::string::npos || text.find("/*") != std::string::npos)
      value = plist::parse_value_or_string(text);
    else if (!plist::parse(text, "", value, error))
      value = plist::Value(text);
    expected.set(arguments[i].substr(1), std::move(value));
  }
  fuzz::require(domain == expected, "the argument domain does not hold exactly the -Key value pairs",
                plist::write(plist::Value(domain), false));

  fuzz::check_objects_round_trip(plist::Value(domain));
  check_user_defaults(arguments, domain);
  return 0;
}
