// NSUserDefaults: a process's settings, looked up through a search list of
// domains, first match wins:
//   NSArgumentDomain      "-Key value" pairs on the command line
//   <process name>        the application's persistent domain
//   NSGlobalDomain        the persistent domain every program shares
//   NSRegistrationDomain  fallbacks given to -registerDefaults:
// Persistent domains are kept by the defaults store (DefaultsStore.h); each
// change is written through at once, atomically.
//
// Class method: +standardUserDefaults (one per process).
// Reading: -objectForKey:, -boolForKey:, -integerForKey:, -stringForKey:,
//   -domainNameForKey: (the name of the domain a key's value comes from, or
//   nil), -dictionaryRepresentation (the search list merged).
// Writing the application's domain: -setObject:forKey: (nil removes),
//   -setBool:forKey:, -setInteger:forKey:, -removeObjectForKey:.
// Other domains: -registerDefaults:, -persistentDomainForName:,
//   -setPersistentDomain:forName:, -removePersistentDomainForName:,
//   -persistentDomainNames, -synchronize (re-reads the persistent domains,
//   to see changes made by other processes).
//
// Values read from a file or the command line are strings, arrays and
// dictionaries; -boolForKey: and -integerForKey: read strings as well as
// numbers. Failures (a value that is not a property list, a domain file
// that does not parse) are reported on stderr and change nothing.
#pragma once

#include <string_view>

#include "Foundation/NSObject.h"

// Instance layout of NSUserDefaults.
struct NSUserDefaultsLayout : NSObjectLayout {
  void* state;  // the domains, owned by the instance
};

// The names of the shared domains (NSConstantString objects).
FOUNDATION_EXPORT extern id const NSArgumentDomain;
FOUNDATION_EXPORT extern id const NSGlobalDomain;
FOUNDATION_EXPORT extern id const NSRegistrationDomain;

// How -boolForKey: reads a string: YES for "yes" or "true" (in any case) or
// a nonzero whole number, with white space around it ignored; NO for
// anything else, "on", "y" and "enable" included.
FOUNDATION_EXPORT bool NSUserDefaultsStringIsTrue(std::string_view text);
