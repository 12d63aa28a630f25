// NSScrollView: the document view it shows and vertical scrolling, kept
// within the document's extent.
#include "AppKit/NSScrollView.h"

#include "view_internal.h"

namespace appkit {
namespace {

NSScrollViewLayout* layout(id self) { return static_cast<NSScrollViewLayout*>(self); }

void NSScrollView_setDocumentView(id self, SEL, id view) {
  id old = layout(self)->document_view;
  if (old == view) return;
  msg<void>(old, SELECTOR(removeFromSuperview));
  if (view != nil) {
    msg<void>(self, SELECTOR(addSubview:), view);
    msg<void>(view, SELECTOR(setFrameX:y:width:height:), NSInteger(0), NSInteger(0),
              msg<NSInteger>(view, SELECTOR(frameWidth)), msg<NSInteger>(view, SELECTOR(frameHeight)));
    layout(self)->document_view = view;
  }
  msg<void>(self, SELECTOR(scrollToY:), NSInteger(0));
}

// The document view leaving by any route stops being the document view.
void NSScrollView_willRemoveSubview(id self, SEL, id view) {
  if (view == layout(self)->document_view) layout(self)->document_view = nil;
}

id NSScrollView_documentView(id self, SEL) { return layout(self)->document_view; }
NSInteger NSScrollView_documentVisibleY(id self, SEL) { return layout(self)->bounds_y; }

NSInteger NSScrollView_maxScrollY(id self, SEL) {
  NSInteger document = msg<NSInteger>(layout(self)->document_view, SELECTOR(frameHeight));
  NSInteger visible = layout(self)->frame_height;
  return document > visible ? document - visible : 0;
}

void NSScrollView_scrollToY(id self, SEL, NSInteger y) {
  NSInteger max = msg<NSInteger>(self, SELECTOR(maxScrollY));
  if (y > max) y = max;
  if (y < 0) y = 0;
  msg<void>(self, SELECTOR(setBoundsOriginX:y:), layout(self)->bounds_x, y);
}

BOOL NSScrollView_scrollDocumentRectToVisible(id self, SEL, NSInteger y, NSInteger height) {
  NSInteger top = layout(self)->bounds_y;
  NSInteger visible = layout(self)->frame_height;
  NSInteger target = top;
  if (y < top || height > visible) {
    target = y;
  } else if (y + height > top + visible) {
    target = y + height - visible;
  }
  msg<void>(self, SELECTOR(scrollToY:), target);
  return layout(self)->bounds_y != top ? YES : NO;
}

const objc_method_def instance_methods[] = {
    {"setDocumentView:", objc_imp(&NSScrollView_setDocumentView)},
    {"willRemoveSubview:", objc_imp(&NSScrollView_willRemoveSubview)},
    {"documentView", objc_imp(&NSScrollView_documentView)},
    {"documentVisibleY", objc_imp(&NSScrollView_documentVisibleY)},
    {"maxScrollY", objc_imp(&NSScrollView_maxScrollY)},
    {"scrollToY:", objc_imp(&NSScrollView_scrollToY)},
    {"scrollDocumentRectToVisibleY:height:", objc_imp(&NSScrollView_scrollDocumentRectToVisible)},
};

}  // namespace

objc_class_def NSScrollView_def = {"NSScrollView",
                                   "NSView",
                                   sizeof(NSScrollViewLayout),
                                   objc_no_methods,
                                   objc_methods(instance_methods),
                                   Nil};

namespace {
objc_class_def* const classes[] = {&NSScrollView_def};
objc_module_record NSScrollView_record = objc_module("NSScrollView", classes);
OBJC_MODULE_RECORD(NSScrollView_record)
}  // namespace

}  // namespace appkit
