// NSPrintInfo: paper, orientation and margins, copying, and the class's
// shared slot. Main thread only: nothing here is locked.
#include "AppKit/NSPrintInfo.h"

#include <cstdio>
#include <cstring>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "appkit_internal.h"

namespace appkit {

// The class record, defined after its method lists; super sends start from
// the superclass it was registered with.
extern objc_class_def NSPrintInfo_def;

namespace {

NSPrintInfoLayout* layout(id self) { return static_cast<NSPrintInfoLayout*>(self); }

// The shared settings, retained; nil until first asked for.
id shared_print_info = nil;

struct Paper {
  const char* name;
  NSInteger width, height;
};
// The papers the class knows by name, portrait-wise, in points.
const Paper kPapers[] = {
    {"Letter", 612, 792}, {"Legal", 612, 1008}, {"A4", 595, 842}, {"A5", 420, 595}, {"B5", 499, 709},
};

// The reasons are formatted into buffers on the stack: a raise does not
// come back to free anything.
[[noreturn]] void raise_invalid(const char* method, const char* why) {
  char reason[160];
  std::snprintf(reason, sizeof reason, "-[NSPrintInfo %s]: %s", method, why);
  NSRaise("NSInvalidArgumentException", reason);
}

void check_margin(const char* method, NSInteger margin) {
  if (margin >= 0) return;
  char why[48];
  std::snprintf(why, sizeof why, "negative margin %d", static_cast<int>(margin));
  raise_invalid(method, why);
}

// --- The shared slot ----------------------------------------------------

// + (NSPrintInfo*)sharedPrintInfo
// Made through the receiver, so that a class posing as NSPrintInfo makes
// the shared settings of its own class.
id NSPrintInfo_sharedPrintInfo(id self, SEL) {
  if (shared_print_info == nil) shared_print_info = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init));
  return shared_print_info;
}

// + (void)setSharedPrintInfo:(NSPrintInfo*)printInfo
// Retains before releasing, so that setting the shared settings again is
// harmless.
void NSPrintInfo_setSharedPrintInfo(id, SEL, id print_info) {
  if (print_info == nil)
    NSRaise("NSInvalidArgumentException", "+[NSPrintInfo setSharedPrintInfo:]: nil print info");
  msg<id>(print_info, SELECTOR(retain));
  id old = shared_print_info;
  shared_print_info = print_info;
  msg<void>(old, SELECTOR(release));
}

// --- Life cycle ---------------------------------------------------------

id NSPrintInfo_init(id self, SEL) {
  self = msgSuper<id>(objc_super_of(self, NSPrintInfo_def), SELECTOR(init));
  if (self == nil) return nil;
  NSPrintInfoLayout* p = layout(self);
  p->paper_name = msg<id>(NSStringFromUTF8("Letter"), SELECTOR(retain));
  p->paper_width = 612;
  p->paper_height = 792;
  p->orientation = NSPortraitOrientation;
  p->left_margin = p->right_margin = 72;
  p->top_margin = p->bottom_margin = 90;
  return self;
}

void NSPrintInfo_dealloc(id self, SEL) {
  msg<void>(layout(self)->paper_name, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSPrintInfo_def), SELECTOR(dealloc));
}

// - (id)copyWithZone:(NSZone*)zone
// A new object of the receiver's own class with the receiver's values.
id NSPrintInfo_copyWithZone(id self, SEL, void*) {
  id copy = msg<id>(msg<id>(msg<id>(self, SELECTOR(class)), SELECTOR(alloc)), SELECTOR(init));
  NSPrintInfoLayout* to = layout(copy);
  const NSPrintInfoLayout* from = layout(self);
  id name = nil;
  NSRunReleasingOnRaise(copy, [&] { name = msg<id>(from->paper_name, SELECTOR(copy)); });
  msg<void>(to->paper_name, SELECTOR(release));
  to->paper_name = name;
  to->paper_width = from->paper_width;
  to->paper_height = from->paper_height;
  to->orientation = from->orientation;
  to->left_margin = from->left_margin;
  to->right_margin = from->right_margin;
  to->top_margin = from->top_margin;
  to->bottom_margin = from->bottom_margin;
  return copy;
}

// --- Paper --------------------------------------------------------------

id NSPrintInfo_paperName(id self, SEL) { return layout(self)->paper_name; }

// - (void)setPaperName:(NSString*)name
void NSPrintInfo_setPaperName(id self, SEL, id name) {
  if (!NSObjectIsKindOf(name, objc_getClass("NSString"))) raise_invalid("setPaperName:", "not a paper name");
  if (msg<NSUInteger>(name, SELECTOR(length)) == 0) raise_invalid("setPaperName:", "empty paper name");
  id copy = msg<id>(name, SELECTOR(copy));
  msg<void>(layout(self)->paper_name, SELECTOR(release));
  layout(self)->paper_name = copy;
  const char* text = msg<const char*>(copy, SELECTOR(UTF8String));
  for (const Paper& paper : kPapers) {
    if (std::strcmp(text, paper.name) == 0) {
      layout(self)->paper_width = paper.width;
      layout(self)->paper_height = paper.height;
    }
  }
}

NSInteger NSPrintInfo_paperWidth(id self, SEL) { return layout(self)->paper_width; }
NSInteger NSPrintInfo_paperHeight(id self, SEL) { return layout(self)->paper_height; }

// - (void)setPaperWidth:(NSInteger)width height:(NSInteger)height
void NSPrintInfo_setPaperWidthHeight(id self, SEL, NSInteger width, NSInteger height) {
  if (width <= 0 || height <= 0) {
    char why[64];
    std::snprintf(why, sizeof why, "paper size %dx%d is empty", static_cast<int>(width),
                  static_cast<int>(height));
    raise_invalid("setPaperWidth:height:", why);
  }
  layout(self)->paper_width = width;
  layout(self)->paper_height = height;
}

NSInteger NSPrintInfo_orientation(id self, SEL) { return layout(self)->orientation; }
void NSPrintInfo_setOrientation(id self, SEL, NSInteger orientation) {
  if (orientation != NSPortraitOrientation && orientation != NSLandscapeOrientation) {
    char why[48];
    std::snprintf(why, sizeof why, "no orientation %d", static_cast<int>(orientation));
    raise_invalid("setOrientation:", why);
  }
  layout(self)->orientation = orientation;
}

// --- Margins ------------------------------------------------------------

NSInteger NSPrintInfo_leftMargin(id self, SEL) { return layout(self)->left_margin; }
NSInteger NSPrintInfo_rightMargin(id self, SEL) { return layout(self)->right_margin; }
NSInteger NSPrintInfo_topMargin(id self, SEL) { return layout(self)->top_margin; }
NSInteger NSPrintInfo_bottomMargin(id self, SEL) { return layout(self)->bottom_margin; }

void NSPrintInfo_setLeftMargin(id self, SEL, NSInteger margin) {
  check_margin("setLeftMargin:", margin);
  layout(self)->left_margin = margin;
}
void NSPrintInfo_setRightMargin(id self, SEL, NSInteger margin) {
  check_margin("setRightMargin:", margin);
  layout(self)->right_margin = margin;
}
void NSPrintInfo_setTopMargin(id self, SEL, NSInteger margin) {
  check_margin("setTopMargin:", margin);
  layout(self)->top_margin = margin;
}
void NSPrintInfo_setBottomMargin(id self, SEL, NSInteger margin) {
  check_margin("setBottomMargin:", margin);
  layout(self)->bottom_margin = margin;
}

// - (NSString*)description: "A5 420x595 portrait, margins 72/72/90/90"
id NSPrintInfo_description(id self, SEL) {
  const NSPrintInfoLayout* p = layout(self);
  return NSStringWithFormat(
      "%s %dx%d %s, margins %d/%d/%d/%d", msg<const char*>(p->paper_name, SELECTOR(UTF8String)),
      p->paper_width, p->paper_height, p->orientation == NSLandscapeOrientation ? "landscape" : "portrait",
      p->left_margin, p->right_margin, p->top_margin, p->bottom_margin);
}

const objc_method_def class_methods[] = {
    {"sharedPrintInfo", objc_imp(&NSPrintInfo_sharedPrintInfo)},
    {"setSharedPrintInfo:", objc_imp(&NSPrintInfo_setSharedPrintInfo)},
};
const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSPrintInfo_init)},
    {"dealloc", objc_imp(&NSPrintInfo_dealloc)},
    {"copyWithZone:", objc_imp(&NSPrintInfo_copyWithZone)},
    {"paperName", objc_imp(&NSPrintInfo_paperName)},
    {"setPaperName:", objc_imp(&NSPrintInfo_setPaperName)},
    {"paperWidth", objc_imp(&NSPrintInfo_paperWidth)},
    {"paperHeight", objc_imp(&NSPrintInfo_paperHeight)},
    {"setPaperWidth:height:", objc_imp(&NSPrintInfo_setPaperWidthHeight)},
    {"orientation", objc_imp(&NSPrintInfo_orientation)},
    {"setOrientation:", objc_imp(&NSPrintInfo_setOrientation)},
    {"leftMargin", objc_imp(&NSPrintInfo_leftMargin)},
    {"rightMargin", objc_imp(&NSPrintInfo_rightMargin)},
    {"topMargin", objc_imp(&NSPrintInfo_topMargin)},
    {"bottomMargin", objc_imp(&NSPrintInfo_bottomMargin)},
    {"setLeftMargin:", objc_imp(&NSPrintInfo_setLeftMargin)},
    {"setRightMargin:", objc_imp(&NSPrintInfo_setRightMargin)},
    {"setTopMargin:", objc_imp(&NSPrintInfo_setTopMargin)},
    {"setBottomMargin:", objc_imp(&NSPrintInfo_setBottomMargin)},
    {"description", objc_imp(&NSPrintInfo_description)},
};

}  // namespace

objc_class_def NSPrintInfo_def = {"NSPrintInfo",
                                  "NSObject",
                                  sizeof(NSPrintInfoLayout),
                                  objc_methods(class_methods),
                                  objc_methods(instance_methods),
                                  Nil};

namespace {
objc_class_def* const classes[] = {&NSPrintInfo_def};
objc_module_record NSPrintInfo_record = objc_module("NSPrintInfo", classes);
OBJC_MODULE_RECORD(NSPrintInfo_record)
}  // namespace

}  // namespace appkit
