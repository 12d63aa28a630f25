// The relay DLL of windows_exception_test: a module of its own between the
// framework and the program, the way the bundle sits between the framework
// and the host. It calls back into the caller and lets whatever is raised
// go on, the way the bundle's patches do.
#include "Foundation/Foundation.h"

namespace {

struct CountOnDestroy {
  int* destroyed;
  ~CountOnDestroy() { ++*destroyed; }
};

}  // namespace

// Holds *depth raised across the call. A raise is caught in a handler frame
// of the relay's own: the counter is restored, *caught counted, and the
// very same exception raised again.
extern "C" __declspec(dllexport) void windows_relay(void (*call)(), int* depth, int* caught) {
  ++*depth;
  NSHandlerFrame frame;
  _NSAddHandler(&frame);
  if (NS_SETJMP(frame.jumpState) != 0) {
    id exception = _NSExceptionObjectFromHandler(&frame);
    --*depth;
    ++*caught;
    msg<void>(exception, SELECTOR(raise));
    return;  // not reached: raise does not return
  }
  call();
  _NSRemoveHandler(&frame);
  --*depth;
}

// Holds an object with a destructor across the call and has no handler
// frame: a raise jumps over this frame. *destroyed counts the destructor.
extern "C" __declspec(dllexport) void windows_relay_holding(void (*call)(), int* destroyed) {
  CountOnDestroy held{destroyed};
  call();
}
