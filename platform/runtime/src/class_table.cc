// The class table: names to classes, read without a lock, and the list of
// every registered class. Also the simple class and instance accessors.
#include <cstdlib>
#include <cstring>

#include "runtime_internal.h"

namespace {

// hash is written before name is published and never changes after, so a
// reader that sees name also sees hash; it lets a probe skip slots whose
// names cannot match without comparing the strings.
struct NameSlot {
  std::atomic<const char*> name;
  std::atomic<objc_name_owner*> owner;
  std::atomic<uint32_t> hash;
};

// Open-addressed, power-of-two sized. Like a dispatch cache it is replaced
// when it grows, never shrunk, and the old one retired (reclaim.cc), so a
// lock-free reader is always safe.
struct NameTable {
  uint32_t mask;
  uint32_t used;
  NameSlot* slots() { return reinterpret_cast<NameSlot*>(this + 1); }
};

NameTable* new_table(uint32_t capacity) {
  void* memory = ::operator new(sizeof(NameTable) + capacity * sizeof(NameSlot));
  auto* table = new (memory) NameTable{capacity - 1, 0};
  for (uint32_t i = 0; i < capacity; ++i) new (&table->slots()[i]) NameSlot{{nullptr}, {nullptr}, {0}};
  return table;
}

std::atomic<NameTable*> g_names{new_table(256)};
std::vector<Class>* g_classes = new std::vector<Class>;

// Hashes a name eight bytes at a time (the length comes from a vectorised
// strlen). A name of up to 16 bytes is read as two overlapping words, its
// first and last eight bytes, which between them hold every byte: two
// independent multiplies instead of a dependent chain, since most class
// names are that short. Longer names fold in the words between as well.
inline uint64_t load_word(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

[[gnu::always_inline]] inline uint32_t name_hash(const char* name, size_t length) {
  constexpr uint64_t kMul = 0x9e3779b97f4a7c15ull;
  constexpr uint64_t kMul2 = 0xc2b2ae3d27d4eb4full;
  uint64_t first, last;
  if (length >= 8) {
    first = load_word(name);
    last = load_word(name + length - 8);
  } else if (length >= 4) {
    uint32_t a, b;
    std::memcpy(&a, name, 4);
    std::memcpy(&b, name + length - 4, 4);
    first = a;
    last = b;
  } else {
    first = length == 0 ? 0
                        : static_cast<uint64_t>(static_cast<unsigned char>(name[0])) |
                              static_cast<uint64_t>(static_cast<unsigned char>(name[length / 2])) << 8 |
                              static_cast<uint64_t>(static_cast<unsigned char>(name[length - 1])) << 16;
    last = 0;
  }
  uint64_t h = ((first ^ length) * kMul) ^ (last * kMul2);
  for (size_t i = 8; i + 8 < length; i += 8) h = ((h ^ load_word(name + i)) * kMul) ^ (h >> 29);
  // The low bits of a product depend only on the low bits of its factors;
  // the table indexes by the low bits of the hash, so take the high half.
  h ^= h >> 31;
  return static_cast<uint32_t>((h * kMul) >> 32);
}

uint32_t name_hash(const char* name) { return name_hash(name, std::strlen(name)); }

// Expects runtime_lock held.
void insert_slot(NameTable* table, const char* name, uint32_t hash, objc_name_owner* owner) {
  objc::rt::expect_runtime_lock();
  uint32_t i = hash & table->mask;
  while (table->slots()[i].name.load(std::memory_order_relaxed) != nullptr) i = (i + 1) & table->mask;
  table->slots()[i].owner.store(owner, std::memory_order_relaxed);
  table->slots()[i].hash.store(hash, std::memory_order_relaxed);
  table->slots()[i].name.store(name, std::memory_order_release);
  ++table->used;
}

}  // namespace

namespace objc::rt {

Class table_find(const char* name) {
  NameTable* table = g_names.load(std::memory_order_acquire);
  size_t length = std::strlen(name);
  uint32_t hash = name_hash(name, length);
  for (uint32_t i = hash & table->mask;; i = (i + 1) & table->mask) {
    NameSlot& slot = table->slots()[i];
    const char* slot_name = slot.name.load(std::memory_order_acquire);
    if (slot_name == nullptr) return nullptr;
    if (slot.hash.load(std::memory_order_relaxed) == hash && std::memcmp(slot_name, name, length + 1) == 0)
      return slot.owner.load(std::memory_order_acquire)->cls.load(std::memory_order_acquire);
  }
}

// Points name at owner, adding it to the table if it is not there.
// Expects runtime_lock held.
void point_name(const char* name, objc_name_owner* owner) {
  expect_runtime_lock();
  NameTable* table = g_names.load(std::memory_order_relaxed);
  uint32_t hash = name_hash(name);
  uint32_t i = hash & table->mask;
  for (const char* n; (n = table->slots()[i].name.load(std::memory_order_relaxed)) != nullptr;
       i = (i + 1) & table->mask) {
    if (std::strcmp(n, name) == 0) {
      table->slots()[i].owner.store(owner, std::memory_order_release);
      return;
    }
  }
  if ((table->used + 1) * 4 > (table->mask + 1) * 3) {
    NameTable* grown = new_table((table->mask + 1) * 2);
    for (uint32_t j = 0; j <= table->mask; ++j) {
      NameSlot& s = table->slots()[j];
      if (const char* n = s.name.load(std::memory_order_relaxed))
        insert_slot(grown, n, s.hash.load(std::memory_order_relaxed),
                    s.owner.load(std::memory_order_relaxed));
    }
    g_names.store(grown, std::memory_order_release);
    objc::rt::retire(
        table, sizeof(NameTable) + (table->mask + 1) * sizeof(NameSlot),
        [](void* block) { ::operator delete(block); }, objc::rt::kRetiredName);
    table = grown;
  }
  insert_slot(table, name, hash, owner);
}

void table_add(const char* name, Class cls) {
  expect_runtime_lock();
  if (cls->rt->names == nullptr) cls->rt->names = new objc_name_owner{{cls}, {}};
  cls->rt->names->names.push_back(name);
  point_name(name, cls->rt->names);
}

void table_hand_over(Class replaced, Class poser) {
  expect_runtime_lock();
  objc_name_owner* taken = replaced->rt->names;
  if (taken == nullptr) return;
  replaced->rt->names = nullptr;
  taken->cls.store(poser, std::memory_order_release);
  // The poser's own names join the record it takes over; a poser is
  // usually new, with one name, so this does not grow with the number of
  // times the name has been posed as.
  if (objc_name_owner* own = poser->rt->names) {
    for (const char* name : own->names) {
      point_name(name, taken);
      taken->names.push_back(name);
    }
    own->names.clear();
    // Left without names; a lock-free reader may still hold it.
    retire(
        own, sizeof(objc_name_owner), [](void* block) { delete static_cast<objc_name_owner*>(block); },
        kRetiredName);
  }
  poser->rt->names = taken;
}

const std::vector<Class>& all_classes() {
  expect_runtime_lock();
  return *g_classes;
}

void add_to_class_list(Class cls) {
  expect_runtime_lock();
  g_classes->push_back(cls);
}

void add_methods(Class cls, const objc_method_list& list) {
  expect_runtime_lock();
  for (uint32_t i = 0; i < list.count; ++i)
    cls->rt->methods[sel_registerName(list.methods[i].name)] = list.methods[i].imp;
}

IMP load_method_in(const objc_method_list& class_methods) {
  for (uint32_t i = 0; i < class_methods.count; ++i)
    if (std::strcmp(class_methods.methods[i].name, "load") == 0) return class_methods.methods[i].imp;
  return nullptr;
}

}  // namespace objc::rt

using namespace objc::rt;

Class objc_getClass(const char* name) {
  send_waiting_loads();  // a runtime entry: loads of modules the system loaded on this thread
  return name != nullptr ? table_find(name) : nullptr;
}
const char* class_getName(Class cls) { return cls != nullptr ? cls->name : "nil"; }
Class class_getSuperclass(Class cls) { return cls != nullptr ? cls->superclass : nullptr; }
BOOL class_isMetaClass(Class cls) { return cls != nullptr && is_meta(cls) ? YES : NO; }
Class object_getClass(id obj) { return obj != nullptr ? obj->isa : nullptr; }

const char* class_getModulePath(Class cls) {
  if (cls == nullptr) return nullptr;
  if (is_meta(cls)) cls = cls->rt->counterpart;
  return cls->rt->module != nullptr ? cls->rt->module->path.c_str() : nullptr;
}

size_t objc_getClassCount() {
  std::lock_guard guard(runtime_lock());
  return all_classes().size();
}

size_t objc_getClassList(Class* buffer, size_t capacity) {
  std::lock_guard guard(runtime_lock());
  const std::vector<Class>& classes = all_classes();
  for (size_t i = 0; i < classes.size() && i < capacity; ++i) buffer[i] = classes[i];
  return classes.size();
}

id class_createInstance(Class cls, size_t extra_bytes) {
  if (cls == nullptr) return nil;
  size_t size = cls->instance_size + extra_bytes;
  if (size < sizeof(objc_object)) size = sizeof(objc_object);
  auto obj = static_cast<id>(std::calloc(1, size));
  if (obj == nullptr) fatal("out of memory allocating an instance of %s", cls->name);
  obj->isa = cls;
  return obj;
}

void object_dispose(id obj) { std::free(obj); }
