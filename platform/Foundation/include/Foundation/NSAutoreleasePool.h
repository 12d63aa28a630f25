// NSAutoreleasePool: a per-thread stack of pools that hold objects sent
// -autorelease and release them when the pool is drained.
#pragma once

#include "Foundation/NSObject.h"

// Instance layout of NSAutoreleasePool.
struct NSAutoreleasePoolLayout : NSObjectLayout {
  void* objects;   // the pool's own list of pending releases
  uint32_t depth;  // position in this thread's stack, 1 for the outermost
};

// Opens a pool for the life of a C++ scope and drains it at the end. A
// raise that jumps over the scope skips the drain: the pool then stays open
// until a pool around it is drained, or leaks if there is none. Around code
// that may raise, open and drain a pool explicitly under a handler frame of
// the caller's, or keep the scope outside that frame.
class NSAutoreleaseScope {
 public:
  NSAutoreleaseScope()
      : pool_(msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                      SELECTOR(init))) {}
  ~NSAutoreleaseScope() { msg<void>(pool_, SELECTOR(drain)); }
  NSAutoreleaseScope(const NSAutoreleaseScope&) = delete;
  NSAutoreleaseScope& operator=(const NSAutoreleaseScope&) = delete;

 private:
  id pool_;
};

// How many pools this thread has open.
FOUNDATION_EXPORT uint32_t NSAutoreleasePoolDepth();
