// NSPageLayout: the shared page-layout panel, its modal run on the print
// settings it is given, its controls, and the scripted user that works
// them headless. Main thread only: nothing here is locked.
#include "AppKit/NSPageLayout.h"

#include <cstdio>
#include <utility>

#include "AppKit/NSApplication.h"
#include "AppKit/NSEvent.h"
#include "AppKit/NSPrintInfo.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "appkit_internal.h"

namespace appkit {

// The class record, defined after its method lists; super sends start from
// the superclass it was registered with.
extern objc_class_def NSPageLayout_def;

namespace {

NSPageLayoutLayout* layout(id self) { return static_cast<NSPageLayoutLayout*>(self); }

// The shared panel; it lives for the process.
id shared_panel = nil;
// What the user does in the next run; empty when there is no script.
std::function<void(id)>& scripted_user() {
  static auto* user = new std::function<void(id)>;
  return *user;
}

id application() { return msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication)); }

// The settings of the run in progress; raises when the panel is not
// running, so that a control worked outside a run cannot stop some other
// modal session.
id running_print_info(id self, const char* method) {
  id print_info = layout(self)->print_info;
  if (print_info == nil) {
    char reason[128];
    std::snprintf(reason, sizeof reason, "-[NSPageLayout %s]: the panel is not running", method);
    NSRaise("NSInternalInconsistencyException", reason);
  }
  return print_info;
}

// + (NSPageLayout*)pageLayout
// Made through the receiver, so that a class posing as NSPageLayout makes
// the panel of its own class.
id NSPageLayout_pageLayout(id self, SEL) {
  if (shared_panel == nil) shared_panel = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init));
  return shared_panel;
}

id NSPageLayout_init(id self, SEL) {
  self = msgSuper<id>(objc_super_of(self, NSPageLayout_def), SELECTOR(init));
  if (self == nil) return nil;
  NSRunReleasingOnRaise(self, [&] { msg<void>(self, SELECTOR(setTitle:), NSStringFromUTF8("Page Layout")); });
  return self;
}

void NSPageLayout_dealloc(id self, SEL) {
  msg<void>(layout(self)->print_info, SELECTOR(release));
  if (shared_panel == self) shared_panel = nil;
  msgSuper<void>(objc_super_of(self, NSPageLayout_def), SELECTOR(dealloc));
}

id NSPageLayout_printInfo(id self, SEL) { return layout(self)->print_info; }

// Gives up the settings of the run and takes the panel off the screen.
void finish_run(id self) {
  id print_info = layout(self)->print_info;
  layout(self)->print_info = nil;
  msg<void>(print_info, SELECTOR(release));
  msg<void>(self, SELECTOR(orderOut:), nil);
}

// The scripted user's next run as an application-defined event that works
// the panel; nil when there is no script. The script is used up.
id take_scripted_user_event(id panel) {
  std::function<void(id)> user = std::exchange(scripted_user(), nullptr);
  if (!user) return nil;
  return NSEventWithAction([panel, user = std::move(user)] { user(panel); });
}

// - (NSInteger)runModalWithPrintInfo:(NSPrintInfo*)printInfo
// The scripted user, if any, goes to the front of the event queue, so that
// it is the first thing the panel's modal session dispatches. However the
// run ends, also by a raise, the panel gives up the settings and leaves the
// screen.
NSInteger NSPageLayout_runModalWithPrintInfo(id self, SEL, id print_info) {
  if (print_info == nil)
    NSRaise("NSInvalidArgumentException", "-[NSPageLayout runModalWithPrintInfo:]: nil print info");
  if (layout(self)->print_info != nil)
    NSRaise("NSInternalInconsistencyException", "-[NSPageLayout runModalWithPrintInfo:]: already running");
  id app = application();
  layout(self)->print_info = msg<id>(print_info, SELECTOR(retain));
  NSInteger response = NSRunAbortedResponse;
  NSRunCleaningUpOnRaise(
      [&] {
        id user_event = take_scripted_user_event(self);
        if (user_event != nil) msg<void>(app, SELECTOR(postEvent:atStart:), user_event, YES);
        response = msg<NSInteger>(app, SELECTOR(runModalForWindow:), self);
      },
      [&] { finish_run(self); });
  finish_run(self);
  return response;
}

// --- Controls -----------------------------------------------------------

// - (void)choosePaperName:(NSString*)name
void NSPageLayout_choosePaperName(id self, SEL, id name) {
  msg<void>(running_print_info(self, "choosePaperName:"), SELECTOR(setPaperName:), name);
}

// - (void)chooseOrientation:(NSInteger)orientation
void NSPageLayout_chooseOrientation(id self, SEL, NSInteger orientation) {
  msg<void>(running_print_info(self, "chooseOrientation:"), SELECTOR(setOrientation:), orientation);
}

// - (void)chooseMarginsLeft:(NSInteger)left right:(NSInteger)right top:(NSInteger)top
// bottom:(NSInteger)bottom All four are checked first, so that a refused margin changes none.
void NSPageLayout_chooseMargins(id self, SEL, NSInteger left, NSInteger right, NSInteger top,
                                NSInteger bottom) {
  id print_info = running_print_info(self, "chooseMarginsLeft:right:top:bottom:");
  if (left < 0 || right < 0 || top < 0 || bottom < 0)
    NSRaise("NSInvalidArgumentException",
            "-[NSPageLayout chooseMarginsLeft:right:top:bottom:]: margins may not be negative");
  msg<void>(print_info, SELECTOR(setLeftMargin:), left);
  msg<void>(print_info, SELECTOR(setRightMargin:), right);
  msg<void>(print_info, SELECTOR(setTopMargin:), top);
  msg<void>(print_info, SELECTOR(setBottomMargin:), bottom);
}

// - (void)ok:(id)sender
void NSPageLayout_ok(id self, SEL, id) {
  running_print_info(self, "ok:");
  msg<void>(application(), SELECTOR(stopModalWithCode:), NSInteger(NSOKButton));
}

// - (void)cancel:(id)sender
void NSPageLayout_cancel(id self, SEL, id) {
  running_print_info(self, "cancel:");
  msg<void>(application(), SELECTOR(stopModalWithCode:), NSInteger(NSCancelButton));
}

const objc_method_def class_methods[] = {
    {"pageLayout", objc_imp(&NSPageLayout_pageLayout)},
};
const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSPageLayout_init)},
    {"dealloc", objc_imp(&NSPageLayout_dealloc)},
    {"printInfo", objc_imp(&NSPageLayout_printInfo)},
    {"runModalWithPrintInfo:", objc_imp(&NSPageLayout_runModalWithPrintInfo)},
    {"choosePaperName:", objc_imp(&NSPageLayout_choosePaperName)},
    {"chooseOrientation:", objc_imp(&NSPageLayout_chooseOrientation)},
    {"chooseMarginsLeft:right:top:bottom:", objc_imp(&NSPageLayout_chooseMargins)},
    {"ok:", objc_imp(&NSPageLayout_ok)},
    {"cancel:", objc_imp(&NSPageLayout_cancel)},
};

}  // namespace

objc_class_def NSPageLayout_def = {"NSPageLayout",
                                   "NSPanel",
                                   sizeof(NSPageLayoutLayout),
                                   objc_methods(class_methods),
                                   objc_methods(instance_methods),
                                   Nil};

namespace {
objc_class_def* const classes[] = {&NSPageLayout_def};
objc_module_record NSPageLayout_record = objc_module("NSPageLayout", classes);
OBJC_MODULE_RECORD(NSPageLayout_record)
}  // namespace

}  // namespace appkit

void NSPageLayoutSetScriptedUser(std::function<void(id panel)> user) {
  appkit::scripted_user() = std::move(user);
}
