// Catching framework exceptions in tests: each helper runs a callable in a
// handler frame. The callable's own frame is abandoned by a raise, so it
// should hold nothing with a destructor across the raising send.
#pragma once

#include <string>

#include "Foundation/Foundation.h"

namespace test_support {

// The exception object f raises, or nil if it returns. It stays alive until
// this thread raises again; retain it to keep it longer.
template <class F>
inline id raised_object(F&& f) {
  return NSExceptionRaisedBy(f);
}

// The name of the exception f raises, or "" if it returns.
template <class F>
inline std::string raised_name(F&& f) {
  id raised = NSExceptionRaisedBy(f);
  if (raised == nil) return "";
  const char* text = msg<const char*>(msg<id>(raised, SELECTOR(name)), SELECTOR(UTF8String));
  return text != nullptr ? text : "";
}

// The reason of the exception f raises, or "" if it returns.
template <class F>
inline std::string raised_reason(F&& f) {
  id raised = NSExceptionRaisedBy(f);
  if (raised == nil) return "";
  const char* text = msg<const char*>(msg<id>(raised, SELECTOR(reason)), SELECTOR(UTF8String));
  return text != nullptr ? text : "";
}

}  // namespace test_support
