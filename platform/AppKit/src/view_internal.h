// Helpers shared by AppKit's view units (views, scroll views, cells and
// matrices) and not exported: their class records, for super sends and
// kind tests.
#pragma once

#include "AppKit/AppKitDefines.h"

namespace appkit {

extern objc_class_def NSView_def;
extern objc_class_def NSScrollView_def;
extern objc_class_def NSCell_def;
extern objc_class_def NSMatrix_def;

// The class registered under name now, as a receiver.
inline id class_named(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }

}  // namespace appkit
