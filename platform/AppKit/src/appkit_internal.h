// Helpers shared by AppKit's own units and not exported: the class records
// (for super sends) and the modal-session queries windows need.
#pragma once

#include "AppKit/AppKitDefines.h"

namespace appkit {

extern objc_class_def NSEvent_def;
extern objc_class_def NSWindow_def;
extern objc_class_def NSPanel_def;
extern objc_class_def NSApplication_def;

// The window of the innermost open modal session that is on screen, nil if
// there is none. Main thread only.
id visible_modal_window();

}  // namespace appkit
