// The application's plug-ins: the bundles found in the plug-in folders,
// loaded once per process when the application finishes launching.
#include "plugin_loading.h"

#include <cstdio>
#include <set>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/PlugInFolders.h"

namespace appkit {
namespace {

bool launched = false;
id plugins = nil;  // NSMutableArray of NSBundle, owned

std::string text(id string) { return string != nil ? NSStringToStd(string) : std::string(); }

// Loads one bundle; why it did not load otherwise. Nothing it sends raises
// out of it: a raise is why the bundle did not load.
std::string load(const std::string& path, id& bundle) {
  bundle = nil;
  BOOL volatile loaded = NO;
  id volatile found = nil;
  id raised = NSExceptionRaisedBy([&] {
    found = msg<id>(reinterpret_cast<id>(objc_getClass("NSBundle")), SELECTOR(bundleWithPath:),
                    NSStringFromUTF8(path.c_str()));
    if (found != nil) loaded = msg<BOOL>(found, SELECTOR(load));
  });
  if (raised != nil) {
    std::string why = "loading it raised " + text(msg<id>(raised, SELECTOR(name))) + ": " +
                      text(msg<id>(raised, SELECTOR(reason)));
    msg<void>(raised, SELECTOR(release));  // NSExceptionRaisedBy hands over its reference
    return why;
  }
  if (found == nil) return "not a directory";
  if (!loaded) {
    std::string why = text(msg<id>(found, SELECTOR(loadErrorDescription)));
    return why.empty() ? "it did not load" : why;
  }
  bundle = found;
  return "";
}

}  // namespace

void load_plugins_once() {
  if (launched) return;
  launched = true;
  plugins = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSMutableArray")), SELECTOR(alloc)),
                    SELECTOR(init));
  // For what the loads autorelease; no raise leaves the loop below.
  id pool = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                    SELECTOR(init));
  std::set<std::string> names;  // of the bundle directories loaded
  for (const NSPlugInFolder& folder : NSPlugInFolders()) {
    for (const std::string& path : NSBundlePathsInFolder(folder.path)) {
      std::string name = path.substr(path.find_last_of("/\\") + 1);
      if (names.contains(name)) continue;
      id bundle = nil;
      std::string why = load(path, bundle);
      if (!why.empty()) {
        std::fprintf(stderr, "AppKit: skipping plug-in %s: %s\n", path.c_str(), why.c_str());
        continue;
      }
      names.insert(name);
      msg<void>(plugins, SELECTOR(addObject:), bundle);
    }
  }
  msg<void>(pool, SELECTOR(drain));
}

id loaded_plugins() {
  id array_class = reinterpret_cast<id>(objc_getClass("NSArray"));
  if (plugins == nil) return msg<id>(array_class, SELECTOR(array));
  return msg<id>(array_class, SELECTOR(arrayWithArray:), plugins);
}

}  // namespace appkit
