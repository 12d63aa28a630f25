// The host's load report.
#include "load_report.h"

#include <string>

#include "Foundation/Foundation.h"

namespace host {
namespace {

const char* const kSwitches[] = {"CorvaneEnable", "MatrixScrollPatchEnable"};
const char* const kReplaceable[] = {"NSApplication", "NSMatrix"};

std::string text(id object) { return NSStringToStd(msg<id>(object, SELECTOR(description))); }

}  // namespace

std::vector<Class> registered_classes() {
  std::vector<Class> classes(objc_getClassList(nullptr, 0));
  classes.resize(objc_getClassList(classes.data(), classes.size()));
  return classes;
}

void print_load_report(std::FILE* out, id bundle, const std::vector<Class>& arrived) {
  std::fprintf(out, "bundle:    %s\n", NSStringToStd(msg<id>(bundle, SELECTOR(bundlePath))).c_str());
  const char* module = arrived.empty() ? nullptr : class_getModulePath(arrived.front());
  std::fprintf(out, "module:    %s\n", module != nullptr ? module : "(no classes registered)");
  std::string names;
  for (Class cls : arrived) names += std::string(names.empty() ? "" : ", ") + class_getName(cls);
  std::fprintf(out, "classes:   %s\n", names.empty() ? "(none)" : names.c_str());

  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  id fallbacks = msg<id>(info, SELECTOR(objectForKey:), NSStringFromUTF8("CorvaneDefaults"));
  std::fprintf(out, "fallbacks: %s\n", fallbacks != nil ? text(fallbacks).c_str() : "(none in Info.plist)");

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
