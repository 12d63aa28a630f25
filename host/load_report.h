// What the host prints after loading bundles: the plug-in folders it
// searched (when it loaded from them), and for each bundle where it came
// from, its version, the registered module, the classes it brought and its
// fallback defaults; then each switch with the domain its value comes from,
// and which classes answer to the names the patches replace.
#pragma once

#include <cstdio>
#include <vector>

#include "objc/runtime.h"

namespace host {

// bundles: the loaded bundles in load order. from_plugin_folders: they are
// the application's plug-ins rather than bundles named with -bundle.
void print_load_report(std::FILE* out, const std::vector<id>& bundles, bool from_plugin_folders);

}  // namespace host
