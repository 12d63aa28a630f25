// The kinds of fault the driver can strike with. Each arms a countdown of
// its own opportunities, tells whether it struck, and recognises what the
// host's top level caught as its own fault. A second kind plugs in as one
// more entry of kinds().
#pragma once

#include <cstring>
#include <string>

#include "Foundation/Foundation.h"
#include "objc/fault.h"

namespace faults {

struct FaultKind {
  const char* name;
  void (*arm)(long n);             // strike at the n-th opportunity of this thread
  bool (*struck)();                // whether it struck since arm
  void (*disarm)();                //
  long (*unspent)();               // opportunities left before it strikes
  bool (*is_injected)(id caught);  // caught is exactly the fault injected
  void (*forget)();                // gives up what it kept of the fault
  std::string (*site)();           // where it struck, for reports
};

// "NSGenericException: reason" for a report.
inline std::string describe(id exception) {
  std::string name = NSStringToStd(msg<id>(exception, SELECTOR(name)));
  id reason = msg<id>(exception, SELECTOR(reason));
  return name + (reason != nil ? ": " + NSStringToStd(reason) : std::string());
}

// --- Raise injection ----------------------------------------------------
// The N-th eligible send raises one NSException named
// CorvaneInjectedException instead of running (objc/fault.h). A replaced
// send of an init method first releases its receiver, as an initializer
// that fails does, so that alloc/init pairs stay balanced.

inline id g_injected = nil;  // retained until forget

[[noreturn]] inline void inject_raise(id receiver, SEL sel) {
  const char* name = sel_getName(sel);
  char reason[200];
  std::snprintf(reason, sizeof reason, "injected at -[%s %s]", class_getName(object_getClass(receiver)),
                name);
  if (std::strncmp(name, "init", 4) == 0) msg<void>(receiver, SELECTOR(release));
  id e = msg<id>(reinterpret_cast<id>(objc_getClass("NSException")), SELECTOR(alloc));
  e = msg<id>(e, SELECTOR(initWithName:reason:userInfo:), NSStringFromUTF8("CorvaneInjectedException"),
              NSStringFromUTF8(reason), nil);
  g_injected = e;  // the alloc's reference, given up by forget
  msg<void>(e, SELECTOR(raise));
  std::abort();  // not reached
}

inline const FaultKind kRaise = {
    "raise",
    [](long n) { objc_fault_arm(n, &inject_raise); },
    [] { return g_injected != nil; },
    [] { objc_fault_arm(0, nullptr); },
    [] { return objc_fault_remaining(); },
    [](id caught) { return caught != nil && caught == g_injected; },
    [] {
      msg<void>(g_injected, SELECTOR(release));
      g_injected = nil;
    },
    [] { return g_injected != nil ? NSStringToStd(msg<id>(g_injected, SELECTOR(reason))) : std::string(); },
};

inline const FaultKind* find_kind(const char* name) {
  static const FaultKind* const kinds[] = {&kRaise};
  for (const FaultKind* kind : kinds)
    if (std::strcmp(kind->name, name) == 0) return kind;
  return nullptr;
}

}  // namespace faults
