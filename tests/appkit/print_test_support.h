// Test helpers for the print settings and the page-layout panel: print
// settings whose class records every object it frees (copies of them are of
// that class too), and short ways to read settings and script the user.
// The program registers the class with the other queued records
// (appkit_test_support.h's register_test_classes()).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "AppKit/NSPageLayout.h"
#include "AppKit/NSPrintInfo.h"
#include "appkit_test_support.h"

namespace print_test {

// Every TracingPrintInfo freed so far, in order.
inline std::vector<id> g_freed;
// When set, a TracingPrintInfo's dealloc raises an exception of its own
// and catches it, as host code that uses exceptions inside itself may.
inline bool g_dealloc_raises_and_catches = false;

inline objc_class_def& tracing_print_info_def();
inline void TracingPrintInfo_dealloc(id self, SEL) {
  g_freed.push_back(self);
  if (g_dealloc_raises_and_catches) {
    NS_DURING
    NSRaise("HostDeallocException", "raised and caught inside dealloc");
    NS_HANDLER
    NS_ENDHANDLER
  }
  msgSuper<void>(objc_super_of(self, tracing_print_info_def()), SELECTOR(dealloc));
}
inline const objc_method_def tracing_print_info_methods[] = {
    {"dealloc", objc_imp(&TracingPrintInfo_dealloc)},
};
inline objc_class_def tracing_print_info = {"TracingPrintInfo",
                                            "NSPrintInfo",
                                            sizeof(NSPrintInfoLayout),
                                            objc_no_methods,
                                            objc_methods(tracing_print_info_methods),
                                            Nil};
inline objc_class_def& tracing_print_info_def() { return tracing_print_info; }

inline objc_class_def* const print_test_classes[] = {&tracing_print_info};
inline objc_module_record print_test_record = {
    OBJC_MODULE_VERSION, "PrintTest", print_test_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(print_test_record)

inline bool was_freed(id object) {
  return std::find(g_freed.begin(), g_freed.end(), object) != g_freed.end();
}

inline id shared_print_info() { return msg<id>(objc_getClass("NSPrintInfo"), SELECTOR(sharedPrintInfo)); }
inline id panel() { return msg<id>(objc_getClass("NSPageLayout"), SELECTOR(pageLayout)); }

// "A5 420x595 portrait, margins 72/72/90/90"
inline std::string describe(id print_info) {
  NSAutoreleaseScope pool;
  return NSStringToStd(msg<id>(print_info, SELECTOR(description)));
}

// New TracingPrintInfo settings (owned by the caller), made the shared ones;
// the shared slot holds the second reference.
inline id make_tracing_shared() {
  id settings = msg<id>(msg<id>(objc_getClass("TracingPrintInfo"), SELECTOR(alloc)), SELECTOR(init));
  msg<void>(objc_getClass("NSPrintInfo"), SELECTOR(setSharedPrintInfo:), settings);
  return settings;
}

// Scripted users: choose a paper, then close the panel with OK or Cancel,
// or stop its session with any other code.
inline std::function<void(id)> choose_then(const char* paper, const char* button) {
  return [paper, button](id panel) {
    msg<void>(panel, SELECTOR(choosePaperName:), NSStringFromUTF8(paper));
    msg<void>(panel, sel_registerName(button), id(nil));
  };
}
inline std::function<void(id)> choose_then_stop(const char* paper, NSInteger code) {
  return [paper, code](id panel) {
    msg<void>(panel, SELECTOR(choosePaperName:), NSStringFromUTF8(paper));
    msg<void>(NSApp, SELECTOR(stopModalWithCode:), code);
  };
}

// Every print test starts from registered test classes, an application
// object and an empty record of freed settings, inside an autorelease pool.
class PrintFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    appkit_test::register_test_classes();
    appkit_test::app();
    g_freed.clear();
  }
  NSAutoreleaseScope pool_;
};

}  // namespace print_test
