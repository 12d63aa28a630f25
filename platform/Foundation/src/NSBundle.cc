// NSBundle: the per-path bundle table, module loading through the runtime,
// and the lazily read information dictionary.
#include "Foundation/NSBundle.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/PropertyList.h"
#include "Foundation/PropertyListObjects.h"
#include "foundation_internal.h"
#include "loader.h"
#include "os_process.h"

namespace {

objc_constant_string executable_key = objc_string("NSExecutable");
objc_constant_string identifier_key = objc_string("NSBundleIdentifier");

struct BundleState {
  // Guards the fields below. Reading the information dictionary under it
  // makes objects, and those sends may raise: it is taken as a tracked lock,
  // which a raise releases.
  std::mutex lock;
  std::string path;
  id path_string = nil;  // NSString, owned
  bool loaded = false;
  id load_error = nil;  // NSString, owned; why the last -load failed
  id info = nil;        // NSDictionary, owned; nil until first read
};

using foundation::is_string;
BundleState& state(id self) { return *static_cast<BundleState*>(static_cast<NSBundleLayout*>(self)->state); }

// Bundles by normalised path; bundles live for the process. Nothing under
// this lock sends a message.
std::mutex& table_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::map<std::string, id>& bundle_table() {
  static auto* table = new std::map<std::string, id>;
  return *table;
}

// The absolute, resolved path without trailing separators (a lone root
// kept), so that every spelling of a directory names one bundle.
std::string normalise(std::string path) {
  if (path.empty()) return path;
  path = foundation::os::canonical_path(path);
  while (path.size() > 1 &&
         std::string(foundation::os::kPathSeparators).find(path.back()) != std::string::npos)
    path.pop_back();
  return path;
}

// What a look-up in the bundle table found: the bundle, or else the state
// of a new one to make (nullptr if path names no directory).
struct Found {
  id bundle = nil;
  BundleState* fresh = nullptr;
};

// Looks path up, marking a bundle whose module is known to be in the
// process as loaded. Sends nothing, so that the caller's strings are gone
// before make_bundle sends anything. Takes table_lock.
Found find_bundle(const std::string& raw_path, bool already_loaded) {
  std::string path = normalise(raw_path);
  if (path.empty()) return {};
  {
    std::lock_guard guard(table_lock());
    auto& table = bundle_table();
    if (auto it = table.find(path); it != table.end()) {
      if (already_loaded) {
        BundleState& s = state(it->second);
        std::lock_guard bundle_guard(s.lock);
        s.loaded = true;
      }
      return {it->second, nullptr};
    }
  }
  if (!foundation::os::is_directory(path)) return {};
  auto* s = new BundleState;
  s->path = path;
  s->loaded = already_loaded;
  return {nil, s};
}

// Makes the bundle for fresh, or returns the one another thread entered
// meanwhile. The sends come first, outside the table lock and holding only
// fresh: alloc may run a subclass's initialize, which may raise.
id make_bundle(Class cls, BundleState* fresh) {
  id volatile bundle = nil;
  NSRunCleaningUpOnRaise(
      [&] {
        bundle = msg<id>(reinterpret_cast<id>(cls), SELECTOR(alloc));
        fresh->path_string =
            msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSString")), SELECTOR(alloc)),
                    SELECTOR(initWithUTF8String:), fresh->path.c_str());
      },
      [&] {
        if (bundle != nil) object_dispose(bundle);
        delete fresh;
      });
  id made = bundle;
  static_cast<NSBundleLayout*>(made)->state = fresh;
  id entered = nil;
  {
    std::lock_guard guard(table_lock());
    auto [it, added] = bundle_table().emplace(fresh->path, made);
    if (added) return made;
    entered = it->second;
    if (fresh->loaded) {
      BundleState& s = state(entered);
      std::lock_guard bundle_guard(s.lock);
      s.loaded = true;
    }
  }
  msg<void>(fresh->path_string, SELECTOR(release));
  delete fresh;
  object_dispose(made);
  return entered;
}

id bundle_for(Class cls, Found found) {
  if (found.bundle != nil || found.fresh == nullptr) return found.bundle;
  return make_bundle(cls, found.fresh);
}

// The tree in Resources/Info.plist: an empty dictionary if there is none
// or it is not one. Sends nothing.
plist::Value read_info(const std::string& bundle_path) {
  std::string file =
      foundation::os::join_path(foundation::os::join_path(bundle_path, "Resources"), "Info.plist");
  std::string text;
  plist::Value value{plist::Dictionary()};
  auto status = foundation::os::read_file(file, text);
  if (!status) {
    if (!status.not_found) std::fprintf(stderr, "NSBundle: %s\n", status.error.c_str());
  } else {
    plist::ParseError error;
    if (!plist::parse_file(text, file, value, error)) {
      std::fprintf(stderr, "NSBundle: %s\n", error.describe().c_str());
      value = plist::Value(plist::Dictionary());
    } else if (!value.is_dictionary()) {
      std::fprintf(stderr, "NSBundle: %s:1:1: an information dictionary must be a dictionary\n",
                   file.c_str());
      value = plist::Value(plist::Dictionary());
    }
  }
  return value;
}

// Reads Resources/Info.plist on first use. Expects s.lock held, as a
// tracked lock: making the objects may raise.
id info_locked(BundleState& s) {
  if (s.info != nil) return s.info;
  plist::Value value = read_info(s.path);
  id pool = foundation::open_pool();
  NSRunCleaningUpOnRaise([&] { s.info = msg<id>(NSObjectFromPropertyList(value), SELECTOR(copy)); },
                         [&] { foundation::discard(value); });
  foundation::drain_pool(pool);
  return s.info;
}

// The module file: "NSExecutable" from the information dictionary ("X"
// meaning X.so or X.dll, "X.ext" that file), else
// X.so / X.dll for a directory X.bundle; "" when there is none. Expects
// s.lock held.
std::string executable_locked(BundleState& s) {
  id named = msg<id>(info_locked(s), SELECTOR(objectForKey:), reinterpret_cast<id>(&executable_key));
  if (is_string(named) && !NSStringToStd(named).empty()) {
    // A bare name gets the platform's module suffix; a file name is taken as is.
    std::string file = NSStringToStd(named);
    if (foundation::os::base_name(file).find('.') == std::string::npos) file = loader::module_file_name(file);
    return foundation::os::join_path(s.path, file);
  }
  std::string name = foundation::os::base_name(s.path);
  const std::string suffix = ".bundle";
  if (name.size() <= suffix.size() || !name.ends_with(suffix)) return "";
  return foundation::os::join_path(s.path,
                                   loader::module_file_name(name.substr(0, name.size() - suffix.size())));
}

// --- Class methods -------------------------------------------------------

// Each class method below looks the path up in a statement of its own, so
// that its strings are gone before make_bundle sends anything.

id NSBundle_bundleWithPath(id self, SEL, id path) {
  if (!is_string(path)) return nil;
  Found found = find_bundle(NSStringToStd(path), false);
  return bundle_for(reinterpret_cast<Class>(self), found);
}

Found find_main_bundle() {
  std::string executable = foundation::os::executable_path();
  if (executable.empty()) return {};
  return find_bundle(foundation::os::directory_of(executable), true);
}

id NSBundle_mainBundle(id self, SEL) { return bundle_for(reinterpret_cast<Class>(self), find_main_bundle()); }

id NSBundle_bundleForClass(id self, SEL, Class cls) {
  const char* module = class_getModulePath(cls);
  bool main = module == nullptr || foundation::os::canonical_path(module) ==
                                       foundation::os::canonical_path(foundation::os::executable_path());
  Found found = main ? find_main_bundle() : find_bundle(foundation::os::directory_of(module), true);
  return bundle_for(reinterpret_cast<Class>(self), found);
}

// --- Instance methods ----------------------------------------------------

id NSBundle_bundlePath(id self, SEL) { return state(self).path_string; }

id NSBundle_executablePath(id self, SEL) {
  BundleState& s = state(self);
  objc::TrackedLock guard(s.lock);
  std::string path = executable_locked(s);
  return path.empty() ? nil : NSStringFromUTF8(path.c_str());
}

// The module is loaded without the bundle's lock held: its load and
// initialize methods may well ask for this very bundle. A raise out of
// them goes on to the caller, leaving the bundle not loaded.
BOOL NSBundle_load(id self, SEL) {
  BundleState& s = state(self);
  std::string path;
  {
    objc::TrackedLock guard(s.lock);
    if (s.loaded) return YES;
    path = executable_locked(s);
  }
  std::string why;
  if (path.empty()) {
    why = "bundle " + s.path + " names no module (it is not an X.bundle directory and has no NSExecutable)";
  } else {
    char error[512] = "";
    BOOL loaded = NO;
    NSRunCleaningUpOnRaise([&] { loaded = objc_loadModule(path.c_str(), error, sizeof error); },
                           [&] { foundation::discard(path); });
    if (loaded) {
      id previous;
      {
        std::lock_guard guard(s.lock);
        s.loaded = true;
        previous = std::exchange(s.load_error, nil);
      }
      msg<void>(previous, SELECTOR(release));  // outside the lock: a dealloc may raise
      return YES;
    }
    why = error[0] != '\0' ? std::string(error) : "cannot load " + path;
  }
  id description = nil;
  NSRunCleaningUpOnRaise(
      [&] {
        description = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSString")), SELECTOR(alloc)),
                              SELECTOR(initWithUTF8String:), why.c_str());
      },
      [&] {
        foundation::discard(why);
        foundation::discard(path);
      });
  id previous;
  {
    std::lock_guard guard(s.lock);
    previous = std::exchange(s.load_error, description);
  }
  msg<void>(previous, SELECTOR(release));
  return NO;
}

BOOL NSBundle_isLoaded(id self, SEL) {
  BundleState& s = state(self);
  std::lock_guard guard(s.lock);
  return s.loaded ? YES : NO;
}

id NSBundle_loadErrorDescription(id self, SEL) {
  BundleState& s = state(self);
  std::lock_guard guard(s.lock);
  return s.load_error;
}

id NSBundle_infoDictionary(id self, SEL) {
  BundleState& s = state(self);
  objc::TrackedLock guard(s.lock);
  return info_locked(s);
}

id NSBundle_objectForInfoDictionaryKey(id self, SEL, id key) {
  if (key == nil) return nil;
  return msg<id>(NSBundle_infoDictionary(self, nullptr), SELECTOR(objectForKey:), key);
}

id NSBundle_bundleIdentifier(id self, SEL) {
  id value = msg<id>(NSBundle_infoDictionary(self, nullptr), SELECTOR(objectForKey:),
                     reinterpret_cast<id>(&identifier_key));
  return is_string(value) ? value : nil;
}

id NSBundle_description(id self, SEL) {
  return NSStringWithFormat("NSBundle <%s>%s", state(self).path.c_str(),
                            NSBundle_isLoaded(self, nullptr) ? " (loaded)" : "");
}

const objc_method_def class_methods[] = {
    {"bundleWithPath:", objc_imp(&NSBundle_bundleWithPath)},
    {"mainBundle", objc_imp(&NSBundle_mainBundle)},
    {"bundleForClass:", objc_imp(&NSBundle_bundleForClass)},
};
const objc_method_def instance_methods[] = {
    {"bundlePath", objc_imp(&NSBundle_bundlePath)},
    {"executablePath", objc_imp(&NSBundle_executablePath)},
    {"load", objc_imp(&NSBundle_load)},
    {"isLoaded", objc_imp(&NSBundle_isLoaded)},
    {"loadErrorDescription", objc_imp(&NSBundle_loadErrorDescription)},
    {"infoDictionary", objc_imp(&NSBundle_infoDictionary)},
    {"objectForInfoDictionaryKey:", objc_imp(&NSBundle_objectForInfoDictionaryKey)},
    {"bundleIdentifier", objc_imp(&NSBundle_bundleIdentifier)},
    {"description", objc_imp(&NSBundle_description)},
};

objc_class_def NSBundle_def = {"NSBundle",
                               "NSObject",
                               sizeof(NSBundleLayout),
                               objc_methods(class_methods),
                               objc_methods(instance_methods),
                               Nil};
objc_class_def* const classes[] = {&NSBundle_def};
objc_constant_string* const strings[] = {&executable_key, &identifier_key};
objc_module_record bundle_record = objc_module("NSBundle", classes, nullptr, strings);
OBJC_MODULE_RECORD(bundle_record)

}  // namespace
