// Catching framework exceptions in tests: each helper runs a callable in a
// handler frame. The callable's own frame is abandoned by a raise, so it
// should hold nothing with a destructor across the raising send.
#pragma once

#include <string>
#include <vector>

#include "Foundation/Foundation.h"

namespace test_support {

// The exceptions raised_object has answered on this thread, released when
// the thread ends.
struct HeldExceptions {
  std::vector<id> held;
  ~HeldExceptions() {
    for (id e : held) msg<void>(e, SELECTOR(release));
  }
};
inline thread_local HeldExceptions held_exceptions;

// The exception object f raises, or nil if it returns. It stays alive
// until this thread ends.
template <class F>
inline id raised_object(F&& f) {
  id raised = NSExceptionRaisedBy(f);
  if (raised != nil) held_exceptions.held.push_back(raised);
  return raised;
}

// The text the exception f raises answers to selector, or "" if f returns.
template <class F>
inline std::string raised_text(F&& f, SEL selector) {
  id raised = NSExceptionRaisedBy(f);
  const char* text =
      raised != nil ? msg<const char*>(msg<id>(raised, selector), SELECTOR(UTF8String)) : nullptr;
  std::string result = text != nullptr ? text : "";
  msg<void>(raised, SELECTOR(release));
  return result;
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
