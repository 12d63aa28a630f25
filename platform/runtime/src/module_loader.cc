// Module registration and loading: the records queued by each unit's
// static constructor, their registration when the module's attach handler
// names the module, the pending index of classes whose superclass has not
// arrived, constant strings waiting for their class, and the load messages
// sent once a module's records are all registered.
//
// Where loads are sent. Each registration collects the loads it made ready
// into a batch of its own, tagged with the registering thread; a batch is
// only ever sent on that thread, never inside the operating system's
// loader, and a thread never sends another thread's batch:
// - objc_loadModule opens the module with a load context of its own on
//   the active list; a registration on that thread while the context is
//   active hands its batch to it, and objc_loadModule sends it once the
//   loader has returned, before it returns itself.
// - A module the system loads by itself (linked at start-up, or opened
//   with the plain system call) registers inside the loader: its batch
//   waits, and is sent at that thread's next runtime entry after the
//   attach handler has returned (objc_getClass, objc_lookUpClass,
//   objc_loadModule, or objc_finish_header for records of the program's
//   own). Code that runs later inside the same system load (another
//   module's static initialiser) should not look classes up by name.
// - Records of the program itself, or records a program registers under a
//   name of its own, are not inside the loader: objc_finish_header sends
//   them at once.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>
#include <thread>

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
  std::vector<Class> loadable;  // classes with a +load registered by the registration under way
};

// The loads one registration made ready.
struct LoadBatch {
  std::thread::id thread;  // the registering thread, the only one that sends them
  bool in_loader = false;  // registered inside the system's loader: not sent by objc_finish_header
  std::vector<Class> classes;
  std::vector<const objc_category_def*> categories;
};

// One objc_loadModule while its module is being opened.
struct LoadContext {
  std::thread::id thread;
  std::vector<LoadBatch> batches;  // handed over by the registrations of its open
  bool attach_failed = false;      // set by objc_drop_header
  bool registered = false;         // some module registered during its open
};

// Guarded by runtime_lock.
struct Loads {
  std::vector<LoadContext*> active;  // objc_loadModule calls opening a module
  std::vector<LoadBatch> waiting;    // batches of registrations outside objc_loadModule
};
Loads& loads() {
  static auto* l = new Loads;
  return *l;
}
// Batches waiting, for the cheap test at runtime entries.
std::atomic<size_t> g_waiting_batches{0};

// This thread's innermost active load context, or nullptr. Expects
// runtime_lock held.
LoadContext* active_context() {
  expect_runtime_lock();
  auto& active = loads().active;
  auto it = std::find_if(active.rbegin(), active.rend(),
                         [](LoadContext* c) { return c->thread == std::this_thread::get_id(); });
  return it != active.rend() ? *it : nullptr;
}

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

// Serialises the opening of modules by objc_loadModule.
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

void objc_register_header(const char* module_path) {
  // Asked before the runtime lock is taken: the loader takes locks of its
  // own, which a module being attached already holds when it queues.
  loader::Range range;
  bool known = module_path != nullptr && loader::module_range(module_path, range);
  // A registered module's classes lead into its image, so it is never
  // unloaded (detaching undoes nothing), even when an open that loaded it
  // as a dependency fails and closes what it opened.
  if (known) loader::pin(module_path);
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

  LoadBatch batch;
  batch.thread = std::this_thread::get_id();
  batch.classes.swap(r.loadable);
  batch.categories = take_loadable_categories();
  if (LoadContext* context = active_context()) {
    context->registered = true;
    context->batches.push_back(std::move(batch));
    return;
  }
  // A module of the system's own loading other than the program: inside
  // the loader now. Its batch waits even when empty, so that the
  // objc_finish_header that follows sends nothing of this thread's.
  batch.in_loader = known && !loader::is_program(range);
  loads().waiting.push_back(std::move(batch));
  g_waiting_batches.fetch_add(1, std::memory_order_relaxed);
}

void objc_drop_header(const void* address) {
  loader::Range range;
  bool known = loader::module_range_at(address, range);
  std::lock_guard guard(runtime_lock());
  if (LoadContext* context = active_context()) context->attach_failed = true;
  if (!known) return;
  auto& queued = registry().queued;
  std::erase_if(queued, [&](objc_module_record* record) { return range.contains(record); });
}

namespace {

// Sends the batches' loads, oldest first. A load may raise, which jumps
// over this frame: the loads not sent yet are dropped, and the batches'
// storage is freed here. Sent directly and not by dispatch: a class
// receives only its own load, never an inherited one. Expects no lock held.
void send_loads(std::vector<LoadBatch>& batches) {
  objc::OnRaise drop_batches([&] { std::vector<LoadBatch>().swap(batches); });
  SEL load = selector_for_load();
  for (const LoadBatch& batch : batches) {
    for (Class cls : batch.classes) reinterpret_cast<void (*)(id, SEL)>(cls->rt->own_load)(cls, load);
    for (const objc_category_def* category : batch.categories) {
      Class cls = objc_getClass(category->class_name);
      reinterpret_cast<void (*)(id, SEL)>(load_method_in(category->class_methods))(cls, load);
    }
  }
}

// Takes this thread's waiting batches, oldest first. Expects runtime_lock
// held.
std::vector<LoadBatch> take_waiting() {
  expect_runtime_lock();
  std::vector<LoadBatch> mine, others;
  for (LoadBatch& batch : loads().waiting)
    (batch.thread == std::this_thread::get_id() ? mine : others).push_back(std::move(batch));
  loads().waiting.swap(others);
  g_waiting_batches.fetch_sub(mine.size(), std::memory_order_relaxed);
  return mine;
}

}  // namespace

namespace objc::rt {

void send_waiting_loads() {
  if (g_waiting_batches.load(std::memory_order_relaxed) == 0) [[likely]]
    return;
  std::vector<LoadBatch> mine;
  {
    std::lock_guard guard(runtime_lock());
    mine = take_waiting();
  }
  send_loads(mine);
}

}  // namespace objc::rt

void objc_finish_header() {
  std::vector<LoadBatch> mine;
  {
    std::lock_guard guard(runtime_lock());
    auto& waiting = loads().waiting;
    auto last = std::find_if(waiting.rbegin(), waiting.rend(),
                             [](const LoadBatch& b) { return b.thread == std::this_thread::get_id(); });
    // Called by the attach handler of a module the system is loading: the
    // loads wait until the loader has returned.
    if (last == waiting.rend() || last->in_loader) return;
    mine = take_waiting();
  }
  send_loads(mine);
}

BOOL objc_loadModule(const char* path, char* error, size_t error_size) {
  if (path == nullptr || *path == '\0') {
    write_error(error, error_size, "no module path given");
    return NO;
  }
  send_waiting_loads();
  LoadContext context{std::this_thread::get_id(), {}, false, false};
  std::string why;
  loader::Handle module;
  bool unregistered;
  {
    // Serialises the opening only: the loads are sent after the lock is
    // given up, so a load or initialize may load another module.
    // Tracked, and the context taken off the active list, in case code in
    // the module's static initialisers raises out of the loader.
    objc::TrackedLock serial(load_lock());
    {
      std::lock_guard guard(runtime_lock());
      registry().queued.clear();  // left over from a module that never attached
      loads().active.push_back(&context);
    }
    objc::OnRaise deactivate([&context] {
      std::lock_guard guard(runtime_lock());
      std::erase(loads().active, &context);
    });
    module = loader::open(path, why);
    std::lock_guard guard(runtime_lock());
    std::erase(loads().active, &context);
    // Records still queued belong to a module whose attach handler did not
    // register them: it found no objc_register_header to call, and none
    // of them may stay.
    unregistered = !registry().queued.empty();
    registry().queued.clear();
  }
  bool failed = module == nullptr || context.attach_failed || unregistered;
  if (module == nullptr) {
    write_error(error, error_size, "cannot load module " + std::string(path) + ": " + why);
  } else if (failed) {
    write_error(
        error, error_size,
        "module " + std::string(path) + " did not attach: " +
            (context.attach_failed ? "its path could not be read or is too long"
                                   : "its attach handler did not find the runtime's objc_register_header"));
    // A module that registered during this open (one it depends on) stays
    // mapped: every registered module is pinned (objc_register_header).
    loader::close(module);
  }
  // What did register is registered for good and receives its loads.
  send_loads(context.batches);
  return failed ? NO : YES;
}
