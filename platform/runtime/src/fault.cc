// Raise injection: this thread's countdown of eligible sends (objc/fault.h).
// Only fault-capable builds call objc_fault_send from their sends.
#include "objc/fault.h"

#include "runtime_internal.h"

namespace {

struct Countdown {
  long remaining = 0;
  objc_fault_raiser raiser = nullptr;
  SEL exempt[6] = {};
};
thread_local Countdown countdown;

}  // namespace

void objc_fault_arm(long n, objc_fault_raiser raiser) {
  static const char* const kExempt[] = {"retain",      "release", "autorelease",
                                        "retainCount", "dealloc", "class"};
  static_assert(sizeof kExempt / sizeof kExempt[0] == sizeof countdown.exempt / sizeof countdown.exempt[0]);
  for (size_t i = 0; i < sizeof kExempt / sizeof kExempt[0]; ++i)
    countdown.exempt[i] = sel_registerName(kExempt[i]);
  countdown.raiser = raiser;
  countdown.remaining = n > 0 && raiser != nullptr ? n : 0;
}

long objc_fault_remaining() { return countdown.remaining; }

long objc_fault_hold() {
  long remaining = countdown.remaining;
  countdown.remaining = 0;
  return remaining;
}

void objc_fault_resume(long remaining) { countdown.remaining = remaining; }

BOOL objc_fault_capable() {
#if CORVANE_FAULT_INJECTION
  return YES;
#else
  return NO;
#endif
}

void objc_fault_send(id receiver, SEL sel) {
  Countdown& c = countdown;
  if (c.remaining == 0) [[likely]]
    return;
  if (sel == nullptr) return;  // only a first send before interning; not in a fault-capable build
  for (SEL exempt : c.exempt)
    if (sel == exempt) return;
  if (--c.remaining == 0) c.raiser(receiver, sel);
}
