// NSView: geometry, the subview tree, hit testing and the routing of a
// mouse-down from the content view to the view under the pointer.
#include "AppKit/NSView.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSObject.h"
#include "view_internal.h"

namespace appkit {
namespace {

NSViewLayout* layout(id self) { return static_cast<NSViewLayout*>(self); }

id NSView_init(id self, SEL) {
  return msg<id>(self, SELECTOR(initWithFrameX:y:width:height:), NSInteger(0), NSInteger(0), NSInteger(0),
                 NSInteger(0));
}

// Negative sizes are taken as empty, so that hit testing never sees a
// rectangle with a negative extent.
void NSView_setFrame(id self, SEL, NSInteger x, NSInteger y, NSInteger width, NSInteger height) {
  NSViewLayout* v = layout(self);
  v->frame_x = x;
  v->frame_y = y;
  v->frame_width = width > 0 ? width : 0;
  v->frame_height = height > 0 ? height : 0;
}

id NSView_initWithFrame(id self, SEL, NSInteger x, NSInteger y, NSInteger width, NSInteger height) {
  self = msgSuper<id>(objc_super_of(self, NSView_def), SELECTOR(init));
  if (self != nil)
    NSRunReleasingOnRaise(self,
                          [&] { msg<void>(self, SELECTOR(setFrameX:y:width:height:), x, y, width, height); });
  return self;
}

void NSView_dealloc(id self, SEL) {
  id subviews = layout(self)->subviews;
  NSUInteger n = msg<NSUInteger>(subviews, SELECTOR(count));
  for (NSUInteger i = 0; i < n; ++i) layout(msg<id>(subviews, SELECTOR(objectAtIndex:), i))->superview = nil;
  msg<void>(subviews, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSView_def), SELECTOR(dealloc));
}

NSInteger NSView_frameX(id self, SEL) { return layout(self)->frame_x; }
NSInteger NSView_frameY(id self, SEL) { return layout(self)->frame_y; }
NSInteger NSView_frameWidth(id self, SEL) { return layout(self)->frame_width; }
NSInteger NSView_frameHeight(id self, SEL) { return layout(self)->frame_height; }
NSInteger NSView_boundsX(id self, SEL) { return layout(self)->bounds_x; }
NSInteger NSView_boundsY(id self, SEL) { return layout(self)->bounds_y; }
void NSView_setBoundsOrigin(id self, SEL, NSInteger x, NSInteger y) {
  layout(self)->bounds_x = x;
  layout(self)->bounds_y = y;
}

id NSView_superview(id self, SEL) { return layout(self)->superview; }
id NSView_subviews(id self, SEL) {
  id subviews = layout(self)->subviews;
  return subviews != nil ? subviews : msg<id>(class_named("NSArray"), SELECTOR(array));
}

bool is_ancestor(id view, id of) {
  for (id v = of; v != nil; v = layout(v)->superview)
    if (v == view) return true;
  return false;
}

// A view moves: it leaves its old superview first. Adding a view to itself
// or to one of its own subviews would make a loop, and is refused.
void NSView_addSubview(id self, SEL, id view) {
  if (view == nil || is_ancestor(view, self))
    NSRaise("NSInvalidArgumentException", "-[NSView addSubview:]: nil view, or a view added inside itself");
  msg<id>(view, SELECTOR(retain));
  NSRunCleaningUpOnRaise(
      [&] {
        msg<void>(view, SELECTOR(removeFromSuperview));
        if (layout(self)->subviews == nil)
          layout(self)->subviews =
              msg<id>(msg<id>(class_named("NSMutableArray"), SELECTOR(alloc)), SELECTOR(init));
        msg<void>(layout(self)->subviews, SELECTOR(addObject:), view);
      },
      [&] { msg<void>(view, SELECTOR(release)); });
  layout(view)->superview = self;
  msg<void>(view, SELECTOR(release));
}

void NSView_removeFromSuperview(id self, SEL) {
  id superview = layout(self)->superview;
  if (superview == nil) return;
  // Told first; the view leaves the list before its superview link goes,
  // so that a raise leaves both as they were. Held meanwhile: the list may
  // hold the only reference.
  msg<void>(superview, SELECTOR(willRemoveSubview:), self);
  msg<id>(self, SELECTOR(retain));
  NSRunCleaningUpOnRaise(
      [&] { msg<void>(layout(superview)->subviews, SELECTOR(removeObjectIdenticalTo:), self); },
      [&] { msg<void>(self, SELECTOR(release)); });
  layout(self)->superview = nil;
  msg<void>(self, SELECTOR(release));
}

id NSView_window(id self, SEL) {
  id top = self;
  while (layout(top)->superview != nil) top = layout(top)->superview;
  return layout(top)->window;
}
void NSView_setWindow(id self, SEL, id window) { layout(self)->window = window; }

id NSView_hitTest(id self, SEL, NSInteger x, NSInteger y) {
  NSViewLayout* v = layout(self);
  if (x < v->frame_x || y < v->frame_y || x >= v->frame_x + v->frame_width ||
      y >= v->frame_y + v->frame_height)
    return nil;
  NSInteger local_x = x - v->frame_x + v->bounds_x;
  NSInteger local_y = y - v->frame_y + v->bounds_y;
  NSUInteger n = msg<NSUInteger>(v->subviews, SELECTOR(count));
  for (NSUInteger i = n; i > 0; --i) {  // front to back
    id sub = msg<id>(v->subviews, SELECTOR(objectAtIndex:), i - 1);
    if (id hit = msg<id>(sub, SELECTOR(hitTestX:y:), local_x, local_y)) return hit;
  }
  return self;
}

id NSView_enclosingScrollView(id self, SEL) {
  for (id v = layout(self)->superview; v != nil; v = layout(v)->superview)
    if (NSObjectIsKindOf(v, NSScrollView_def.cls)) return v;
  return nil;
}

// Carries the rectangle up to the enclosing scroll view, in its bounds
// coordinates, and lets it scroll.
void NSView_scrollRectToVisible(id self, SEL, NSInteger y, NSInteger height) {
  id scroll = msg<id>(self, SELECTOR(enclosingScrollView));
  if (scroll == nil) return;
  for (id v = self; v != scroll; v = layout(v)->superview) y += layout(v)->frame_y - layout(v)->bounds_y;
  msg<BOOL>(scroll, SELECTOR(scrollDocumentRectToVisibleY:height:), y, height);
}

BOOL NSView_acceptsFirstResponder(id, SEL) { return NO; }
BOOL NSView_yes(id, SEL) { return YES; }

// Only the top-most view routes: every other view ignores mouse-downs it
// does not handle itself.
void route_mouse(id self, SEL sel, id event) {
  if (layout(self)->superview != nil) return;
  NSInteger x = msg<NSInteger>(event, SELECTOR(locationX));
  NSInteger y = msg<NSInteger>(event, SELECTOR(locationY));
  id hit = msg<id>(self, SELECTOR(hitTestX:y:), x, y);
  if (hit != nil && hit != self && msg<BOOL>(hit, SELECTOR(respondsToSelector:), sel))
    msg<void>(hit, sel, event);
}
void NSView_mouseDown(id self, SEL sel, id event) { route_mouse(self, sel, event); }
void NSView_rightMouseDown(id self, SEL sel, id event) { route_mouse(self, sel, event); }
void NSView_keyDown(id, SEL, id) {}
void NSView_willRemoveSubview(id, SEL, id) {}

const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSView_init)},
    {"initWithFrameX:y:width:height:", objc_imp(&NSView_initWithFrame)},
    {"dealloc", objc_imp(&NSView_dealloc)},
    {"setFrameX:y:width:height:", objc_imp(&NSView_setFrame)},
    {"frameX", objc_imp(&NSView_frameX)},
    {"frameY", objc_imp(&NSView_frameY)},
    {"frameWidth", objc_imp(&NSView_frameWidth)},
    {"frameHeight", objc_imp(&NSView_frameHeight)},
    {"boundsX", objc_imp(&NSView_boundsX)},
    {"boundsY", objc_imp(&NSView_boundsY)},
    {"setBoundsOriginX:y:", objc_imp(&NSView_setBoundsOrigin)},
    {"superview", objc_imp(&NSView_superview)},
    {"subviews", objc_imp(&NSView_subviews)},
    {"addSubview:", objc_imp(&NSView_addSubview)},
    {"removeFromSuperview", objc_imp(&NSView_removeFromSuperview)},
    {"window", objc_imp(&NSView_window)},
    {"_setWindow:", objc_imp(&NSView_setWindow)},
    {"hitTestX:y:", objc_imp(&NSView_hitTest)},
    {"enclosingScrollView", objc_imp(&NSView_enclosingScrollView)},
    {"scrollRectToVisibleY:height:", objc_imp(&NSView_scrollRectToVisible)},
    {"acceptsFirstResponder", objc_imp(&NSView_acceptsFirstResponder)},
    {"becomeFirstResponder", objc_imp(&NSView_yes)},
    {"resignFirstResponder", objc_imp(&NSView_yes)},
    {"mouseDown:", objc_imp(&NSView_mouseDown)},
    {"rightMouseDown:", objc_imp(&NSView_rightMouseDown)},
    {"keyDown:", objc_imp(&NSView_keyDown)},
    {"willRemoveSubview:", objc_imp(&NSView_willRemoveSubview)},
};

}  // namespace

objc_class_def NSView_def = {
    "NSView", "NSObject", sizeof(NSViewLayout), objc_no_methods, objc_methods(instance_methods), Nil};

namespace {
objc_class_def* const classes[] = {&NSView_def};
objc_module_record NSView_record = objc_module("NSView", classes);
OBJC_MODULE_RECORD(NSView_record)
}  // namespace

}  // namespace appkit

// Converts through the superview first: a point reaches a view in its
// superview's coordinates.
void NSViewConvertFromWindow(id view, NSInteger* x, NSInteger* y) {
  if (view == nil) return;
  auto* v = static_cast<NSViewLayout*>(view);
  NSViewConvertFromWindow(v->superview, x, y);
  *x += v->bounds_x - v->frame_x;
  *y += v->bounds_y - v->frame_y;
}
