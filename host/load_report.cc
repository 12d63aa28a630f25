// The host's load report.
#include "load_report.h"

#include <string>

#include "Foundation/Foundation.h"
#include "Foundation/PlugInFolders.h"

namespace host {
namespace {

const char* const kSwitches[] = {"CorvaneEnable", "MatrixScrollPatchEnable"};
const char* const kReplaceable[] = {"NSApplication", "NSMatrix"};

std::string text(id object) { return NSStringToStd(msg<id>(object, SELECTOR(description))); }
id info_value(id bundle, const char* key) {
  return msg<id>(msg<id>(bundle, SELECTOR(infoDictionary)), SELECTOR(objectForKey:), NSStringFromUTF8(key));
}

std::string folder_of(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

// The classes registered from bundle's module, in registration order.
std::vector<Class> classes_of(id bundle) {
  std::vector<Class> all(objc_getClassList(nullptr, 0)), mine;
  all.resize(objc_getClassList(all.data(), all.size()));
  id bundle_class = reinterpret_cast<id>(objc_getClass("NSBundle"));
  for (Class cls : all)
    if (class_getModulePath(cls) != nullptr &&
        msg<id>(bundle_class, SELECTOR(bundleForClass:), cls) == bundle)
      mine.push_back(cls);
  return mine;
}

void print_bundle(std::FILE* out, id bundle, const std::string& from) {
  std::fprintf(out, "bundle:    %s\n", NSStringToStd(msg<id>(bundle, SELECTOR(bundlePath))).c_str());
  std::fprintf(out, "from:      %s\n", from.c_str());
  id version = info_value(bundle, "CorvaneVersion");
  std::fprintf(out, "version:   %s\n", version != nil ? text(version).c_str() : "(none in Info.plist)");
  std::vector<Class> classes = classes_of(bundle);
  const char* module = classes.empty() ? nullptr : class_getModulePath(classes.front());
  std::fprintf(out, "module:    %s\n", module != nullptr ? module : "(no classes registered)");
  std::string names;
  for (Class cls : classes) names += std::string(names.empty() ? "" : ", ") + class_getName(cls);
  std::fprintf(out, "classes:   %s\n", names.empty() ? "(none)" : names.c_str());
  id fallbacks = info_value(bundle, "CorvaneDefaults");
  std::fprintf(out, "fallbacks: %s\n", fallbacks != nil ? text(fallbacks).c_str() : "(none in Info.plist)");
}

}  // namespace

void print_load_report(std::FILE* out, const std::vector<id>& bundles, bool from_plugin_folders) {
  std::vector<NSPlugInFolder> folders;
  if (from_plugin_folders) folders = NSPlugInFolders();
  for (const NSPlugInFolder& folder : folders)
    std::fprintf(out, "plug-ins:  %-12s %s\n", folder.kind.c_str(), folder.path.c_str());
  if (from_plugin_folders && bundles.empty()) std::fprintf(out, "bundle:    none in the plug-in folders\n");
  for (id bundle : bundles) {
    std::string from = "-bundle";
    std::string folder = folder_of(NSStringToStd(msg<id>(bundle, SELECTOR(bundlePath))));
    for (const NSPlugInFolder& f : folders)
      if (f.path == folder) from = "the " + f.kind + " plug-in folder " + f.path;
    print_bundle(out, bundle, from);
  }

  id defaults = msg<id>(objc_getClass("NSUserDefaults"), SELECTOR(standardUserDefaults));
  for (const char* key : kSwitches) {
    id name = NSStringFromUTF8(key);
    BOOL on = msg<BOOL>(defaults, SELECTOR(boolForKey:), name);
    id domain = msg<id>(defaults, SELECTOR(domainNameForKey:), name);
    std::fprintf(out, "switch:    %-24s %-3s (from %s)\n", key, on ? "YES" : "NO",
                 domain != nil ? NSStringToStd(domain).c_str() : "no domain: reads as NO");
  }
  for (const char* name : kReplaceable) {
    Class cls = objc_getClass(name);
    std::fprintf(out, "class:     %-24s answered by %s\n", name, class_getName(cls));
  }
  id app = msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication));
  std::fprintf(out, "app:       the application object is a %s\n", class_getName(object_getClass(app)));
}

}  // namespace host
