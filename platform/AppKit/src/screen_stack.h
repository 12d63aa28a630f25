// The process's windows as the (headless) screen shows them: every window
// that exists, in creation order; the visible ones front to back, ordered
// by level and, within a level, by how recently each was ordered front;
// and which window is key. AppKit is used from the main thread only, so
// none of this is locked.
#pragma once

#include <vector>

#include "AppKit/NSWindow.h"

namespace appkit::screen {

// The window list: a window joins when it is initialised and leaves when it
// is deallocated. Windows are not retained.
void add_window(id window);
void remove_window(id window);
const std::vector<id>& all_windows();

// The screen stack.
// Puts window in front of every visible window of its level (or a lower
// one) and behind every window of a higher level.
void order_front(id window);
// Takes window off the screen; nothing happens if it is not on it.
void order_out(id window);
bool is_visible(id window);
// The visible windows, front first.
const std::vector<id>& front_to_back();

// The key window, nil if none. Not retained: a window that goes away
// clears it.
id key_window();
void set_key_window(id window);

}  // namespace appkit::screen
