// The argument domain's parsing, as a plain property-list tree: what
// NSUserDefaults makes of a process's command line. Internal to Foundation;
// the fuzz targets compile argument_domain.cc themselves.
#pragma once

#include <string>
#include <vector>

#include "Foundation/PropertyList.h"

namespace foundation {

// Each "-Key value" pair after the program name (arguments[0]) becomes an
// entry Key = value; a later pair for the same key replaces an earlier one.
// A value that reads as a property list is taken as one, anything else as
// the string exactly as given (plist::parse_value_or_string). An argument
// that is not "-" followed by at least one byte, or a last "-Key" without a
// value, is skipped.
plist::Dictionary argument_domain(const std::vector<std::string>& arguments);

}  // namespace foundation
