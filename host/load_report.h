// What the host prints after loading bundles: the registered module, the
// classes it brought, the bundle's fallback defaults, each switch with the
// domain its value comes from, and which classes answer to the names the
// patches replace.
#pragma once

#include <cstdio>
#include <vector>

#include "objc/runtime.h"

namespace host {

// The classes registered so far, in registration order.
std::vector<Class> registered_classes();

// Prints the report for a bundle whose load added `arrived`.
void print_load_report(std::FILE* out, id bundle, const std::vector<Class>& arrived);

}  // namespace host
