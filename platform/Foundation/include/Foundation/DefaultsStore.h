// Where persistent user-defaults domains live and how they are read and
// written, as property-list trees. NSUserDefaults and the `defaults` tool
// both go through here.
//
// Each domain is one file, <directory>/<domain>.plist, holding a dictionary
// in the text format. The directory is $USER_DEFAULTS_DIR when that is set
// and not empty, else $HOME/.config/defaults; on Windows
// %APPDATA%\defaults (%USERPROFILE%\AppData\Roaming\defaults when APPDATA
// is not set). Folders the store creates are private to their user. Writes
// go to a temporary file that is renamed over the old one, so a reader sees
// the old or the new domain, never a mix; a domain file that is a symbolic
// link stays one, and the file it leads to is replaced. A new domain file
// is private to its user; a replaced one keeps its mode, owner and group. A
// file that does not parse is never overwritten or removed: the store
// refuses such writes with an error, so the hand edit that broke it is not
// lost. A write is refused, too, when what it would leave does not read
// back exactly, or would be larger than the reader takes (written pretty
// when that fits, else in the smallest text, so any domain that reads can
// be edited unless the edit makes it larger).
//
// Every change holds an exclusive lock on the file the domain's name leads
// to, the file <target>.lock beside it, from reading the domain to renaming
// the new file into place, so that writers in other processes and threads,
// and writers that reach the file by other names, lose none of each
// other's changes. A writer waits at most kLockTimeoutMilliseconds for the
// lock, then fails saying so. Under the lock a write first removes the
// temporary files that writers which died part-way left, and nothing else.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/PropertyList.h"

namespace defaults_store {

// The directory holding the domains (it may not exist yet); "" if neither
// the override nor a home directory is known.
FOUNDATION_EXPORT std::string directory();

// The longest domain name, in bytes: a file name holds at most 255, and the
// temporary file written beside <domain>.plist, .<domain>.plist.tmp-XXXXXX,
// adds twelve more.
inline constexpr size_t kMaxDomainNameLength = 237;

// The domain every program shares (NSGlobalDomain in NSUserDefaults, -g
// in the defaults tool).
inline constexpr char kGlobalDomainName[] = "NSGlobalDomain";

// How long a write waits for a domain's lock before it gives up.
inline constexpr int kLockTimeoutMilliseconds = 5000;

// A domain name must be one that every system can make a file of: UTF-8,
// not empty, not longer than kMaxDomainNameLength, not starting with '.',
// not holding a path separator, a control character or any of
// : * ? " < > |, and not a Windows device name (CON, PRN, AUX, NUL, COM1 to
// COM9, LPT1 to LPT9, in any case and with any extension). Returns false
// with the reason otherwise. Reading and writing take the same names.
FOUNDATION_EXPORT bool is_valid_domain_name(std::string_view name, std::string& why);

// The file of a domain; "" when directory() is "".
FOUNDATION_EXPORT std::string domain_path(std::string_view name);

struct Loaded {
  enum State { kPresent, kMissing, kBroken } state = kMissing;
  plist::Dictionary dictionary;  // empty unless present
  std::string error;             // for kBroken: "path:line:col: message" or the read error
};

// Reads a domain. A missing file is kMissing with an empty dictionary. A
// file that cannot be read (not a regular file, or larger than 16 MiB),
// does not parse or does not hold a dictionary at the top is kBroken. A
// leading UTF-8 byte-order mark is skipped.
FOUNDATION_EXPORT Loaded load(std::string_view name);

// Replaces a domain's file with dictionary, creating the directory first.
// Refuses (false, with why), leaving the file as it was, when the name is
// invalid, the existing file is broken, the lock is not had in time, or
// what would be written does not read back as dictionary (a string that is
// not UTF-8, nesting deeper than the reader takes, a file larger than it
// takes even in the smallest text).
FOUNDATION_EXPORT bool save(std::string_view name, const plist::Dictionary& dictionary, std::string& why);

// A read-modify-write of a domain, all under its lock: loads it into
// current, runs edit on current.dictionary (empty when the domain is
// missing), and saves the result unless edit returns false (nothing
// changed). Returns false with why when the domain is broken (current.state
// is then kBroken and current.error says why) or the save is refused. On
// success current holds the domain as it now stands on disk. edit must not
// raise.
FOUNDATION_EXPORT bool update(std::string_view name, const std::function<bool(plist::Dictionary&)>& edit,
                              Loaded& current, std::string& why);

// Removes a domain's file. A missing domain is success; a broken file is
// refused like a write.
FOUNDATION_EXPORT bool remove(std::string_view name, std::string& why);

// Names of the domains on disk (files ending in .plist whose names are
// valid), sorted.
FOUNDATION_EXPORT std::vector<std::string> domain_names();

}  // namespace defaults_store
