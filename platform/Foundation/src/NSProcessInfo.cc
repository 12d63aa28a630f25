// NSProcessInfo and the C++ accessors behind it. The arguments are read
// from the OS once (or taken from NSProcessInfoOverrideArguments) and kept
// for the life of the process.
#include "Foundation/NSProcessInfo.h"

#include <mutex>
#include <optional>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "foundation_internal.h"
#include "objc/unwind.h"
#include "os_process.h"

namespace {

// Guards the fields below.
std::mutex& process_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::optional<std::vector<std::string>>& argument_list() {
  static auto* arguments = new std::optional<std::vector<std::string>>;
  return *arguments;
}
id shared_info = nil;     // the +processInfo instance, never released
id argument_array = nil;  // the -arguments array, built on first use, never released

// Expects process_lock held.
const std::vector<std::string>& arguments_locked() {
  auto& arguments = argument_list();
  if (!arguments) arguments = foundation::os::process_arguments();
  return *arguments;
}

id new_string(const std::string& text) { return NSStringFromUTF8(text.c_str()); }

// --- Class methods -------------------------------------------------------

// The sends under process_lock go to self (which may be a subclass) and
// to classes looked up by name (which may have been posed as), and may
// raise: there it is taken as a tracked lock, which a raise releases.
id NSProcessInfo_processInfo(id self, SEL) {
  objc::TrackedLock guard(process_lock());
  if (shared_info == nil) shared_info = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init));
  return shared_info;
}

// --- Instance methods ----------------------------------------------------

id NSProcessInfo_arguments(id, SEL) {
  objc::TrackedLock guard(process_lock());
  if (argument_array == nil) {
    id array = msg<id>(reinterpret_cast<id>(objc_getClass("NSMutableArray")), SELECTOR(array));
    for (const std::string& argument : arguments_locked())
      msg<void>(array, SELECTOR(addObject:), new_string(argument));
    argument_array = msg<id>(array, SELECTOR(copy));
  }
  return argument_array;
}

id NSProcessInfo_processName(id, SEL) { return new_string(NSProcessInfoProcessName()); }

id NSProcessInfo_environment(id, SEL) {
  id dictionary = msg<id>(reinterpret_cast<id>(objc_getClass("NSMutableDictionary")), SELECTOR(dictionary));
  auto variables = foundation::os::environment();
  NSRunCleaningUpOnRaise(
      [&] {
        for (const auto& [name, value] : variables)
          msg<void>(dictionary, SELECTOR(setObject:forKey:), new_string(value), new_string(name));
      },
      [&] { foundation::discard(variables); });
  return dictionary;
}

id NSProcessInfo_environmentValueForKey(id, SEL, id key) {
  if (key == nil) return nil;
  auto value = foundation::os::environment_variable(NSStringToStd(key));
  return value ? new_string(*value) : nil;
}

int32_t NSProcessInfo_processIdentifier(id, SEL) { return foundation::os::process_id(); }

const objc_method_def class_methods[] = {
    {"processInfo", objc_imp(&NSProcessInfo_processInfo)},
};
const objc_method_def instance_methods[] = {
    {"arguments", objc_imp(&NSProcessInfo_arguments)},
    {"processName", objc_imp(&NSProcessInfo_processName)},
    {"environment", objc_imp(&NSProcessInfo_environment)},
    {"environmentValueForKey:", objc_imp(&NSProcessInfo_environmentValueForKey)},
    {"processIdentifier", objc_imp(&NSProcessInfo_processIdentifier)},
};

objc_class_def NSProcessInfo_def = {"NSProcessInfo",
                                    "NSObject",
                                    sizeof(NSObjectLayout),
                                    objc_methods(class_methods),
                                    objc_methods(instance_methods),
                                    Nil};
objc_class_def* const classes[] = {&NSProcessInfo_def};
objc_module_record process_info_record = objc_module("NSProcessInfo", classes);
OBJC_MODULE_RECORD(process_info_record)

}  // namespace

std::vector<std::string> NSProcessInfoArguments() {
  std::lock_guard guard(process_lock());
  return arguments_locked();
}

std::string NSProcessInfoProcessName() {
  std::string path = foundation::os::executable_path();
  if (path.empty()) {
    std::lock_guard guard(process_lock());
    const auto& arguments = arguments_locked();
    if (!arguments.empty()) path = arguments.front();
  }
  std::string name = foundation::os::base_name(path);
  if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

void NSProcessInfoOverrideArguments(std::vector<std::string> arguments) {
  std::lock_guard guard(process_lock());
  argument_list() = std::move(arguments);
}
