// NSAutoreleasePool: each thread keeps a stack of open pools; -autorelease
// adds to the innermost one. Draining a pool first drains the pools opened
// inside it that are still open, then releases its objects in the order
// they were added.
#include "Foundation/NSAutoreleasePool.h"

#include <cstdio>
#include <vector>

#include "Foundation/NSException.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

// This thread's open pools, outermost first. Touched only by its thread.
thread_local std::vector<id> open_pools;

NSAutoreleasePoolLayout* layout(id self) { return static_cast<NSAutoreleasePoolLayout*>(self); }
std::vector<id>& objects(id pool) { return *static_cast<std::vector<id>*>(layout(pool)->objects); }

id NSAutoreleasePool_init(id self, SEL) {
  layout(self)->objects = new std::vector<id>;
  open_pools.push_back(self);
  layout(self)->depth = static_cast<uint32_t>(open_pools.size());
  return self;
}

// Releases the pool's objects. A dealloc may autorelease more objects while
// this runs; they land in this pool (still innermost) and are released too.
// If a dealloc raises, the objects already released (the raising one
// included) leave the list and the pool stays open with the rest: a later
// drain of it, or of a pool around it, releases them once each.
void release_contents(id pool) {
  std::vector<id>& list = objects(pool);
  volatile size_t released = 0;
  NSRunCleaningUpOnRaise(
      [&] {
        while (released < list.size()) {
          id obj = list[released];
          released = released + 1;
          msg<void>(obj, SELECTOR(release));
        }
      },
      [&] { list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(released)); });
  list.clear();
}

// Drains and frees pool together with every pool opened inside it. A pool
// whose init never ran (an init that raised) is only freed.
void drain(id pool) {
  if (layout(pool)->objects == nullptr) {
    object_dispose(pool);
    return;
  }
  uint32_t depth = layout(pool)->depth;
  if (depth == 0 || depth > open_pools.size() || open_pools[depth - 1] != pool) {
    NSRaise("NSInternalInconsistencyException",
            "-[NSAutoreleasePool drain]: pool is not open on this thread");
  }
  while (open_pools.size() > depth) drain(open_pools.back());
  release_contents(pool);
  open_pools.pop_back();
  delete &objects(pool);
  object_dispose(pool);
}

void NSAutoreleasePool_drain(id self, SEL) { drain(self); }
id NSAutoreleasePool_retain(id, SEL) {
  NSRaise("NSInvalidArgumentException", "-[NSAutoreleasePool retain]: cannot retain an autorelease pool");
}
id NSAutoreleasePool_autorelease(id, SEL) {
  NSRaise("NSInvalidArgumentException",
          "-[NSAutoreleasePool autorelease]: cannot autorelease an autorelease pool");
}
void NSAutoreleasePool_addObject(id, SEL, id object) { autorelease_add(object); }

const objc_method_def class_methods[] = {
    {"addObject:", objc_imp(&NSAutoreleasePool_addObject)},
};
const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSAutoreleasePool_init)},
    {"drain", objc_imp(&NSAutoreleasePool_drain)},
    {"release", objc_imp(&NSAutoreleasePool_drain)},
    {"retain", objc_imp(&NSAutoreleasePool_retain)},
    {"autorelease", objc_imp(&NSAutoreleasePool_autorelease)},
    {"addObject:", objc_imp(&NSAutoreleasePool_addObject)},
};

objc_class_def NSAutoreleasePool_def = {"NSAutoreleasePool",
                                        "NSObject",
                                        sizeof(NSAutoreleasePoolLayout),
                                        objc_methods(class_methods),
                                        objc_methods(instance_methods),
                                        Nil};
objc_class_def* const classes[] = {&NSAutoreleasePool_def};
objc_module_record NSAutoreleasePool_record = objc_module("NSAutoreleasePool", classes);
OBJC_MODULE_RECORD(NSAutoreleasePool_record)

}  // namespace

void autorelease_add(id obj) {
  if (obj == nil) return;
  if (open_pools.empty()) {
    std::fprintf(stderr,
                 "*** autorelease: object %p of class %s autoreleased with no pool in place - just leaking\n",
                 static_cast<void*>(obj), class_getName(object_getClass(obj)));
    return;
  }
  objects(open_pools.back()).push_back(obj);
}

void release_each(const id* objects, size_t count) {
  volatile size_t released = 0;
  NSRunCleaningUpOnRaise(
      [&] {
        while (released < count) {
          id obj = objects[released];
          released = released + 1;
          msg<void>(obj, SELECTOR(release));
        }
      },
      [&] {
        for (size_t i = released; i < count; ++i) autorelease_add(objects[i]);
      });
}

void release_all(std::vector<id>& objects) {
  NSRunCleaningUpOnRaise([&] { release_each(objects.data(), objects.size()); }, [&] { discard(objects); });
  discard(objects);
}

// Made directly, not by sends, so that opening it cannot raise.
id open_pool() { return NSAutoreleasePool_init(class_createInstance(NSAutoreleasePool_def.cls, 0), nullptr); }
// Drained directly, as release would: only a dealloc can raise from it.
void drain_pool(id pool) { drain(pool); }

}  // namespace foundation

uint32_t NSAutoreleasePoolDepth() { return static_cast<uint32_t>(foundation::open_pools.size()); }
