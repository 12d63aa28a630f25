// The bundle's internals: what one of its units uses of the other, and what
// the tests and benchmarks that link the units reach directly. The module
// exports none of it.
#pragma once

#include "objc/module.h"

// The modal window stack (CorvaneApplication unit): the window of every
// running modal session, the oldest first; nil while it holds none.
// Event-handling thread only.
extern id _modalWindows;
// The matrix patch's counter (Corvane.cc), read by the fault driver.
extern int32_t dontdoit;
// Pushes window, creating the stack's array on the first push.
void addModalWindow(id window);
// Pops the newest window, if any, and releases the array it empties.
void removeLastModalWindow();

// Moves an existing object to another class by writing its class
// reference, the object's first field; nil is left alone
// (CorvaneApplication unit).
void changeClassOfInstanceTo(id object, Class cls);

// The keys the entry class reads (Corvane unit): the fallback dictionary's
// key in the bundle's information dictionary, and the two switches.
extern objc_constant_string CorvaneDefaults;
extern objc_constant_string CorvaneEnable;
extern objc_constant_string MatrixScrollPatchEnable;
