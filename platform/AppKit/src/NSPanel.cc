// NSPanel: floating level on request, clicks while modal on request, never
// the main window.
#include "AppKit/NSPanel.h"

#include "appkit_internal.h"

namespace appkit {
namespace {

NSPanelLayout* layout(id self) { return static_cast<NSPanelLayout*>(self); }

BOOL NSPanel_isFloatingPanel(id self, SEL) { return layout(self)->floating; }
// A floating panel sits at the floating level, any other at the normal one.
void NSPanel_setFloatingPanel(id self, SEL, BOOL floating) {
  layout(self)->floating = floating ? YES : NO;
  msg<void>(self, SELECTOR(setLevel:),
            floating ? NSInteger(NSFloatingWindowLevel) : NSInteger(NSNormalWindowLevel));
}
BOOL NSPanel_worksWhenModal(id self, SEL) { return layout(self)->works_when_modal; }
void NSPanel_setWorksWhenModal(id self, SEL, BOOL works) {
  layout(self)->works_when_modal = works ? YES : NO;
}
BOOL NSPanel_canBecomeMainWindow(id, SEL) { return NO; }

const objc_method_def instance_methods[] = {
    {"isFloatingPanel", objc_imp(&NSPanel_isFloatingPanel)},
    {"setFloatingPanel:", objc_imp(&NSPanel_setFloatingPanel)},
    {"worksWhenModal", objc_imp(&NSPanel_worksWhenModal)},
    {"setWorksWhenModal:", objc_imp(&NSPanel_setWorksWhenModal)},
    {"canBecomeMainWindow", objc_imp(&NSPanel_canBecomeMainWindow)},
};

}  // namespace

objc_class_def NSPanel_def = {
    "NSPanel", "NSWindow", sizeof(NSPanelLayout), objc_no_methods, objc_methods(instance_methods), Nil};

namespace {
objc_class_def* const classes[] = {&NSPanel_def};
objc_module_record NSPanel_record = objc_module("NSPanel", classes);
OBJC_MODULE_RECORD(NSPanel_record)
}  // namespace

}  // namespace appkit
