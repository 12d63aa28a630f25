// NSCell: a text cell's value and its editable flag.
#include "AppKit/NSCell.h"
#include "Foundation/NSException.h"

#include "view_internal.h"

namespace appkit {
namespace {

NSCellLayout* layout(id self) { return static_cast<NSCellLayout*>(self); }

id NSCell_init(id self, SEL) { return msg<id>(self, SELECTOR(initTextCell:), nil); }

id NSCell_initTextCell(id self, SEL, id text) {
  self = msgSuper<id>(objc_super_of(self, NSCell_def), SELECTOR(init));
  if (self == nil) return nil;
  layout(self)->editable = YES;
  NSRunReleasingOnRaise(self, [&] { msg<void>(self, SELECTOR(setStringValue:), text); });
  return self;
}

void NSCell_dealloc(id self, SEL) {
  msg<void>(layout(self)->string_value, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSCell_def), SELECTOR(dealloc));
}

id NSCell_stringValue(id self, SEL) { return layout(self)->string_value; }

void NSCell_setStringValue(id self, SEL, id text) {
  id copy = text != nil ? msg<id>(text, SELECTOR(copy))
                        : msg<id>(msg<id>(class_named("NSString"), SELECTOR(alloc)), SELECTOR(init));
  msg<void>(layout(self)->string_value, SELECTOR(release));
  layout(self)->string_value = copy;
}

BOOL NSCell_isEditable(id self, SEL) { return layout(self)->editable; }
void NSCell_setEditable(id self, SEL, BOOL editable) { layout(self)->editable = editable ? YES : NO; }

const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSCell_init)},
    {"initTextCell:", objc_imp(&NSCell_initTextCell)},
    {"dealloc", objc_imp(&NSCell_dealloc)},
    {"stringValue", objc_imp(&NSCell_stringValue)},
    {"setStringValue:", objc_imp(&NSCell_setStringValue)},
    {"isEditable", objc_imp(&NSCell_isEditable)},
    {"setEditable:", objc_imp(&NSCell_setEditable)},
};

}  // namespace

objc_class_def NSCell_def = {
    "NSCell", "NSObject", sizeof(NSCellLayout), objc_no_methods, objc_methods(instance_methods), Nil};

namespace {
objc_class_def* const classes[] = {&NSCell_def};
objc_module_record NSCell_record = objc_module("NSCell", classes);
OBJC_MODULE_RECORD(NSCell_record)
}  // namespace

}  // namespace appkit
