// Loading the bundles of the plug-in folders when the application finishes
// launching (Foundation/PlugInFolders.h has the folders and their order).
#pragma once

#include "AppKit/AppKitDefines.h"

namespace appkit {

// The first call loads every bundle in the plug-in folders, folder by
// folder and by name within one, each bundle directory name at most once:
// a later folder's bundle of a name already loaded is passed over. A bundle
// that does not load, or whose loading raises, is reported in one line on
// stderr and skipped, and the next folder may still provide one of that
// name. Later calls do nothing. Main thread only.
void load_plugins_once();

// The bundles loaded so far, in load order (an NSArray, autoreleased).
id loaded_plugins();

}  // namespace appkit
