// The relay DLL of windows_exception_test: calls back into the caller and
// lets whatever it raises pass, after undoing its own state on the way out
// (a destructor and a catch-and-rethrow), the way the bundle's patches do.
#include <windows.h>

struct CountDown {
  int* counter;
  ~CountDown() { --*counter; }
};

extern "C" __declspec(dllexport) void windows_relay(void (*call)(), int* entered, int* caught) {
  ++*entered;
  CountDown on_exit{entered};
  try {
    call();
  } catch (...) {
    ++*caught;
    throw;
  }
}
