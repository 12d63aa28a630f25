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

// The text the exception f raises answers to selector, or "" if f returns.
template <class F>
inline std::string raised_text(F&& f, SEL selector) {
  id raised = NSExceptionRaisedBy(f);
  const char* text =
      raised != nil ? msg<const char*>(msg<id>(raised, selector), SELECTOR(UTF8String)) : nullptr;
  return text != nullptr ? text : "";
}

// The name, or the reason, of the exception f raises; "" if it returns.
template <class F>
inline std::string raised_name(F&& f) {
  return raised_text(f, SELECTOR(name));
}
template <class F>
inline std::string raised_reason(F&& f) {
  return raised_text(f, SELECTOR(reason));
}

}  // namespace test_support
