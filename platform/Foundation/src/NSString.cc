// NSString (immutable text in UTF-8), NSMutableString (appendable) and
// NSConstantString (static strings the runtime sets up, never freed). All
// three share NSStringLayout; heap strings own a NUL-terminated copy.
#include "Foundation/NSString.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "Foundation/NSException.h"
#include "foundation_internal.h"
#include "keyed_hash.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(NSStringLayout) == sizeof(objc_constant_string));
static_assert(offsetof(NSStringLayout, extra_refs) == offsetof(objc_constant_string, retain_count));
static_assert(offsetof(NSStringLayout, bytes) == offsetof(objc_constant_string, bytes));
static_assert(offsetof(NSStringLayout, length) == offsetof(objc_constant_string, length));
#pragma GCC diagnostic pop

namespace foundation {
namespace {

NSStringLayout* layout(id self) { return static_cast<NSStringLayout*>(self); }
std::string_view text(id self) {
  NSStringLayout* s = layout(self);
  return s->bytes != nullptr ? std::string_view(s->bytes, s->length) : std::string_view();
}

// Replaces a heap string's buffer with a NUL-terminated copy of value.
void assign(id self, std::string_view value) {
  auto* buffer = static_cast<char*>(std::malloc(value.size() + 1));
  if (buffer == nullptr) objc_out_of_memory();
  if (!value.empty()) std::memcpy(buffer, value.data(), value.size());
  buffer[value.size()] = '\0';
  std::free(const_cast<char*>(layout(self)->bytes));
  layout(self)->bytes = buffer;
  layout(self)->length = static_cast<uint32_t>(value.size());
}

// Keyed over the UTF-8 bytes (keyed_hash.h): equal strings hash equal
// whatever their class, and keys read from a file cannot be chosen to
// share a hash.
NSUInteger hash_bytes(std::string_view bytes) { return static_cast<NSUInteger>(keyed_hash(bytes)); }

id new_string(Class cls, std::string_view value) {
  id s = msg<id>(reinterpret_cast<id>(cls), SELECTOR(alloc));
  assign(s, value);
  return s;
}

// --- NSString --------------------------------------------------------------

id NSString_string(id self, SEL) {
  return msg<id>(msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init)), SELECTOR(autorelease));
}
id NSString_stringWithUTF8String(id self, SEL, const char* bytes) {
  return msg<id>(msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithUTF8String:), bytes),
                 SELECTOR(autorelease));
}
id NSString_stringWithString(id self, SEL, id other) {
  return msg<id>(msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithString:), other),
                 SELECTOR(autorelease));
}
id NSString_init(id self, SEL) {
  assign(self, {});
  return self;
}
id NSString_initWithUTF8String(id self, SEL, const char* bytes) {
  if (bytes == nullptr) {
    msg<void>(self, SELECTOR(release));
    NSRaise("NSInvalidArgumentException", "-[NSString initWithUTF8String:]: NULL cString");
  }
  assign(self, bytes);
  return self;
}
id NSString_initWithString(id self, SEL, id other) {
  if (!is_string(other)) {
    msg<void>(self, SELECTOR(release));
    NSRaise("NSInvalidArgumentException", "-[NSString initWithString:]: argument is not a string");
  }
  assign(self, text(other));
  return self;
}
void NSString_dealloc(id self, SEL) {
  std::free(const_cast<char*>(layout(self)->bytes));
  layout(self)->bytes = nullptr;
  msgSuper<void>(objc_super_of(self, NSString_def), SELECTOR(dealloc));
}

// Constant strings' bytes need not be NUL-terminated, so their C string is
// a terminated copy kept for the life of the process.
const char* constant_c_string(id self) {
  static std::mutex lock;
  static auto* copies = new std::unordered_map<id, std::string>;
  std::lock_guard guard(lock);
  auto [it, added] = copies->try_emplace(self);
  if (added) it->second.assign(text(self));
  return it->second.c_str();
}

const char* NSString_UTF8String(id self, SEL) {
  if (NSObjectIsKindOf(self, NSConstantString_def.cls)) return constant_c_string(self);
  return layout(self)->bytes != nullptr ? layout(self)->bytes : "";
}
// Length in UTF-16 units: one per code point, two for those beyond the
// basic plane (four-byte sequences).
NSUInteger NSString_length(id self, SEL) {
  NSUInteger units = 0;
  for (unsigned char c : text(self)) {
    if ((c & 0xC0) != 0x80) ++units;
    if ((c & 0xF8) == 0xF0) ++units;
  }
  return units;
}
BOOL NSString_isEqualToString(id self, SEL, id other) {
  if (self == other) return YES;
  return is_string(other) && text(self) == text(other) ? YES : NO;
}
BOOL NSString_isEqual(id self, SEL, id other) { return NSString_isEqualToString(self, nullptr, other); }
NSUInteger NSString_hash(id self, SEL) { return hash_bytes(text(self)); }
id NSString_copyWithZone(id self, SEL, void*) { return msg<id>(self, SELECTOR(retain)); }
id NSString_mutableCopyWithZone(id self, SEL, void*) {
  return new_string(NSMutableString_def.cls, text(self));
}
id NSString_description(id self, SEL) { return self; }

// Leading white space, then an optional sign and zeros, are skipped; the
// next character decides: Y, y, T, t or a digit 1-9 means YES.
BOOL NSString_boolValue(id self, SEL) {
  std::string_view t = text(self);
  size_t i = 0;
  while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  while (i < t.size() && t[i] == '0') ++i;
  if (i == t.size()) return NO;
  char c = t[i];
  return (c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9')) ? YES : NO;
}
// Leading white space and an optional sign, then decimal digits; stops at
// the first other character. Out-of-range values clamp to the int range.
NSInteger NSString_intValue(id self, SEL) {
  std::string_view t = text(self);
  size_t i = 0;
  while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  int64_t value = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    value = value * 10 + (t[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) break;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<NSInteger>(value);
}
double NSString_doubleValue(id self, SEL) { return std::strtod(NSString_UTF8String(self, nullptr), nullptr); }
BOOL NSString_hasPrefix(id self, SEL, id prefix) {
  return is_string(prefix) && text(self).starts_with(text(prefix)) ? YES : NO;
}
BOOL NSString_hasSuffix(id self, SEL, id suffix) {
  return is_string(suffix) && text(self).ends_with(text(suffix)) ? YES : NO;
}
id NSString_stringByAppendingString(id self, SEL, id other) {
  if (!is_string(other))
    NSRaise("NSInvalidArgumentException", "-[NSString stringByAppendingString:]: nil argument");
  std::string joined(text(self));
  joined.append(text(other));
  return make_string(joined);
}

// --- NSMutableString -------------------------------------------------------

void NSMutableString_appendString(id self, SEL, id other) {
  if (!is_string(other))
    NSRaise("NSInvalidArgumentException", "-[NSMutableString appendString:]: nil argument");
  std::string joined(text(self));
  joined.append(text(other));
  assign(self, joined);
}
void NSMutableString_setString(id self, SEL, id other) {
  if (!is_string(other)) NSRaise("NSInvalidArgumentException", "-[NSMutableString setString:]: nil argument");
  std::string copy(text(other));
  assign(self, copy);
}
id NSMutableString_copyWithZone(id self, SEL, void*) { return new_string(NSString_def.cls, text(self)); }

// --- NSConstantString --------------------------------------------------------

id NSConstantString_retain(id self, SEL) { return self; }
void NSConstantString_release(id, SEL) {}
id NSConstantString_autorelease(id self, SEL) { return self; }
NSUInteger NSConstantString_retainCount(id, SEL) { return UINT32_MAX; }
void NSConstantString_dealloc(id, SEL) {}

const objc_method_def string_class_methods[] = {
    {"string", objc_imp(&NSString_string)},
    {"stringWithUTF8String:", objc_imp(&NSString_stringWithUTF8String)},
    {"stringWithString:", objc_imp(&NSString_stringWithString)},
};
const objc_method_def string_methods[] = {
    {"init", objc_imp(&NSString_init)},
    {"initWithUTF8String:", objc_imp(&NSString_initWithUTF8String)},
    {"initWithString:", objc_imp(&NSString_initWithString)},
    {"dealloc", objc_imp(&NSString_dealloc)},
    {"UTF8String", objc_imp(&NSString_UTF8String)},
    {"length", objc_imp(&NSString_length)},
    {"isEqual:", objc_imp(&NSString_isEqual)},
    {"isEqualToString:", objc_imp(&NSString_isEqualToString)},
    {"hash", objc_imp(&NSString_hash)},
    {"copyWithZone:", objc_imp(&NSString_copyWithZone)},
    {"mutableCopyWithZone:", objc_imp(&NSString_mutableCopyWithZone)},
    {"description", objc_imp(&NSString_description)},
    {"boolValue", objc_imp(&NSString_boolValue)},
    {"intValue", objc_imp(&NSString_intValue)},
    {"doubleValue", objc_imp(&NSString_doubleValue)},
    {"hasPrefix:", objc_imp(&NSString_hasPrefix)},
    {"hasSuffix:", objc_imp(&NSString_hasSuffix)},
    {"stringByAppendingString:", objc_imp(&NSString_stringByAppendingString)},
};
const objc_method_def mutable_string_methods[] = {
    {"appendString:", objc_imp(&NSMutableString_appendString)},
    {"setString:", objc_imp(&NSMutableString_setString)},
    {"copyWithZone:", objc_imp(&NSMutableString_copyWithZone)},
};
const objc_method_def constant_string_methods[] = {
    {"retain", objc_imp(&NSConstantString_retain)},
    {"release", objc_imp(&NSConstantString_release)},
    {"autorelease", objc_imp(&NSConstantString_autorelease)},
    {"retainCount", objc_imp(&NSConstantString_retainCount)},
    {"dealloc", objc_imp(&NSConstantString_dealloc)},
};

}  // namespace

objc_class_def NSString_def = {"NSString",
                               "NSObject",
                               sizeof(NSStringLayout),
                               objc_methods(string_class_methods),
                               objc_methods(string_methods),
                               Nil};
objc_class_def NSMutableString_def = {"NSMutableString",
                                      "NSString",
                                      sizeof(NSStringLayout),
                                      objc_no_methods,
                                      objc_methods(mutable_string_methods),
                                      Nil};
objc_class_def NSConstantString_def = {"NSConstantString",
                                       "NSString",
                                       sizeof(NSStringLayout),
                                       objc_no_methods,
                                       objc_methods(constant_string_methods),
                                       Nil};

// Made without a send that could raise: the instance directly from the
// runtime, then only autorelease.
id make_string(std::string_view value) {
  id s = class_createInstance(NSString_def.cls, 0);
  assign(s, value);
  return msg<id>(s, SELECTOR(autorelease));
}

std::string describe(id obj) {
  if (obj == nil) return "(null)";
  id d = is_string(obj) ? obj : msg<id>(obj, SELECTOR(description));
  return is_string(d) ? std::string(text(d)) : std::string();
}

namespace {
objc_class_def* const classes[] = {&NSString_def, &NSMutableString_def, &NSConstantString_def};
objc_module_record NSString_record = objc_module("NSString", classes);
OBJC_MODULE_RECORD(NSString_record)
}  // namespace

}  // namespace foundation

id NSStringFromUTF8(const char* value) { return value != nullptr ? foundation::make_string(value) : nil; }

id NSStringWithFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return foundation::make_string(out);
}

std::string NSStringToStd(id string) { return string == nil ? std::string() : foundation::describe(string); }
