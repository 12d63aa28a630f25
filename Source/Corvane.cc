// The Corvane unit: the entry class Corvane, which the runtime starts with
// load, and the keys it reads.
#include "objc/module.h"

// ---------------------------------------------------------------------------
// Corvane: the entry class. Registers the bundle's fallback defaults and
// turns on each patch whose switch is on.

static objc_constant_string CorvaneDefaults = objc_string("CorvaneDefaults");
static objc_constant_string CorvaneEnable = objc_string("CorvaneEnable");
static objc_constant_string MatrixScrollPatchEnable = objc_string("MatrixScrollPatchEnable");

// + (void)load
// Sending any message initialises the class at once.
static void Corvane_load(id self, SEL) { msg<id>(self, SELECTOR(class)); }

// + (void)initialize
static void Corvane_initialize(id self, SEL) {
  if (self != msg<id>(objc_getClass("Corvane"), SELECTOR(class))) return;  // inherited by a subclass

  id defaults = msg<id>(objc_getClass("NSUserDefaults"), SELECTOR(standardUserDefaults));
  id bundle = msg<id>(objc_getClass("NSBundle"), SELECTOR(bundleForClass:), self);
  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  msg<void>(defaults, SELECTOR(registerDefaults:), msg<id>(info, SELECTOR(objectForKey:), id(&CorvaneDefaults)));

  if (msg<BOOL>(defaults, SELECTOR(boolForKey:), id(&CorvaneEnable))) msg<void>(self, SELECTOR(enableCorvane));
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

static objc_class_def Corvane_class = {
    "Corvane", "NSObject", 0 /* no instance variables of its own */, objc_methods(Corvane_class_methods),
    objc_no_methods, Nil};

// ---------------------------------------------------------------------------
// The unit's record.

static objc_class_def* const Corvane_unit_classes[] = {&Corvane_class};
static objc_constant_string* const Corvane_unit_strings[] = {&CorvaneDefaults, &CorvaneEnable,
                                                             &MatrixScrollPatchEnable};
static objc_module_record Corvane_unit = {
    OBJC_MODULE_VERSION, "Corvane", Corvane_unit_classes, 1, nullptr, 0, Corvane_unit_strings, 3};
OBJC_MODULE_RECORD(Corvane_unit)
