// NSPageLayout: the shared page-layout panel. It runs modally on the print
// settings it is given and edits them in place as the user changes its
// controls; OK yields 1 and Cancel 0.
//
// Messages:
//   +pageLayout: the one panel, made the first time it is asked for; it
//     lives for the process
//   -runModalWithPrintInfo: (NSPrintInfo): runs the panel as a modal
//     session of the application object (-runModalForWindow:, so the
//     application's -beginModalSessionForWindow: and -endModalSession: see
//     it) and yields its response: NSOKButton, NSCancelButton, whatever
//     else the session was stopped with, or NSRunAbortedResponse when the
//     user left the panel open and there was nothing more to do. The panel
//     is ordered out afterwards, also when the run raises. nil settings, or
//     a run while the panel is already running, raise and run nothing.
//   -printInfo: the settings of the run in progress; nil between runs
//   The controls, which the user works while the panel runs (outside a run
//   they raise NSInternalInconsistencyException):
//     -choosePaperName: (NSString), -chooseOrientation: (NSInteger),
//     -chooseMarginsLeft:right:top:bottom: (NSInteger each; all four are
//     checked before any is set) edit the settings at once;
//     -ok: and -cancel: (sender) close the panel with NSOKButton or
//     NSCancelButton.
//
// Headless, the user is a script: a C++ function set with
// NSPageLayoutSetScriptedUser before the panel runs. The next run posts it
// as the first event of its modal session and it works the panel's
// controls from there; each script serves one run.
#pragma once

#include <functional>

#include "AppKit/NSPanel.h"

// What the page-layout panel yields for its buttons.
enum : NSInteger {
  NSCancelButton = 0,
  NSOKButton = 1,
};

// Instance layout of NSPageLayout.
struct NSPageLayoutLayout : NSPanelLayout {
  id print_info;  // retained while a run is in progress; nil otherwise
};

// Sets what the user does in the next run of the page-layout panel: user
// is called with the panel once its modal session runs. An empty function
// clears a script that has not run yet. Main thread only.
APPKIT_EXPORT void NSPageLayoutSetScriptedUser(std::function<void(id panel)> user);
