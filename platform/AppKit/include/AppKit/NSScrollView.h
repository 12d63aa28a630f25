// NSScrollView: a view that shows part of a taller document view and
// scrolls vertically. Its frame is the visible area; its bounds origin's y
// is how far the document is scrolled. The document view sits at (0,0)
// inside it.
//
// Messages (integers are NSInteger):
//   -setDocumentView: (retained through the subview list; nil removes it),
//   -documentView
//   -documentVisibleY: the document's top visible line
//   -maxScrollY: how far the document can scroll (0 when it fits)
//   -scrollToY: scrolls to that offset, clamped to 0..maxScrollY (the user
//     moving the scroller)
//   -scrollDocumentRectToVisibleY:height: scrolls the least distance that
//     shows the given document lines (their top, if they are taller than
//     the view); yields YES if the offset changed
#pragma once

#include "AppKit/NSView.h"

// Instance layout of NSScrollView.
struct NSScrollViewLayout : NSViewLayout {
  id document_view;  // also a subview, which is what retains it
};
