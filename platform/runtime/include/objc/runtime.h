// The runtime's public interface: class and selector look-up, the class
// layout that inline dispatch reads, posing, instance creation, module
// registration and module loading.
#pragma once

#include <atomic>

#include "objc/objc.h"

// One slot of a per-class dispatch cache. A slot is filled by writing imp
// first and then publishing sel with release order, so a reader that sees
// sel also sees an imp for it. Once a slot holds a selector it keeps that
// selector for the life of the cache; only its imp may be replaced, by
// another implementation of the same selector for the same class.
struct objc_cache_entry {
  std::atomic<SEL> sel;
  std::atomic<IMP> imp;
};

// Open-addressed table of (selector, implementation) pairs, sized to a
// power of two and probed linearly from a selector's home slot. Selectors
// are 16-byte aligned, so the home slot's byte offset from the first slot
// is (sel >> OBJC_CACHE_SEL_SHIFT) & offset_mask: on 64-bit targets, where
// a slot is 16 bytes, a single AND. A cache is never changed in place once
// a reader may hold it except to fill an empty slot or to replace a
// slot's imp; growing swaps in a new one.
//
// A class points at its cache's first slot, and the cache's header sits
// just before it, so that a probe adds the masked selector to the pointer
// it loaded and reads the slot there: no separate step to skip a header.
// An empty slot holds a marker that no name interns to, never a null
// selector, so that a null selector matches no slot.
struct objc_cache_header {
  uintptr_t offset_mask;  // (slot count - 1) * sizeof(objc_cache_entry)
  uint32_t mask;          // slot count - 1
  uint32_t occupied;      // written under the runtime lock only
};
struct objc_cache {
  objc_cache_entry* slots() { return reinterpret_cast<objc_cache_entry*>(this); }
  objc_cache_header& header() { return reinterpret_cast<objc_cache_header*>(this)[-1]; }
};
inline constexpr unsigned OBJC_CACHE_SEL_SHIFT = sizeof(objc_cache_entry) == 16 ? 0 : 1;
static_assert(sizeof(objc_cache_entry) == 16 >> OBJC_CACHE_SEL_SHIFT);
static_assert(sizeof(objc_cache_header) % alignof(objc_cache_entry) == 0);

enum objc_class_flags : uint32_t {
  OBJC_CLASS_META = 1u << 0,
  OBJC_CLASS_INITIALIZED = 1u << 1,
};

struct objc_class_private;

// A class is an object: its isa is its metaclass, which holds the class
// methods. A metaclass's isa is the root metaclass.
struct objc_class : objc_object {
  Class superclass;
  const char* name;
  std::atomic<objc_cache*> cache;
  std::atomic<uint32_t> flags;
  uint32_t instance_size;
  objc_class_private* rt;  // the runtime's own bookkeeping
};

// The receiver and the class from which a super send starts looking.
struct objc_super {
  id receiver;
  Class super_class;
};

// --- Selectors ---------------------------------------------------------
// Interns a selector name; the same name always yields the same SEL.
OBJC_EXPORT SEL sel_registerName(const char* name);
OBJC_EXPORT const char* sel_getName(SEL sel);

// --- Classes -----------------------------------------------------------
// The class registered under name now; after posing, the poser. Nil if none.
OBJC_EXPORT Class objc_getClass(const char* name);
OBJC_EXPORT const char* class_getName(Class cls);
OBJC_EXPORT Class class_getSuperclass(Class cls);
OBJC_EXPORT BOOL class_isMetaClass(Class cls);
OBJC_EXPORT Class object_getClass(id obj);
// True if instances of cls respond to sel (own or inherited method).
// Answered from cls's dispatch cache when it holds sel, without a lock;
// otherwise looked up and, once cls is initialised, cached, a negative
// answer included.
OBJC_EXPORT BOOL class_respondsToSelector(Class cls, SEL sel);
// Path of the module that registered cls, or nullptr.
OBJC_EXPORT const char* class_getModulePath(Class cls);
// Number of classes registered (metaclasses not counted).
OBJC_EXPORT size_t objc_getClassCount(void);
// Copies up to capacity registered classes, in registration order, into
// buffer and returns how many there are in all.
OBJC_EXPORT size_t objc_getClassList(Class* buffer, size_t capacity);

// --- Instances ---------------------------------------------------------
// Zero-filled instance of cls with its class reference set.
OBJC_EXPORT id class_createInstance(Class cls, size_t extra_bytes);
OBJC_EXPORT void object_dispose(id obj);

// --- Posing ------------------------------------------------------------
// poser takes replaced's place: see class_poseAs in posing.cc. A poser that
// is not a direct subclass of replaced, or that adds instance storage, is a
// programming error and stops the process with a diagnosis.
OBJC_EXPORT void class_poseAs(Class poser, Class replaced);

// --- Dispatch ----------------------------------------------------------
// What a send runs when the selector is not in the first slot it probes:
// the rest of the cache's probe, without a lock, and then the full look-up,
// which runs initialize if the receiver's class has not had it, searches
// the hierarchy and fills the cache.
OBJC_EXPORT IMP objc_msg_lookup_slow(id receiver, SEL sel);
// The same starting at sup->super_class, for super sends.
OBJC_EXPORT IMP objc_msg_lookup_super(const objc_super* sup, SEL sel);
// Dispatch cache memory, for tests and benchmarks: bytes in the caches
// classes use now, and bytes in caches replaced by bigger ones. Takes the
// runtime lock.
struct objc_cache_statistics {
  size_t live_bytes;
  size_t retired_bytes;
};
OBJC_EXPORT objc_cache_statistics objc_getCacheStatistics(void);
// What an unrecognised selector runs: the framework installs a handler that
// raises; without one the process stops with a diagnosis. The handler
// receives the receiver and the selector and must not return.
using objc_unrecognized_handler = void (*)(id receiver, SEL sel);
OBJC_EXPORT void objc_setUnrecognizedSelectorHandler(objc_unrecognized_handler handler);
// What a send of a selector that no class in the hierarchy implements
// runs: the handler, or a diagnosis and a stop. A cache slot holding it is
// a cached "does not respond".
OBJC_EXPORT void objc_unrecognized_selector(id receiver, SEL sel);

// Allocation failure ends the process with one line on standard error:
// no C++ exception ever leaves framework code. The runtime installs this as
// the new-handler when it is loaded (unless the program has set one), and
// framework code that allocates without operator new calls it.
OBJC_EXPORT __attribute__((noreturn)) void objc_out_of_memory(void);

// --- Module registration ----------------------------------------------
struct objc_module_record;
// Called by each source unit's static constructor: queues the unit's record
// for the module that is attaching.
OBJC_EXPORT void __objc_execClass(objc_module_record* record);
// Called by the module's attach handler with the module's path: registers
// the queued records that lie inside that module, in order, as belonging
// to it, and leaves the others queued. When the path names no loaded
// module (records a program makes up itself), every queued record is
// registered.
OBJC_EXPORT void objc_register_header(const char* module_path);
// Called by an attach handler whose attach failed, with an address inside
// its module: the module's queued records are dropped, so that none of
// them is registered after the module has gone.
OBJC_EXPORT void objc_drop_header(const void* address_in_module);
// Called by the attach handler last. Sends load to the classes and
// categories that this thread's registration made ready, unless the
// registration happened inside the system's loader: then they wait for
// the loader to return (objc_loadModule sends them itself; for a module
// the system loaded by itself, this thread's next objc_getClass,
// objc_loadModule or objc_finish_header does). Loads are only ever sent
// on the thread that registered them. If a load raises, the loads not
// sent yet are dropped and the raise goes on to the caller's handler frame.
OBJC_EXPORT void objc_finish_header(void);

// --- Module loading ----------------------------------------------------
// Loads a module through the platform loader and checks that it attached,
// then sends load to what the module registered. Returns true on success;
// on failure writes a message into error and leaves nothing of the module
// registered; a module it depends on that did register stays loaded and
// registered. The loads are sent on this thread after the loader has
// returned, outside the operating system's own loader lock and outside any
// lock of the runtime, so that a load that raises jumps out of this call
// only (the module then stays loaded and registered, the loads not yet
// sent are dropped, and the raise goes on to the caller's handler frame),
// and a load or initialize may load other modules.
OBJC_EXPORT BOOL objc_loadModule(const char* path, char* error, size_t error_size);
