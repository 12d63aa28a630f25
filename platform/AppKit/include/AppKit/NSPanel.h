// NSPanel: an auxiliary window. A floating panel sits at the floating level;
// a panel that works when modal accepts clicks while a modal session runs
// for another window. A panel never becomes the main window.
#pragma once

#include "AppKit/NSWindow.h"

// Instance layout of NSPanel.
struct NSPanelLayout : NSWindowLayout {
  BOOL floating;
  BOOL works_when_modal;
};
