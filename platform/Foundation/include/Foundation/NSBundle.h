// NSBundle: a directory holding a loadable module and its resources.
//
// A bundle directory "X.bundle" holds its module, X.so on POSIX or X.dll on
// Windows (or the file its information dictionary names under
// "NSExecutable"), and its information dictionary in Resources/Info.plist,
// a dictionary in the text property-list format.
//
//   +bundleWithPath:      the bundle for a directory (one object per path),
//                         nil if the directory does not exist
//   +mainBundle           the directory holding the running executable
//   +bundleForClass:      the directory holding the module that registered
//                         the class; classes of the executable give mainBundle
//   -bundlePath, -executablePath (nil if the bundle names no module)
//   -load                 loads the module; YES if loaded now or before
//   -isLoaded, -loadErrorDescription (why the last -load failed, or nil)
//   -infoDictionary       read on first use; missing file: empty dictionary;
//                         a file that does not parse: one file:line:column
//                         error on stderr and an empty dictionary
//   -objectForInfoDictionaryKey:, -bundleIdentifier ("NSBundleIdentifier")
#pragma once

#include "Foundation/NSObject.h"

// Instance layout of NSBundle.
struct NSBundleLayout : NSObjectLayout {
  void* state;  // path, load state and information dictionary, owned
};
