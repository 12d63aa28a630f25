// The class table: names to classes, read without a lock, and the list of
// every registered class. Also the simple class and instance accessors.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime_internal.h"

namespace {

struct NameSlot {
  std::atomic<const char*> name;
  std::atomic<Class> cls;
};

// Open-addressed, power-of-two sized. Like a dispatch cache it is replaced,
// never shrunk or freed, when it grows, so a lock-free reader is always
// safe.
struct NameTable {
  uint32_t mask;
  uint32_t used;
  NameSlot* slots() { return reinterpret_cast<NameSlot*>(this + 1); }
};

NameTable* new_table(uint32_t capacity) {
  void* memory = ::operator new(sizeof(NameTable) + capacity * sizeof(NameSlot));
  auto* table = new (memory) NameTable{capacity - 1, 0};
  for (uint32_t i = 0; i < capacity; ++i) new (&table->slots()[i]) NameSlot{{nullptr}, {nullptr}};
  return table;
}

std::atomic<NameTable*> g_names{new_table(256)};
std::vector<NameTable*>* g_retired_tables = new std::vector<NameTable*>;
std::vector<Class>* g_classes = new std::vector<Class>;

uint32_t name_hash(const char* name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    h ^= *p;
    h *= 16777619u;
  }
  return h;
}

// Expects runtime_lock held.
void insert_slot(NameTable* table, const char* name, Class cls) {
  uint32_t i = name_hash(name) & table->mask;
  while (table->slots()[i].name.load(std::memory_order_relaxed) != nullptr) i = (i + 1) & table->mask;
  table->slots()[i].cls.store(cls, std::memory_order_relaxed);
  table->slots()[i].name.store(name, std::memory_order_release);
  ++table->used;
}

}  // namespace

namespace objc::rt {

std::mutex& runtime_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}

void fatal(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::fputs("objc: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::abort();
}

Class table_find(const char* name) {
  NameTable* table = g_names.load(std::memory_order_acquire);
  uint32_t i = name_hash(name) & table->mask;
  for (;;) {
    const char* slot_name = table->slots()[i].name.load(std::memory_order_acquire);
    if (slot_name == nullptr) return nullptr;
    if (std::strcmp(slot_name, name) == 0) return table->slots()[i].cls.load(std::memory_order_acquire);
    i = (i + 1) & table->mask;
  }
}

void table_set(const char* name, Class cls) {
  NameTable* table = g_names.load(std::memory_order_relaxed);
  uint32_t i = name_hash(name) & table->mask;
  for (const char* n; (n = table->slots()[i].name.load(std::memory_order_relaxed)) != nullptr;
       i = (i + 1) & table->mask) {
    if (std::strcmp(n, name) == 0) {
      table->slots()[i].cls.store(cls, std::memory_order_release);
      return;
    }
  }
  if ((table->used + 1) * 4 > (table->mask + 1) * 3) {
    NameTable* grown = new_table((table->mask + 1) * 2);
    for (uint32_t j = 0; j <= table->mask; ++j) {
      NameSlot& s = table->slots()[j];
      if (const char* n = s.name.load(std::memory_order_relaxed))
        insert_slot(grown, n, s.cls.load(std::memory_order_relaxed));
    }
    g_names.store(grown, std::memory_order_release);
    g_retired_tables->push_back(table);
    table = grown;
  }
  insert_slot(table, name, cls);
}

const std::vector<Class>& all_classes() { return *g_classes; }
void add_to_class_list(Class cls) { g_classes->push_back(cls); }

}  // namespace objc::rt

using namespace objc::rt;

Class objc_getClass(const char* name) { return name != nullptr ? table_find(name) : nullptr; }
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
