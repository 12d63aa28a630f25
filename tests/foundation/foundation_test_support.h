// Test helpers for the Foundation tests: a class that counts deallocations
// (and can be made to raise from one) and records the notifications it
// receives, registered by the test program's own module record, and a few
// sends written short.
#pragma once

#include <string>
#include <vector>

#include "Foundation/Foundation.h"

namespace test_support {

// Instance layout of the test class Tracked.
struct TrackedLayout : NSObjectLayout {
  int32_t tag;
};

inline int g_deallocs = 0;
// Tags of deallocated objects, in order.
inline std::vector<int32_t> g_dealloc_tags;
// What the notification handler saw: "<tag>:<name>" per delivery.
inline std::vector<std::string> g_received;
// Run by a delivery before it records, for tests that change the centre
// from inside a post.
inline void (*g_on_receive)(id observer, id notification) = nullptr;

// Run by every Tracked dealloc before it counts.
inline void (*g_on_dealloc)(id obj) = nullptr;

// A g_on_dealloc hook: the object tagged g_raising_tag is freed and then
// its dealloc raises "DeallocFailed", so it is neither counted nor leaked.
inline int32_t g_raising_tag = -1;
inline void raise_in_tagged_dealloc(id obj);

inline objc_class_def& tracked_def();

inline void Tracked_dealloc(id self, SEL) {
  if (g_on_dealloc != nullptr) g_on_dealloc(self);
  ++g_deallocs;
  g_dealloc_tags.push_back(static_cast<TrackedLayout*>(self)->tag);
  msgSuper<void>(objc_super_of(self, tracked_def()), SELECTOR(dealloc));
}
inline void Tracked_receive(id self, SEL, id notification) {
  if (g_on_receive != nullptr) g_on_receive(self, notification);
  g_received.push_back(std::to_string(static_cast<TrackedLayout*>(self)->tag) + ":" +
                       NSStringToStd(msg<id>(notification, SELECTOR(name))));
}
// Sends a message through two more frames before raising, to check that a
// raise unwinds through method frames.
inline void Tracked_raiseDeep(id self, SEL, int32_t depth) {
  if (depth == 0) NSRaise("TestException", "raised deep down");
  msg<void>(self, SELECTOR(raiseDeep:), int32_t(depth - 1));
}

inline const objc_method_def tracked_methods[] = {
    {"dealloc", objc_imp(&Tracked_dealloc)},
    {"receive:", objc_imp(&Tracked_receive)},
    {"raiseDeep:", objc_imp(&Tracked_raiseDeep)},
};
inline objc_class_def tracked = {
    "Tracked", "NSObject", sizeof(TrackedLayout), objc_no_methods, objc_methods(tracked_methods), Nil};
inline objc_class_def& tracked_def() { return tracked; }
inline objc_class_def* const test_classes[] = {&tracked};
inline objc_module_record test_record = {
    OBJC_MODULE_VERSION, "FoundationTest", test_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(test_record)

inline void raise_in_tagged_dealloc(id obj) {
  if (static_cast<TrackedLayout*>(obj)->tag != g_raising_tag) return;
  object_dispose(obj);
  NSRaise("DeallocFailed", "a dealloc raised");
}

inline id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
// A new Tracked instance, owned by the caller.
inline id new_tracked(int32_t tag) {
  id obj = msg<id>(msg<id>(cls("Tracked"), SELECTOR(alloc)), SELECTOR(init));
  static_cast<TrackedLayout*>(obj)->tag = tag;
  return obj;
}
inline NSUInteger retain_count(id obj) { return msg<NSUInteger>(obj, SELECTOR(retainCount)); }
inline void release(id obj) { msg<void>(obj, SELECTOR(release)); }
inline id str(const char* text) { return NSStringFromUTF8(text); }

}  // namespace test_support
