// Module registration and loading: the records queued by each unit's
// static constructor, their registration when the module's attach handler
// names the module, the pending index of classes whose superclass has not
// arrived, constant strings waiting for their class, and the load messages
// sent once a module's records are all registered.
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>

#include "loader.h"
#include "objc/unwind.h"
#include "runtime_internal.h"

namespace {

using namespace objc::rt;

struct PendingClass {
  objc_class_def* def;
  objc_module_info* module;
};

// All guarded by runtime_lock.
struct Registry {
  std::vector<objc_module_record*> queued;  // records of the module attaching
  std::deque<objc_module_info> modules;     // stable addresses
  // Classes waiting for their superclass, by the superclass's name, in
  // arrival order for each name. A class that arrives looks up only its
  // own name here, so classes that wait for ever cost later ones nothing.
  // Keys point at the records' names, which live for the process.
  std::unordered_map<std::string_view, std::vector<PendingClass>> pending_classes;
  std::vector<objc_constant_string*> pending_strings;
  std::vector<Class> loadable;  // registered classes whose +load is not sent yet
};

Registry& registry() {
  static auto* r = new Registry;
  return *r;
}

Class new_class_object(const char* name, uint32_t flags) {
  auto* cls = new objc_class{};
  cls->name = name;
  cls->cache.store(empty_cache(), std::memory_order_relaxed);
  cls->flags.store(flags, std::memory_order_relaxed);
  cls->rt = new objc_class_private;
  return cls;
}

Class constant_string_class() { return table_find("NSConstantString"); }

// Registers the class def describes, whose superclass (if any) is present,
// and returns it; nullptr if the name is taken. Classes waiting for it are
// left to resolve_pending. Expects runtime_lock held.
Class register_class(objc_class_def* def, Class super, objc_module_info* module) {
  expect_runtime_lock();
  if (table_find(def->name) != nullptr) {
    std::fprintf(stderr, "objc: class %s is defined twice; keeping the first (ignoring %s)\n", def->name,
                 module->path.c_str());
    return nullptr;
  }
  Class cls = new_class_object(def->name, 0);
  Class meta = new_class_object(def->name, OBJC_CLASS_META);
  cls->isa = meta;
  cls->superclass = super;
  cls->instance_size = def->instance_size;
  if (super != nullptr && cls->instance_size < super->instance_size)
    cls->instance_size = super->instance_size;
  meta->superclass = super != nullptr ? super->isa : cls;  // a root metaclass inherits from its root
  meta->isa = super != nullptr ? super->isa->isa : meta;   // every metaclass's isa is the root metaclass
  cls->rt->counterpart = meta;
  meta->rt->counterpart = cls;
  cls->rt->module = module;
  add_methods(cls, def->instance_methods);
  add_methods(meta, def->class_methods);
  if (auto it = meta->rt->methods.find(selector_for_load()); it != meta->rt->methods.end())
    cls->rt->own_load = it->second;
  def->cls = cls;

  table_add(def->name, cls);
  if (super != nullptr) super->rt->subclasses.push_back(cls);
  add_to_class_list(cls);
  module->classes.push_back(cls);
  if (cls->rt->own_load != nullptr) registry().loadable.push_back(cls);
  attach_pending_categories(cls, def->name);
  if (std::strcmp(def->name, "NSConstantString") == 0) {
    for (objc_constant_string* s : registry().pending_strings) s->isa = cls;
    registry().pending_strings.clear();
  }
  return cls;
}

// Takes the classes waiting for a superclass of this name. Expects
// runtime_lock held.
std::vector<PendingClass> take_waiting(const char* name) {
  expect_runtime_lock();
  auto& index = registry().pending_classes;
  auto it = index.find(name);
  if (it == index.end()) return {};
  std::vector<PendingClass> waiting = std::move(it->second);
  index.erase(it);
  return waiting;
}

// Registers the classes that were waiting for arrived, and those waiting
// for them in turn: depth first, each class's waiters in arrival order.
// An explicit stack, so that a long chain registered subclass first does
// not nest one call per class. Expects runtime_lock held.
void resolve_pending(Class arrived, const char* name) {
  expect_runtime_lock();
  struct Level {
    Class super;
    std::vector<PendingClass> waiting;
    size_t next = 0;
  };
  std::vector<Level> stack;
  stack.push_back({arrived, take_waiting(name)});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.waiting.size()) {
      stack.pop_back();
      continue;
    }
    PendingClass waiting = level.waiting[level.next++];
    if (Class cls = register_class(waiting.def, level.super, waiting.module))
      stack.push_back({cls, take_waiting(waiting.def->name)});  // level is not used after this
  }
}

// Expects runtime_lock held.
void add_class(objc_class_def* def, objc_module_info* module) {
  expect_runtime_lock();
  Class super = nullptr;
  if (def->superclass_name != nullptr && (super = table_find(def->superclass_name)) == nullptr) {
    registry().pending_classes[def->superclass_name].push_back({def, module});
    return;
  }
  if (Class cls = register_class(def, super, module)) resolve_pending(cls, def->name);
}

// Expects runtime_lock held.
void register_record(objc_module_record* record, objc_module_info* module) {
  expect_runtime_lock();
  if (record->version != OBJC_MODULE_VERSION)
    fatal("module %s, unit %s: record version %u, expected %u", module->path.c_str(), record->unit_name,
          record->version, OBJC_MODULE_VERSION);
  for (uint32_t i = 0; i < record->class_count; ++i) add_class(record->classes[i], module);
  for (uint32_t i = 0; i < record->category_count; ++i) add_category(record->categories[i]);
  Class string_class = constant_string_class();
  for (uint32_t i = 0; i < record->string_count; ++i) {
    objc_constant_string* s = record->strings[i];
    s->isa = string_class;
    if (string_class == nullptr) registry().pending_strings.push_back(s);
  }
}

// Serialises objc_loadModule. Held while the module's load methods run, so
// it is taken as a tracked lock that a raise out of a load releases.
std::mutex& load_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}

void write_error(char* error, size_t size, const std::string& text) {
  if (error != nullptr && size > 0) std::snprintf(error, size, "%s", text.c_str());
}

}  // namespace

void __objc_execClass(objc_module_record* record) {
  if (record == nullptr) return;
  std::lock_guard guard(runtime_lock());
  registry().queued.push_back(record);
}

namespace {

// True on the thread whose attach handler reported a failed attach while
// objc_loadModule had the loader open a module.
OBJC_FAST_TLS thread_local bool attach_failed = false;

}  // namespace

void objc_register_header(const char* module_path) {
  // Asked before the runtime lock is taken: the loader takes locks of its
  // own, which a module being attached already holds when it queues.
  loader::Range range;
  bool known = module_path != nullptr && loader::module_range(module_path, range);
  std::lock_guard guard(runtime_lock());
  Registry& r = registry();
  objc_module_info& module = r.modules.emplace_back();
  module.path = module_path != nullptr ? module_path : "";
  std::vector<objc_module_record*> records, others;
  records.swap(r.queued);
  // Of a module the loader knows, only the records inside it: any others
  // belong to modules still attaching.
  for (objc_module_record* record : records) {
    if (!known || range.contains(record))
      register_record(record, &module);
    else
      others.push_back(record);
  }
  r.queued.swap(others);
}

void objc_drop_header(const void* address) {
  loader::Range range;
  bool known = loader::module_range_at(address, range);
  attach_failed = true;
  if (!known) return;
  std::lock_guard guard(runtime_lock());
  auto& queued = registry().queued;
  std::erase_if(queued, [&](objc_module_record* record) { return range.contains(record); });
}

namespace {

// True while objc_loadModule has the platform loader open a module on this
// thread: the attach handler's objc_finish_header then leaves the loads to
// objc_loadModule. The loader runs attach handlers under a lock of its own,
// and a raise from a load must not jump out of it.
OBJC_FAST_TLS thread_local bool loads_deferred = false;

// Sends load to every class and category that became ready. Expects no
// lock held.
void send_loads() {
  std::vector<Class> classes;
  std::vector<const objc_category_def*> categories;
  {
    std::lock_guard guard(runtime_lock());
    classes.swap(registry().loadable);
    categories = take_loadable_categories();
  }
  // A load may raise, which jumps over this frame: the loads not sent yet
  // are dropped, and the lists' storage is freed here.
  objc::OnRaise drop_lists([&] {
    std::vector<Class>().swap(classes);
    std::vector<const objc_category_def*>().swap(categories);
  });
  // Sent outside the lock, directly and not by dispatch: a class receives
  // only its own load, never an inherited one.
  SEL load = selector_for_load();
  for (Class cls : classes) reinterpret_cast<void (*)(id, SEL)>(cls->rt->own_load)(cls, load);
  for (const objc_category_def* category : categories) {
    Class cls = objc_getClass(category->class_name);
    reinterpret_cast<void (*)(id, SEL)>(load_method_in(category->class_methods))(cls, load);
  }
}

}  // namespace

void objc_finish_header() {
  if (!loads_deferred) send_loads();
}

BOOL objc_loadModule(const char* path, char* error, size_t error_size) {
  if (path == nullptr || *path == '\0') {
    write_error(error, error_size, "no module path given");
    return NO;
  }
  // A load sent below may raise, which jumps over this frame: that releases
  // the serial lock and frees why.
  objc::TrackedLock serial(load_lock());
  {
    std::lock_guard guard(runtime_lock());
    registry().queued.clear();  // left over from a module that never attached
  }
  std::string why;
  objc::OnRaise drop_why([&why] { std::string().swap(why); });
  loads_deferred = true;
  attach_failed = false;
  loader::Handle module = loader::open(path, why);
  loads_deferred = false;
  bool failed = attach_failed, unregistered;
  {
    // Records still queued belong to a module whose attach handler did not
    // register them: it found no objc_register_header to call, and none
    // of them may stay.
    std::lock_guard guard(runtime_lock());
    unregistered = !registry().queued.empty();
    registry().queued.clear();
  }
  if (module == nullptr) {
    write_error(error, error_size, "cannot load module " + std::string(path) + ": " + why);
    return NO;
  }
  if (failed || unregistered) {
    loader::close(module);
    write_error(error, error_size,
                "module " + std::string(path) + " did not attach: " +
                    (failed ? "its path could not be read or is too long"
                            : "its attach handler did not find the runtime's objc_register_header"));
    return NO;
  }
  send_loads();
  return YES;
}
