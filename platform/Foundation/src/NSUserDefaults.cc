// NSUserDefaults: the search list of domains, reading values as booleans,
// integers and strings, and writing the application's persistent domain
// through the defaults store. Every instance keeps its domains in a State
// guarded by its own mutex; each method takes that lock for its whole run.
// Keys, values and registered dictionaries are the caller's objects, whose
// methods (hash, isEqual:, copy, retain, dealloc, ...) run under that lock
// and may raise: it is taken as a tracked lock, which a raise releases, and
// a method that holds strings or trees across such sends frees them in a
// cleanup before the raise goes on.
#include "Foundation/NSUserDefaults.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "Foundation/DefaultsStore.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSProcessInfo.h"
#include "Foundation/NSString.h"
#include "Foundation/PropertyListObjects.h"
#include "argument_domain.h"
#include "foundation_internal.h"

namespace {

objc_constant_string argument_domain = objc_string("NSArgumentDomain");
objc_constant_string global_domain = objc_string(defaults_store::kGlobalDomainName);
objc_constant_string registration_domain = objc_string("NSRegistrationDomain");

using foundation::is_dictionary;
using foundation::is_number;
using foundation::is_string;
id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
void release(id obj) { msg<void>(obj, SELECTOR(release)); }
id new_mutable_dictionary() {
  return msg<id>(msg<id>(cls("NSMutableDictionary"), SELECTOR(alloc)), SELECTOR(init));
}

// A persistent domain as this process last read or wrote it.
struct Domain {
  id dictionary = nil;   // NSMutableDictionary, owned; nil until loaded
  bool present = false;  // its file exists and holds a domain
  bool broken = false;   // its file exists but cannot be read as a domain
};

struct State {
  std::mutex lock;  // taken as objc::TrackedLock
  std::string app_name;
  id app_name_string = nil;  // NSString, owned
  id arguments = nil;        // NSMutableDictionary, owned
  id registration = nil;     // NSMutableDictionary, owned
  std::map<std::string, Domain> persistent;
  std::set<std::string> reported;  // errors already printed, so each shows once
};

State& state(id self) { return *static_cast<State*>(static_cast<NSUserDefaultsLayout*>(self)->state); }

void report(State& s, const std::string& message) {
  if (s.reported.insert(message).second) std::fprintf(stderr, "NSUserDefaults: %s\n", message.c_str());
}

// A new owned NSMutableDictionary holding the objects for tree. Makes only
// strings, arrays and dictionaries from the tree's text, whose methods do
// not raise.
id objects_for(const plist::Dictionary& tree) {
  id pool = foundation::open_pool();
  plist::Value value(tree);
  id objects = nil;
  NSRunCleaningUpOnRaise([&] { objects = msg<id>(NSObjectFromPropertyList(value), SELECTOR(mutableCopy)); },
                         [&] { foundation::discard(value); });
  foundation::discard(value);
  foundation::drain_pool(pool);
  return objects;
}

// The argument domain's objects (owned); its C++ values are freed on a
// raise too.
id arguments_domain() {
  plist::Dictionary tree = foundation::argument_domain(NSProcessInfoArguments());
  id objects = nil;
  NSRunCleaningUpOnRaise([&] { objects = objects_for(tree); }, [&] { foundation::discard(tree); });
  return objects;
}

// Loads a persistent domain into the cache if it is not there. Expects
// s.lock held.
Domain& domain_locked(State& s, const std::string& name) {
  Domain& domain = s.persistent[name];
  if (domain.dictionary != nil) return domain;
  defaults_store::Loaded loaded = defaults_store::load(name);
  domain.present = loaded.state == defaults_store::Loaded::kPresent;
  domain.broken = loaded.state == defaults_store::Loaded::kBroken;
  if (domain.broken)
    report(s, loaded.error + "; domain " + name + " reads as empty and its file is left as it is");
  NSRunCleaningUpOnRaise([&] { domain.dictionary = objects_for(loaded.dictionary); },
                         [&] { foundation::discard(loaded); });
  return domain;
}

// The cache is emptied before its dictionaries are released: the app
// domain's holds copies of values set in this process, whose deallocs may
// raise.
void forget_domains_locked(State& s) {
  std::vector<id> dictionaries;
  for (auto& [name, domain] : s.persistent) dictionaries.push_back(domain.dictionary);
  s.persistent.clear();
  foundation::release_all(dictionaries);
}

// Which domain a key's value comes from, in search-list order.
enum class Source { kNone, kArgument, kApplication, kGlobal, kRegistration };

// Expects s.lock held. key's hash and isEqual: may raise; no string is
// alive across them.
id lookup_locked(State& s, id key, Source* source) {
  *source = Source::kNone;
  if (key == nil) return nil;
  if (id value = msg<id>(s.arguments, SELECTOR(objectForKey:), key)) {
    *source = Source::kArgument;
    return value;
  }
  if (id value = msg<id>(domain_locked(s, s.app_name).dictionary, SELECTOR(objectForKey:), key)) {
    *source = Source::kApplication;
    return value;
  }
  id global = domain_locked(s, defaults_store::kGlobalDomainName).dictionary;
  if (id value = msg<id>(global, SELECTOR(objectForKey:), key)) {
    *source = Source::kGlobal;
    return value;
  }
  if (id value = msg<id>(s.registration, SELECTOR(objectForKey:), key)) {
    *source = Source::kRegistration;
    return value;
  }
  return nil;
}

// Rewrites the application's domain with edit applied to what is on disk
// now, so changes other processes made meanwhile are kept; edit returns
// false when it changed nothing, and then nothing is written. On success the
// cache is refreshed and, when value is given, holds a copy of the object
// itself under key. Expects s.lock held. The sends that may raise (value's
// copy, and the deallocs of copies of earlier values in the replaced cache)
// come last, after this frame has freed what it holds; the caller's
// strings and edit's captures are the caller's to clean up.
template <class Edit>
bool update_app_domain_locked(State& s, const std::string& key, id value, Edit edit) {
  // Read, edited and written under the domain's lock, so that a writer in
  // another process or thread loses nothing of this change, nor this one
  // of theirs.
  defaults_store::Loaded current;
  std::string why;
  if (!defaults_store::update(s.app_name, edit, current, why)) {
    if (current.state == defaults_store::Loaded::kBroken) {
      domain_locked(s, s.app_name);  // reports the broken file once
      report(s, "not saving \"" + key + "\": the domain file is left as it is because it does not parse (" +
                    current.error + ")");
    } else {
      report(s, "not saving \"" + key + "\": " + why);
    }
    return false;
  }
  bool present = current.state == defaults_store::Loaded::kPresent;
  foundation::discard(why);
  id refreshed = nil;
  NSRunCleaningUpOnRaise([&] { refreshed = objects_for(current.dictionary); },
                         [&] { foundation::discard(current); });
  foundation::discard(current);
  Domain& domain = s.persistent[s.app_name];
  id replaced = domain.dictionary;
  domain.dictionary = refreshed;
  domain.present = present;
  domain.broken = false;
  release(replaced);
  if (value != nil) {
    id copy = msg<id>(value, SELECTOR(copy));
    id pool = foundation::open_pool();
    NSRunCleaningUpOnRaise(
        [&] { msg<void>(refreshed, SELECTOR(setObject:forKey:), copy, NSStringFromUTF8(key.c_str())); },
        [&] { release(copy); });
    foundation::drain_pool(pool);
    release(copy);
  }
  return true;
}

std::string lowercase_trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  std::string word = text.substr(begin, end - begin + 1);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

// Reads a whole decimal integer, clamped to the 32-bit range. Returns false
// if text is not one.
bool parse_integer(const std::string& text, long long& number) {
  if (text.empty()) return false;
  char* end = nullptr;
  number = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || !(std::isdigit(static_cast<unsigned char>(text.back()))))
    return false;
  if (number > INT32_MAX) number = INT32_MAX;
  if (number < INT32_MIN) number = INT32_MIN;
  return true;
}

// --- Class methods -------------------------------------------------------

std::mutex& shared_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}
id shared_defaults = nil;  // never released

// self may be a subclass, whose initialize or init may raise.
id NSUserDefaults_standardUserDefaults(id self, SEL) {
  objc::TrackedLock guard(shared_lock());
  if (shared_defaults == nil) shared_defaults = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init));
  return shared_defaults;
}

// --- Instance methods ----------------------------------------------------

extern objc_class_def NSUserDefaults_def;

id NSUserDefaults_init(id self, SEL) {
  self = msgSuper<id>(objc_super_of(self, NSUserDefaults_def), SELECTOR(init));
  if (self == nil) return nil;
  // The state is attached before anything that may raise, so that the
  // release of a half-made object frees it.
  auto* s = new State;
  static_cast<NSUserDefaultsLayout*>(self)->state = s;
  s->app_name = NSProcessInfoProcessName();
  NSRunReleasingOnRaise(self, [&] {
    s->app_name_string = msg<id>(NSStringFromUTF8(s->app_name.c_str()), SELECTOR(copy));
    s->arguments = arguments_domain();
    s->registration = new_mutable_dictionary();
  });
  return self;
}

void NSUserDefaults_dealloc(id self, SEL) {
  if (auto* s = static_cast<State*>(static_cast<NSUserDefaultsLayout*>(self)->state)) {
    forget_domains_locked(*s);
    release(s->app_name_string);
    release(s->arguments);
    release(s->registration);
    delete s;
  }
  msgSuper<void>(objc_super_of(self, NSUserDefaults_def), SELECTOR(dealloc));
}

// Valid until the key's value is changed in this process.
id NSUserDefaults_objectForKey(id self, SEL, id key) {
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  Source source;
  return lookup_locked(s, key, &source);
}

id NSUserDefaults_domainNameForKey(id self, SEL, id key) {
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  Source source;
  lookup_locked(s, key, &source);
  switch (source) {
    case Source::kArgument:
      return NSArgumentDomain;
    case Source::kApplication:
      return s.app_name_string;
    case Source::kGlobal:
      return NSGlobalDomain;
    case Source::kRegistration:
      return NSRegistrationDomain;
    case Source::kNone:
      break;
  }
  return nil;
}

// Numbers give their value. Strings read YES for "yes" and "true", NO for
// "no" and "false" (any case, surrounding blanks ignored), and a whole
// number as itself being non-zero. Anything else, and a missing key, is NO.
BOOL NSUserDefaults_boolForKey(id self, SEL, id key) {
  id value = NSUserDefaults_objectForKey(self, nullptr, key);
  if (is_number(value)) return msg<BOOL>(value, SELECTOR(boolValue)) ? YES : NO;
  return is_string(value) && NSUserDefaultsStringIsTrue(NSStringToStd(value)) ? YES : NO;
}

// Numbers give their integer value; strings holding a whole number give it,
// clamped to 32 bits; anything else is 0.
NSInteger NSUserDefaults_integerForKey(id self, SEL, id key) {
  id value = NSUserDefaults_objectForKey(self, nullptr, key);
  if (is_number(value)) return msg<NSInteger>(value, SELECTOR(intValue));
  long long number = 0;
  if (is_string(value) && parse_integer(lowercase_trimmed(NSStringToStd(value)), number))
    return static_cast<NSInteger>(number);
  return 0;
}

// A string, a number's description (autoreleased), or nil.
id NSUserDefaults_stringForKey(id self, SEL, id key) {
  id value = NSUserDefaults_objectForKey(self, nullptr, key);
  if (is_string(value)) return value;
  if (is_number(value)) return msg<id>(value, SELECTOR(description));
  return nil;
}

void NSUserDefaults_removeObjectForKey(id self, SEL, id key);

void NSUserDefaults_setObjectForKey(id self, SEL, id value, id key) {
  if (value == nil) {
    NSUserDefaults_removeObjectForKey(self, nullptr, key);
    return;
  }
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  if (!is_string(key)) {
    report(s, "setObject:forKey: needs a string key");
    return;
  }
  std::string name = NSStringToStd(key);
  plist::Value tree;
  std::string why;
  // Converting and copying value run its methods, and replacing the cache
  // deallocates copies of earlier values: any of them may raise.
  NSRunCleaningUpOnRaise(
      [&] {
        if (!NSPropertyListFromObject(value, tree, why)) {
          report(s, "not saving \"" + name + "\": " + why);
          return;
        }
        update_app_domain_locked(s, name, value, [&](plist::Dictionary& d) {
          d.set(name, std::move(tree));
          return true;
        });
      },
      [&] {
        foundation::discard(name);
        foundation::discard(tree);
        foundation::discard(why);
      });
}

void NSUserDefaults_setBoolForKey(id self, SEL, BOOL value, id key) {
  id pool = foundation::open_pool();
  NSUserDefaults_setObjectForKey(self, nullptr, NSNumberFromBool(value != NO), key);
  foundation::drain_pool(pool);
}

void NSUserDefaults_setIntegerForKey(id self, SEL, NSInteger value, id key) {
  id pool = foundation::open_pool();
  NSUserDefaults_setObjectForKey(self, nullptr, NSNumberFromInt(value), key);
  foundation::drain_pool(pool);
}

void NSUserDefaults_removeObjectForKey(id self, SEL, id key) {
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  if (!is_string(key)) return;
  std::string name = NSStringToStd(key);
  // Replacing the cache deallocates copies of earlier values, which may raise.
  NSRunCleaningUpOnRaise(
      [&] { update_app_domain_locked(s, name, nil, [&](plist::Dictionary& d) { return d.erase(name); }); },
      [&] { foundation::discard(name); });
}

// Merges dictionary into the registration domain. Anything but a
// dictionary is ignored.
void NSUserDefaults_registerDefaults(id self, SEL, id dictionary) {
  if (!is_dictionary(dictionary)) return;
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  msg<void>(s.registration, SELECTOR(addEntriesFromDictionary:), dictionary);
}

// Re-reads the persistent domains. NO if the application's or the global
// domain cannot be read.
BOOL NSUserDefaults_synchronize(id self, SEL) {
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  forget_domains_locked(s);
  bool app_ok = !domain_locked(s, s.app_name).broken;
  bool global_ok = !domain_locked(s, defaults_store::kGlobalDomainName).broken;
  return app_ok && global_ok ? YES : NO;
}

// An autoreleased copy of the domain, or nil if it does not exist (or
// cannot be read).
id NSUserDefaults_persistentDomainForName(id self, SEL, id name) {
  if (!is_string(name)) return nil;
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  id found = nil;
  {
    std::string domain_name = NSStringToStd(name);
    std::string why;
    if (!defaults_store::is_valid_domain_name(domain_name, why)) return nil;
    Domain& domain = domain_locked(s, domain_name);
    if (!domain.present) return nil;
    found = domain.dictionary;
  }
  // Copying retains the values, outside the block that holds strings.
  return msg<id>(msg<id>(found, SELECTOR(copy)), SELECTOR(autorelease));
}

void NSUserDefaults_setPersistentDomainForName(id self, SEL, id dictionary, id name) {
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  if (!is_string(name)) {
    report(s, "setPersistentDomain:forName: needs a string name");
    return;
  }
  std::string domain_name = NSStringToStd(name);
  plist::Value tree;
  std::string why;
  // Converting dictionary runs its methods and its contents', and replacing
  // the app domain's cache deallocates copies of values set earlier: any of
  // them may raise.
  NSRunCleaningUpOnRaise(
      [&] {
        if (!is_dictionary(dictionary)) {
          report(s, "not saving domain " + domain_name + ": it must be given a dictionary");
          return;
        }
        if (!NSPropertyListFromObject(dictionary, tree, why)) {
          report(s, "not saving domain " + domain_name + ": " + why);
          return;
        }
        if (!defaults_store::save(domain_name, tree.dictionary(), why)) {
          report(s, "not saving domain " + domain_name + ": " + why);
          return;
        }
        Domain& domain = s.persistent[domain_name];
        id replaced = domain.dictionary;
        domain.dictionary = objects_for(tree.dictionary());
        domain.present = true;
        domain.broken = false;
        release(replaced);
      },
      [&] {
        foundation::discard(domain_name);
        foundation::discard(tree);
        foundation::discard(why);
      });
}

void NSUserDefaults_removePersistentDomainForName(id self, SEL, id name) {
  if (!is_string(name)) return;
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  id replaced = nil;
  {
    std::string domain_name = NSStringToStd(name);
    std::string why;
    if (!defaults_store::remove(domain_name, why)) {
      report(s, "not removing domain " + domain_name + ": " + why);
      return;
    }
    Domain& domain = s.persistent[domain_name];
    replaced = domain.dictionary;
    domain.dictionary = new_mutable_dictionary();
    domain.present = false;
    domain.broken = false;
  }
  // May deallocate copies of values set earlier, which may raise.
  release(replaced);
}

id NSUserDefaults_persistentDomainNames(id, SEL) {
  id names = msg<id>(cls("NSMutableArray"), SELECTOR(array));
  for (const std::string& name : defaults_store::domain_names())
    msg<void>(names, SELECTOR(addObject:), NSStringFromUTF8(name.c_str()));
  return names;
}

// The search list merged into one autoreleased dictionary.
id NSUserDefaults_dictionaryRepresentation(id self, SEL) {
  State& s = state(self);
  objc::TrackedLock guard(s.lock);
  id merged = msg<id>(cls("NSMutableDictionary"), SELECTOR(dictionary));
  msg<void>(merged, SELECTOR(addEntriesFromDictionary:), s.registration);
  id global = domain_locked(s, defaults_store::kGlobalDomainName).dictionary;
  msg<void>(merged, SELECTOR(addEntriesFromDictionary:), global);
  msg<void>(merged, SELECTOR(addEntriesFromDictionary:), domain_locked(s, s.app_name).dictionary);
  msg<void>(merged, SELECTOR(addEntriesFromDictionary:), s.arguments);
  return merged;
}

const objc_method_def class_methods[] = {
    {"standardUserDefaults", objc_imp(&NSUserDefaults_standardUserDefaults)},
};
const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSUserDefaults_init)},
    {"dealloc", objc_imp(&NSUserDefaults_dealloc)},
    {"objectForKey:", objc_imp(&NSUserDefaults_objectForKey)},
    {"domainNameForKey:", objc_imp(&NSUserDefaults_domainNameForKey)},
    {"boolForKey:", objc_imp(&NSUserDefaults_boolForKey)},
    {"integerForKey:", objc_imp(&NSUserDefaults_integerForKey)},
    {"stringForKey:", objc_imp(&NSUserDefaults_stringForKey)},
    {"setObject:forKey:", objc_imp(&NSUserDefaults_setObjectForKey)},
    {"setBool:forKey:", objc_imp(&NSUserDefaults_setBoolForKey)},
    {"setInteger:forKey:", objc_imp(&NSUserDefaults_setIntegerForKey)},
    {"removeObjectForKey:", objc_imp(&NSUserDefaults_removeObjectForKey)},
    {"registerDefaults:", objc_imp(&NSUserDefaults_registerDefaults)},
    {"synchronize", objc_imp(&NSUserDefaults_synchronize)},
    {"persistentDomainForName:", objc_imp(&NSUserDefaults_persistentDomainForName)},
    {"setPersistentDomain:forName:", objc_imp(&NSUserDefaults_setPersistentDomainForName)},
    {"removePersistentDomainForName:", objc_imp(&NSUserDefaults_removePersistentDomainForName)},
    {"persistentDomainNames", objc_imp(&NSUserDefaults_persistentDomainNames)},
    {"dictionaryRepresentation", objc_imp(&NSUserDefaults_dictionaryRepresentation)},
};

objc_class_def NSUserDefaults_def = {"NSUserDefaults",
                                     "NSObject",
                                     sizeof(NSUserDefaultsLayout),
                                     objc_methods(class_methods),
                                     objc_methods(instance_methods),
                                     Nil};
objc_class_def* const classes[] = {&NSUserDefaults_def};
objc_constant_string* const strings[] = {&argument_domain, &global_domain, &registration_domain};
objc_module_record user_defaults_record = objc_module("NSUserDefaults", classes, nullptr, strings);
OBJC_MODULE_RECORD(user_defaults_record)

}  // namespace

id const NSArgumentDomain = reinterpret_cast<id>(&argument_domain);
id const NSGlobalDomain = reinterpret_cast<id>(&global_domain);
id const NSRegistrationDomain = reinterpret_cast<id>(&registration_domain);

bool NSUserDefaultsStringIsTrue(std::string_view text) {
  std::string word = lowercase_trimmed(std::string(text));
  if (word == "yes" || word == "true") return true;
  long long number = 0;
  return parse_integer(word, number) && number != 0;
}
