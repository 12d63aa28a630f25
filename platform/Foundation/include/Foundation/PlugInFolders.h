// The plug-in folders of applications built on the framework: where a user
// or an administrator puts a bundle (a directory X.bundle) so that every
// such application loads it when it finishes launching
// (-[NSApplication finishLaunching]). Installing is copying the bundle
// there; uninstalling is deleting it.
//
// Searched in this order; a bundle of the same directory name is loaded
// from the first folder that has one that loads:
//   per-user  $XDG_DATA_HOME/AppKit/PlugIns, else ~/.local/share/AppKit/PlugIns
//             %APPDATA%\AppKit\PlugIns on Windows
//   machine   <install prefix>/lib/AppKit/PlugIns (/usr/local/lib/AppKit/PlugIns)
//             %CommonProgramFiles%\AppKit\PlugIns on Windows (the x86 folder
//             for 32-bit programs on 64-bit Windows, so that each kind of
//             program finds bundles it can load)
// PLUGINS_PATH, when set, replaces both: a list of folders separated by ':'
// (';' on Windows), searched in its order; set but empty, no folder at all.
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSObject.h"

struct NSPlugInFolder {
  std::string kind;  // "per-user", "machine" or "PLUGINS_PATH"
  std::string path;  // resolved when the folder exists
};

// The folders in search order, each at most once; one whose place is
// unknown (no home directory) is left out.
FOUNDATION_EXPORT std::vector<NSPlugInFolder> NSPlugInFolders();

// The entries of folder whose names end in ".bundle", as full paths, sorted
// by name; none when the folder does not exist or cannot be read.
FOUNDATION_EXPORT std::vector<std::string> NSBundlePathsInFolder(const std::string& folder);
