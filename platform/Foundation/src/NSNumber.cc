// NSNumber: boolean, integer and double values. Numbers compare by value
// across kinds (YES equals 1, 2 equals 2.0) and equal numbers hash equal.
#include "Foundation/NSNumber.h"

#include <charconv>
#include <cmath>

#include "Foundation/NSString.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

NSNumberLayout* layout(id self) { return static_cast<NSNumberLayout*>(self); }

id make_number(id cls, NSNumberKind kind, int32_t i, double d) {
  id n = msg<id>(cls, SELECTOR(alloc));
  layout(n)->kind = kind;
  layout(n)->int_value = i;
  layout(n)->double_value = d;
  return msg<id>(n, SELECTOR(autorelease));
}

double as_double(id self) {
  return layout(self)->kind == NSNumberKind::kDouble ? layout(self)->double_value : layout(self)->int_value;
}

id NSNumber_numberWithBool(id self, SEL, BOOL value) {
  return make_number(self, NSNumberKind::kBool, value != NO ? 1 : 0, 0);
}
id NSNumber_numberWithInt(id self, SEL, NSInteger value) {
  return make_number(self, NSNumberKind::kInt, value, 0);
}
id NSNumber_numberWithDouble(id self, SEL, double value) {
  return make_number(self, NSNumberKind::kDouble, 0, value);
}

BOOL NSNumber_boolValue(id self, SEL) { return as_double(self) != 0 ? YES : NO; }
// Doubles truncate toward zero and clamp to the int range; NaN yields 0.
NSInteger NSNumber_intValue(id self, SEL) {
  if (layout(self)->kind != NSNumberKind::kDouble) return layout(self)->int_value;
  double d = layout(self)->double_value;
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<NSInteger>(d);
}
double NSNumber_doubleValue(id self, SEL) { return as_double(self); }
const char* NSNumber_objCType(id self, SEL) {
  switch (layout(self)->kind) {
    case NSNumberKind::kBool:
      return "c";
    case NSNumberKind::kInt:
      return "i";
    case NSNumberKind::kDouble:
      return "d";
  }
  return "i";
}
BOOL NSNumber_isEqual(id self, SEL, id other) {
  if (self == other) return YES;
  if (!NSObjectIsKindOf(other, NSNumber_def.cls)) return NO;
  if (layout(self)->kind != NSNumberKind::kDouble && layout(other)->kind != NSNumberKind::kDouble)
    return layout(self)->int_value == layout(other)->int_value ? YES : NO;
  return as_double(self) == as_double(other) ? YES : NO;
}
// Integral values hash as their integer, so 2 and 2.0 hash alike.
NSUInteger NSNumber_hash(id self, SEL) {
  double d = as_double(self);
  if (d == std::trunc(d) && std::fabs(d) < 4294967296.0)
    return static_cast<NSUInteger>(static_cast<int64_t>(d));
  uint64_t bits;
  static_assert(sizeof bits == sizeof d);
  __builtin_memcpy(&bits, &d, sizeof bits);
  return static_cast<NSUInteger>(bits ^ (bits >> 32));
}
id NSNumber_copyWithZone(id self, SEL, void*) { return msg<id>(self, SELECTOR(retain)); }
// Booleans and integers print as decimal integers, doubles in their
// shortest round-trip form.
id NSNumber_description(id self, SEL) {
  if (layout(self)->kind != NSNumberKind::kDouble)
    return make_string(std::to_string(layout(self)->int_value));
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, layout(self)->double_value);
  return make_string(std::string_view(text, static_cast<size_t>(result.ptr - text)));
}

const objc_method_def class_methods[] = {
    {"numberWithBool:", objc_imp(&NSNumber_numberWithBool)},
    {"numberWithInt:", objc_imp(&NSNumber_numberWithInt)},
    {"numberWithDouble:", objc_imp(&NSNumber_numberWithDouble)},
};
const objc_method_def instance_methods[] = {
    {"boolValue", objc_imp(&NSNumber_boolValue)},        {"intValue", objc_imp(&NSNumber_intValue)},
    {"doubleValue", objc_imp(&NSNumber_doubleValue)},    {"objCType", objc_imp(&NSNumber_objCType)},
    {"isEqual:", objc_imp(&NSNumber_isEqual)},           {"hash", objc_imp(&NSNumber_hash)},
    {"copyWithZone:", objc_imp(&NSNumber_copyWithZone)}, {"description", objc_imp(&NSNumber_description)},
};

}  // namespace

objc_class_def NSNumber_def = {"NSNumber",
                               "NSObject",
                               sizeof(NSNumberLayout),
                               objc_methods(class_methods),
                               objc_methods(instance_methods),
                               Nil};

namespace {
objc_class_def* const classes[] = {&NSNumber_def};
objc_module_record NSNumber_record = objc_module("NSNumber", classes);
OBJC_MODULE_RECORD(NSNumber_record)
}  // namespace

}  // namespace foundation

bool NSNumberIsBool(id number) {
  return NSObjectIsKindOf(number, foundation::NSNumber_def.cls) &&
         static_cast<NSNumberLayout*>(number)->kind == NSNumberKind::kBool;
}
id NSNumberFromBool(bool value) {
  return msg<id>(reinterpret_cast<id>(objc_getClass("NSNumber")), SELECTOR(numberWithBool:),
                 BOOL(value ? YES : NO));
}
id NSNumberFromInt(NSInteger value) {
  return msg<id>(reinterpret_cast<id>(objc_getClass("NSNumber")), SELECTOR(numberWithInt:), value);
}
id NSNumberFromDouble(double value) {
  return msg<id>(reinterpret_cast<id>(objc_getClass("NSNumber")), SELECTOR(numberWithDouble:), value);
}
