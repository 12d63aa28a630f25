// NSApplication: the one application object, its launch, its event queue
// and event dispatch, the main loop and modal sessions. Headless: a loop
// that finds its queue empty ends instead of waiting for input.
//
// Launch: an application sends -finishLaunching once, after it has set
// itself up and before it handles its first event. The first one loads
// every bundle in the plug-in folders (Foundation/PlugInFolders.h); one
// that does not load is reported in one line on stderr and skipped.
// -plugIns yields the bundles it loaded, in order.
#pragma once

#include "AppKit/AppKitDefines.h"

// The record of one modal session; its contents are the framework's own.
struct _NSModalSession;
using NSModalSession = _NSModalSession*;

// What the modal methods yield.
enum : NSInteger {
  NSRunStoppedResponse = -1000,    // -stopModal
  NSRunAbortedResponse = -1001,    // -abortModal, or the event queue ran dry
  NSRunContinuesResponse = -1002,  // -runModalSession: with the session still running
};

// Instance layout of NSApplication.
struct NSApplicationLayout : NSObjectLayout {
  void* event_queue;               // the queued events, retained, oldest first
  id current_event;                // retained while it is being dispatched
  _NSModalSession* modal_session;  // the innermost open session, nil if none
  int32_t modal_loop_depth;        // how many -runModalSession: calls are dispatching
  int32_t main_loop_depth;         // how many -run calls are running
  BOOL stop_requested;             // -stop: asks the innermost -run to end
};

// The shared application object, once +sharedApplication (or -init) has
// made one; nil before.
APPKIT_EXPORT extern id NSApp;
