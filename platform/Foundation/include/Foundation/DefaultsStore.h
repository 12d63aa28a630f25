// Where persistent user-defaults domains live and how they are read and
// written, as property-list trees. NSUserDefaults and the `defaults` tool
// both go through here.
//
// Each domain is one file, <directory>/<domain>.plist, holding a dictionary
// in the text format. The directory is $USER_DEFAULTS_DIR when that is set
// and not empty, else $HOME/.config/defaults (on Windows, when HOME is not
// set, %USERPROFILE%\.config\defaults). Writes go to a temporary file that
// is renamed over the old one, so a reader sees the old or the new domain,
// never a mix. A file that does not parse is never overwritten or removed:
// the store refuses such writes with an error, so the hand edit that broke
// it is not lost.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/PropertyList.h"

namespace defaults_store {

// The directory holding the domains (it may not exist yet); "" if neither
// the override nor a home directory is known.
FOUNDATION_EXPORT std::string directory();

// A domain name must be non-empty, must not start with '.', and must not
// hold a path separator or control characters. Returns false with the
// reason otherwise.
FOUNDATION_EXPORT bool is_valid_domain_name(std::string_view name, std::string& why);

// The file of a domain; "" when directory() is "".
FOUNDATION_EXPORT std::string domain_path(std::string_view name);

struct Loaded {
  enum State { kPresent, kMissing, kBroken } state = kMissing;
  plist::Dictionary dictionary;  // empty unless present
  std::string error;             // for kBroken: "path:line:col: message" or the read error
};

// Reads a domain. A missing file is kMissing with an empty dictionary. A
// file that cannot be read, does not parse or does not hold a dictionary at
// the top is kBroken.
FOUNDATION_EXPORT Loaded load(std::string_view name);

// Replaces a domain's file with dictionary, creating the directory first.
// Refuses (false, with why) when the name is invalid, the existing file
// is broken, or a key or string could not be read back (plist::is_writable).
FOUNDATION_EXPORT bool save(std::string_view name, const plist::Dictionary& dictionary, std::string& why);

// Removes a domain's file. A missing domain is success; a broken file is
// refused like a write.
FOUNDATION_EXPORT bool remove(std::string_view name, std::string& why);

// Names of the domains on disk (files ending in .plist whose names are
// valid), sorted.
FOUNDATION_EXPORT std::vector<std::string> domain_names();

}  // namespace defaults_store
