// The Corvane unit: the matrix scroll patch (CorvaneMatrix and the dontdoit
// counter), the page layout patch (the category PageLayoutPatch on
// CorvaneApplication), the entry class Corvane, which the runtime starts
// with load, and the keys it reads.
#include "Corvane.h"

#include "AppKit/NSEvent.h"
#include "AppKit/NSPageLayout.h"
#include "Foundation/NSException.h"

// ---------------------------------------------------------------------------
// CorvaneMatrix: poses as NSMatrix and ignores scroll-to-cell requests while
// an edit ends under a left or right mouse-down, so that a click elsewhere
// does not drag the matrix back to the cell that was being edited.

// Above 0 while scroll-to-cell requests are ignored. One counter for every
// matrix in the process; only the event-handling thread touches it.
int32_t dontdoit = 0;

// The bits of the left and right mouse-down event types.
static const uint32_t kMouseDownMask = (1u << NSLeftMouseDown) | (1u << NSRightMouseDown);

// Whether the event type's bit is in the mask; types that have no bit of
// a 32-bit mask are not.
static bool isMouseDownType(int32_t type) {
  return type >= 0 && type < 32 && ((1u << type) & kMouseDownMask) != 0;
}

// The class record, defined after its method lists; super sends start
// from the superclass it was registered with.
namespace {
extern constinit objc_class_def CorvaneMatrix_class;
}

// + (void)enableMatrixScrollPatch
static void CorvaneMatrix_enableMatrixScrollPatch(id self, SEL) {
  if (msg<id>(objc_getClass("NSMatrix"), SELECTOR(class)) == self) return;  // already posing
  msg<void>(self, SELECTOR(poseAsClass:), msg<id>(objc_getClass("NSMatrix"), SELECTOR(class)));
}

// - (void)scrollCellToVisibleAtRow:(int)row column:(int)column
static void CorvaneMatrix_scrollCellToVisibleAtRow_column(id self, SEL, int32_t row, int32_t column) {
  if (dontdoit > 0) return;
  msgSuper<void>(objc_super_of(self, CorvaneMatrix_class), SELECTOR(scrollCellToVisibleAtRow:column:), row,
                 column);
}

// - (void)textDidEndEditing:(id)notification
// Under a mouse-down the inherited end of editing runs with scrolling
// suppressed; the counter is restored however it ends, and an exception
// goes on to the caller as the very same object.
static void CorvaneMatrix_textDidEndEditing(id self, SEL, id notification) {
  id app = msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication));
  int32_t type = msg<int32_t>(msg<id>(app, SELECTOR(currentEvent)), SELECTOR(type));
  if (!isMouseDownType(type)) {
    msgSuper<void>(objc_super_of(self, CorvaneMatrix_class), SELECTOR(textDidEndEditing:), notification);
    return;
  }
  ++dontdoit;
  NSHandlerFrame frame;
  _NSAddHandler(&frame);
  if (NS_SETJMP(frame.jumpState) != 0) {
    id exception = _NSExceptionObjectFromHandler(&frame);
    --dontdoit;
    msg<void>(exception, SELECTOR(raise));
    return;  // not reached: raise does not return
  }
  msgSuper<void>(objc_super_of(self, CorvaneMatrix_class), SELECTOR(textDidEndEditing:), notification);
  _NSRemoveHandler(&frame);
  --dontdoit;
}

static const objc_method_def CorvaneMatrix_class_methods[] = {
    {"enableMatrixScrollPatch", objc_imp(&CorvaneMatrix_enableMatrixScrollPatch)},
};
static const objc_method_def CorvaneMatrix_instance_methods[] = {
    {"scrollCellToVisibleAtRow:column:", objc_imp(&CorvaneMatrix_scrollCellToVisibleAtRow_column)},
    {"textDidEndEditing:", objc_imp(&CorvaneMatrix_textDidEndEditing)},
};

namespace {
constinit objc_class_def CorvaneMatrix_class = {"CorvaneMatrix",
                                                "NSMatrix",
                                                0 /* no instance variables of its own */,
                                                objc_methods(CorvaneMatrix_class_methods),
                                                objc_methods(CorvaneMatrix_instance_methods),
                                                Nil};
}  // namespace

// ---------------------------------------------------------------------------
// PageLayoutPatch: a category on CorvaneApplication, so it is active exactly
// when the application patch is. The page-layout panel works on a copy of
// the shared print settings, which become the shared ones only when the
// user presses OK; a cancelled panel leaves the shared settings as they
// were. This unit's record is registered before CorvaneApplication's: the
// runtime holds the category until its class arrives.

// - (void)runPageLayout:(id)sender
// Replaces the framework's method outright. The copy is this call's own and
// is released however the panel ends; an exception from the panel goes on
// to the caller as the very same object, with the shared settings untouched.
static void CorvaneApplication_PageLayoutPatch_runPageLayout(id, SEL, id) {
  id copy = msg<id>(msg<id>(objc_getClass("NSPrintInfo"), SELECTOR(sharedPrintInfo)), SELECTOR(copy));
  NSHandlerFrame frame;
  _NSAddHandler(&frame);
  if (NS_SETJMP(frame.jumpState) != 0) {
    id exception = _NSExceptionObjectFromHandler(&frame);
    msg<void>(copy, SELECTOR(release));
    msg<void>(exception, SELECTOR(raise));
    return;  // not reached: raise does not return
  }
  int32_t result = msg<int32_t>(msg<id>(objc_getClass("NSPageLayout"), SELECTOR(pageLayout)),
                                SELECTOR(runModalWithPrintInfo:), copy);
  // Still inside the frame: a raise from the shared slot frees the copy too.
  if (result == NSOKButton) msg<void>(objc_getClass("NSPrintInfo"), SELECTOR(setSharedPrintInfo:), copy);
  _NSRemoveHandler(&frame);
  msg<void>(copy, SELECTOR(release));
}

static const objc_method_def PageLayoutPatch_instance_methods[] = {
    {"runPageLayout:", objc_imp(&CorvaneApplication_PageLayoutPatch_runPageLayout)},
};

static constinit const objc_category_def PageLayoutPatch_category = {
    "CorvaneApplication", "PageLayoutPatch", objc_no_methods, objc_methods(PageLayoutPatch_instance_methods)};

// ---------------------------------------------------------------------------
// Corvane: the entry class. Registers the bundle's fallback defaults and
// turns on each patch whose switch is on.

constinit objc_constant_string CorvaneDefaults = objc_string("CorvaneDefaults");
constinit objc_constant_string CorvaneEnable = objc_string("CorvaneEnable");
constinit objc_constant_string MatrixScrollPatchEnable = objc_string("MatrixScrollPatchEnable");

// + (void)load
// Sending any message initialises the class at once.
static void Corvane_load(id self, SEL) { msg<id>(self, SELECTOR(class)); }

// + (void)initialize
static void Corvane_initialize(id self, SEL) {
  if (self != msg<id>(objc_getClass("Corvane"), SELECTOR(class))) return;  // inherited by a subclass

  id defaults = msg<id>(objc_getClass("NSUserDefaults"), SELECTOR(standardUserDefaults));
  id bundle = msg<id>(objc_getClass("NSBundle"), SELECTOR(bundleForClass:), self);
  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  msg<void>(defaults, SELECTOR(registerDefaults:),
            msg<id>(info, SELECTOR(objectForKey:), id(&CorvaneDefaults)));

  if (msg<BOOL>(defaults, SELECTOR(boolForKey:), id(&CorvaneEnable)))
    msg<void>(self, SELECTOR(enableCorvane));
  if (msg<BOOL>(defaults, SELECTOR(boolForKey:), id(&MatrixScrollPatchEnable)))
    msg<void>(self, SELECTOR(enableMatrixScrollPatch));
}

// + (void)enableCorvane
static void Corvane_enableCorvane(id, SEL) {
  msg<void>(objc_getClass("CorvaneApplication"), SELECTOR(enableCorvane));
}

// + (void)enableMatrixScrollPatch
static void Corvane_enableMatrixScrollPatch(id, SEL) {
  msg<void>(objc_getClass("CorvaneMatrix"), SELECTOR(enableMatrixScrollPatch));
}

static const objc_method_def Corvane_class_methods[] = {
    {"load", objc_imp(&Corvane_load)},
    {"initialize", objc_imp(&Corvane_initialize)},
    {"enableCorvane", objc_imp(&Corvane_enableCorvane)},
    {"enableMatrixScrollPatch", objc_imp(&Corvane_enableMatrixScrollPatch)},
};

namespace {
constinit objc_class_def Corvane_class = {"Corvane",
                                          "NSObject",
                                          0 /* no instance variables of its own */,
                                          objc_methods(Corvane_class_methods),
                                          objc_no_methods,
                                          Nil};
}  // namespace

// ---------------------------------------------------------------------------
// The unit's record.

static objc_class_def* const Corvane_unit_classes[] = {&CorvaneMatrix_class, &Corvane_class};
static objc_constant_string* const Corvane_unit_strings[] = {&CorvaneDefaults, &CorvaneEnable,
                                                             &MatrixScrollPatchEnable};
static const objc_category_def* const Corvane_unit_categories[] = {&PageLayoutPatch_category};
static constinit objc_module_record Corvane_unit =
    objc_module("Corvane", Corvane_unit_classes, Corvane_unit_categories, Corvane_unit_strings);
OBJC_MODULE_RECORD(Corvane_unit)
