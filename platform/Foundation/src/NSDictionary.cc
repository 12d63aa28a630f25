// NSDictionary and NSMutableDictionary. Keys are matched by sending -hash
// and -isEqual:, and are copied on the way in; values are retained. Entries
// keep their insertion order; once there are more than a few, a hashed
// index over them finds a key in constant time, and look-up compares the
// cached hash before sending -isEqual:. Every change is checked first and
// applied last, so a raise leaves the dictionary as it was.
#include "Foundation/NSDictionary.h"

#include <string>
#include <vector>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

struct Entry {
  id key;
  id value;
  NSUInteger hash;
};
using Entries = std::vector<Entry>;

// Up to this many entries a look-up compares them in order.
constexpr size_t kDirectSearch = 8;

// What NSDictionaryLayout::entries points at.
struct Storage {
  Entries list;  // insertion order
  // Open-addressed by key hash, power-of-two sized, at most half full:
  // position + 1 of an entry in list, 0 for an empty slot. Empty while
  // list has kDirectSearch entries or fewer.
  std::vector<uint32_t> index;
};

Storage& storage(id self) {
  auto* d = static_cast<NSDictionaryLayout*>(self);
  if (d->entries == nullptr) d->entries = new Storage;
  return *static_cast<Storage*>(d->entries);
}

Entries& entries(id self) { return storage(self).list; }

void index_position(Storage& s, size_t position) {
  size_t mask = s.index.size() - 1;
  size_t i = s.list[position].hash & mask;
  while (s.index[i] != 0) i = (i + 1) & mask;
  s.index[i] = static_cast<uint32_t>(position + 1);
}

void rebuild_index(Storage& s) {
  s.index.clear();
  if (s.list.size() <= kDirectSearch) return;
  size_t capacity = 16;
  while (capacity < s.list.size() * 2) capacity *= 2;
  s.index.assign(capacity, 0);
  for (size_t i = 0; i < s.list.size(); ++i) index_position(s, i);
}

// Appends an entry and indexes it.
void append(Storage& s, const Entry& entry) {
  s.list.push_back(entry);
  if (s.list.size() * 2 > s.index.size())
    rebuild_index(s);
  else
    index_position(s, s.list.size() - 1);
}

bool same_key(const Entry& entry, id key, NSUInteger hash) {
  return entry.hash == hash && (entry.key == key || msg<BOOL>(entry.key, SELECTOR(isEqual:), key) != NO);
}

// Index of the entry whose key equals key, or -1. isEqual: may raise; the
// storage is the dictionary's own, so nothing here needs cleaning up.
ptrdiff_t find(id self, id key, NSUInteger hash) {
  Storage& s = storage(self);
  if (s.index.empty()) {
    for (size_t i = 0; i < s.list.size(); ++i)
      if (same_key(s.list[i], key, hash)) return static_cast<ptrdiff_t>(i);
    return -1;
  }
  size_t mask = s.index.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    uint32_t slot = s.index[i];
    if (slot == 0) return -1;
    if (same_key(s.list[slot - 1], key, hash)) return static_cast<ptrdiff_t>(slot - 1);
  }
}

[[noreturn]] void raise_nil(Class cls, const char* method, bool key) {
  char reason[256];
  std::snprintf(reason, sizeof reason, "-[%s %s]: attempt to insert nil %s", class_getName(cls), method,
                key ? "key" : "object");
  NSRaise("NSInvalidArgumentException", reason);
}

// Stores value under a copy of key, replacing an equal key's value.
void store(id self, id value, id key, const char* method) {
  if (key == nil || value == nil) raise_nil(object_getClass(self), method, key == nil);
  NSUInteger hash = msg<NSUInteger>(key, SELECTOR(hash));
  ptrdiff_t at = find(self, key, hash);
  if (at >= 0) {
    Entry& entry = entries(self)[static_cast<size_t>(at)];
    id old = entry.value;
    entry.value = msg<id>(value, SELECTOR(retain));
    msg<void>(old, SELECTOR(release));
    return;
  }
  // The value is held first; a key whose copy (or retain) raises gives it
  // up again, and nothing is stored.
  id held = msg<id>(value, SELECTOR(retain));
  id copied = nil;
  NSRunCleaningUpOnRaise([&] { copied = msg<id>(key, SELECTOR(copy)); },
                         [&] { msg<void>(held, SELECTOR(release)); });
  append(storage(self), {copied, held, hash});
}

// Empties list and releases its keys and values, each key before its
// value (release_all: a dealloc that raises leaves the rest to the pool).
void release_entries(Entries& list) {
  std::vector<id> owned;
  owned.reserve(list.size() * 2);
  for (const Entry& entry : list) {
    owned.push_back(entry.key);
    owned.push_back(entry.value);
  }
  discard(list);
  release_all(owned);
}

// --- NSDictionary ------------------------------------------------------------

id NSDictionary_dictionary(id self, SEL) {
  return msg<id>(msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init)), SELECTOR(autorelease));
}
id NSDictionary_dictionaryWithObjectsForKeysCount(id self, SEL, const id* objects, const id* keys,
                                                  NSUInteger count) {
  id d =
      msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithObjects:forKeys:count:), objects, keys, count);
  return msg<id>(d, SELECTOR(autorelease));
}
id NSDictionary_dictionaryWithDictionary(id self, SEL, id other) {
  id d = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithDictionary:), other);
  return msg<id>(d, SELECTOR(autorelease));
}
id NSDictionary_init(id self, SEL) {
  entries(self);
  return self;
}
id NSDictionary_initWithCapacity(id self, SEL, NSUInteger capacity) {
  entries(self).reserve(capacity);
  return self;
}
id NSDictionary_initWithObjectsForKeysCount(id self, SEL, const id* objects, const id* keys,
                                            NSUInteger count) {
  for (NSUInteger i = 0; i < count; ++i) {
    if (objects[i] == nil || keys[i] == nil) {
      Class cls = object_getClass(self);
      msg<void>(self, SELECTOR(release));
      raise_nil(cls, "initWithObjects:forKeys:count:", keys[i] == nil);
    }
  }
  // A key's hash, isEqual: or copy may raise: the half-made dictionary is
  // released and the raise goes on.
  NSRunCleaningUpOnRaise(
      [&] {
        for (NSUInteger i = 0; i < count; ++i)
          store(self, objects[i], keys[i], "initWithObjects:forKeys:count:");
      },
      [&] { msg<void>(self, SELECTOR(release)); });
  return self;
}
id NSDictionary_initWithDictionary(id self, SEL, id other) {
  if (is_dictionary(other)) {
    Storage& s = storage(self);
    for (const Entry& entry : entries(other))
      append(s, {msg<id>(entry.key, SELECTOR(retain)), msg<id>(entry.value, SELECTOR(retain)), entry.hash});
  }
  return self;
}
void NSDictionary_dealloc(id self, SEL) {
  auto* d = static_cast<NSDictionaryLayout*>(self);
  auto* s = static_cast<Storage*>(d->entries);
  d->entries = nullptr;
  if (s != nullptr) {
    Entries owned;
    owned.swap(s->list);
    delete s;
    // If a key's or value's dealloc raises, the rest go to the pool and the
    // dictionary is freed all the same before the raise goes on.
    NSRunCleaningUpOnRaise([&] { release_entries(owned); },
                           [&] { msgSuper<void>(objc_super_of(self, NSDictionary_def), SELECTOR(dealloc)); });
  }
  msgSuper<void>(objc_super_of(self, NSDictionary_def), SELECTOR(dealloc));
}
NSUInteger NSDictionary_count(id self, SEL) { return static_cast<NSUInteger>(entries(self).size()); }
id NSDictionary_objectForKey(id self, SEL, id key) {
  if (key == nil) return nil;
  ptrdiff_t at = find(self, key, msg<NSUInteger>(key, SELECTOR(hash)));
  return at >= 0 ? entries(self)[static_cast<size_t>(at)].value : nil;
}
id array_of(id self, id Entry::*field) {
  std::vector<id> list;
  for (const Entry& entry : entries(self)) list.push_back(entry.*field);
  id array = nil;
  // Retaining an element may raise.
  NSRunCleaningUpOnRaise(
      [&] {
        array = msg<id>(reinterpret_cast<id>(NSArray_def.cls), SELECTOR(arrayWithObjects:count:),
                        static_cast<const id*>(list.data()), static_cast<NSUInteger>(list.size()));
      },
      [&] { discard(list); });
  return array;
}
id NSDictionary_allKeys(id self, SEL) { return array_of(self, &Entry::key); }
id NSDictionary_allValues(id self, SEL) { return array_of(self, &Entry::value); }
BOOL NSDictionary_isEqualToDictionary(id self, SEL, id other) {
  if (self == other) return YES;
  if (!is_dictionary(other) || entries(self).size() != entries(other).size()) return NO;
  for (const Entry& entry : entries(self)) {
    ptrdiff_t at = find(other, entry.key, entry.hash);
    if (at < 0) return NO;
    id theirs = entries(other)[static_cast<size_t>(at)].value;
    if (theirs != entry.value && msg<BOOL>(entry.value, SELECTOR(isEqual:), theirs) == NO) return NO;
  }
  return YES;
}
NSUInteger NSDictionary_hash(id self, SEL) { return static_cast<NSUInteger>(entries(self).size()); }
id NSDictionary_description(id self, SEL) {
  std::string text = "{";
  // A key's or value's description may raise.
  NSRunCleaningUpOnRaise(
      [&] {
        for (size_t i = 0; i < entries(self).size(); ++i) {
          Entry entry = entries(self)[i];
          text += describe(entry.key);
          text += " = ";
          text += describe(entry.value);
          text += "; ";
        }
      },
      [&] { discard(text); });
  text += "}";
  return make_string(text);
}
// An immutable dictionary is never changed, so a copy can share it.
id NSDictionary_copyWithZone(id self, SEL, void*) { return msg<id>(self, SELECTOR(retain)); }
id NSDictionary_mutableCopyWithZone(id self, SEL, void*) {
  id copy = msg<id>(reinterpret_cast<id>(NSMutableDictionary_def.cls), SELECTOR(alloc));
  return msg<id>(copy, SELECTOR(initWithDictionary:), self);
}

// --- NSMutableDictionary -------------------------------------------------------

id NSMutableDictionary_dictionaryWithCapacity(id self, SEL, NSUInteger capacity) {
  id d = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithCapacity:), capacity);
  return msg<id>(d, SELECTOR(autorelease));
}
void NSMutableDictionary_setObjectForKey(id self, SEL, id value, id key) {
  store(self, value, key, "setObject:forKey:");
}
void NSMutableDictionary_removeObjectForKey(id self, SEL, id key) {
  if (key == nil)
    NSRaise("NSInvalidArgumentException", "-[NSMutableDictionary removeObjectForKey:]: nil key");
  ptrdiff_t at = find(self, key, msg<NSUInteger>(key, SELECTOR(hash)));
  if (at < 0) return;
  Storage& s = storage(self);
  Entry removed = s.list[static_cast<size_t>(at)];
  s.list.erase(s.list.begin() + at);
  rebuild_index(s);  // later entries moved down one place
  const id pair[] = {removed.key, removed.value};
  release_each(pair, 2);
}
void NSMutableDictionary_removeAllObjects(id self, SEL) {
  Entries removed;
  removed.swap(entries(self));
  storage(self).index.clear();
  release_entries(removed);
}
void NSMutableDictionary_addEntriesFromDictionary(id self, SEL, id other) {
  if (!is_dictionary(other) || other == self) return;
  // By index, holding no copy of the list: storing sends hash, isEqual:
  // and copy to the keys, any of which may raise.
  for (size_t i = 0; i < entries(other).size(); ++i) {
    Entry entry = entries(other)[i];
    store(self, entry.value, entry.key, "addEntriesFromDictionary:");
  }
}
id NSMutableDictionary_copyWithZone(id self, SEL, void*) {
  id copy = msg<id>(reinterpret_cast<id>(NSDictionary_def.cls), SELECTOR(alloc));
  return msg<id>(copy, SELECTOR(initWithDictionary:), self);
}

const objc_method_def dictionary_class_methods[] = {
    {"dictionary", objc_imp(&NSDictionary_dictionary)},
    {"dictionaryWithObjects:forKeys:count:", objc_imp(&NSDictionary_dictionaryWithObjectsForKeysCount)},
    {"dictionaryWithDictionary:", objc_imp(&NSDictionary_dictionaryWithDictionary)},
};
const objc_method_def dictionary_methods[] = {
    {"init", objc_imp(&NSDictionary_init)},
    {"initWithCapacity:", objc_imp(&NSDictionary_initWithCapacity)},
    {"initWithObjects:forKeys:count:", objc_imp(&NSDictionary_initWithObjectsForKeysCount)},
    {"initWithDictionary:", objc_imp(&NSDictionary_initWithDictionary)},
    {"dealloc", objc_imp(&NSDictionary_dealloc)},
    {"count", objc_imp(&NSDictionary_count)},
    {"objectForKey:", objc_imp(&NSDictionary_objectForKey)},
    {"allKeys", objc_imp(&NSDictionary_allKeys)},
    {"allValues", objc_imp(&NSDictionary_allValues)},
    {"isEqual:", objc_imp(&NSDictionary_isEqualToDictionary)},
    {"isEqualToDictionary:", objc_imp(&NSDictionary_isEqualToDictionary)},
    {"hash", objc_imp(&NSDictionary_hash)},
    {"description", objc_imp(&NSDictionary_description)},
    {"copyWithZone:", objc_imp(&NSDictionary_copyWithZone)},
    {"mutableCopyWithZone:", objc_imp(&NSDictionary_mutableCopyWithZone)},
};
const objc_method_def mutable_dictionary_class_methods[] = {
    {"dictionaryWithCapacity:", objc_imp(&NSMutableDictionary_dictionaryWithCapacity)},
};
const objc_method_def mutable_dictionary_methods[] = {
    {"setObject:forKey:", objc_imp(&NSMutableDictionary_setObjectForKey)},
    {"removeObjectForKey:", objc_imp(&NSMutableDictionary_removeObjectForKey)},
    {"removeAllObjects", objc_imp(&NSMutableDictionary_removeAllObjects)},
    {"addEntriesFromDictionary:", objc_imp(&NSMutableDictionary_addEntriesFromDictionary)},
    {"copyWithZone:", objc_imp(&NSMutableDictionary_copyWithZone)},
};

}  // namespace

objc_class_def NSDictionary_def = {"NSDictionary",
                                   "NSObject",
                                   sizeof(NSDictionaryLayout),
                                   objc_methods(dictionary_class_methods),
                                   objc_methods(dictionary_methods),
                                   Nil};
objc_class_def NSMutableDictionary_def = {"NSMutableDictionary",
                                          "NSDictionary",
                                          sizeof(NSDictionaryLayout),
                                          objc_methods(mutable_dictionary_class_methods),
                                          objc_methods(mutable_dictionary_methods),
                                          Nil};

namespace {
objc_class_def* const classes[] = {&NSDictionary_def, &NSMutableDictionary_def};
objc_module_record NSDictionary_record = objc_module("NSDictionary", classes);
OBJC_MODULE_RECORD(NSDictionary_record)
}  // namespace

}  // namespace foundation

id NSDictionaryOf(std::initializer_list<std::pair<id, id>> pairs) {
  std::vector<id> keys;
  std::vector<id> values;
  for (const auto& [key, value] : pairs) {
    keys.push_back(key);
    values.push_back(value);
  }
  id dictionary = nil;
  // A key's hash, isEqual: or copy may raise.
  NSRunCleaningUpOnRaise(
      [&] {
        dictionary =
            msg<id>(reinterpret_cast<id>(objc_getClass("NSDictionary")),
                    SELECTOR(dictionaryWithObjects:forKeys:count:), static_cast<const id*>(values.data()),
                    static_cast<const id*>(keys.data()), static_cast<NSUInteger>(keys.size()));
      },
      [&] {
        foundation::discard(keys);
        foundation::discard(values);
      });
  return dictionary;
}
