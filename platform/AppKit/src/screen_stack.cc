// The window list, the screen stack and the key window: see screen_stack.h.
#include "screen_stack.h"

#include <algorithm>

namespace appkit::screen {
namespace {

std::vector<id>& windows() {
  static std::vector<id> list;
  return list;
}
std::vector<id>& stack() {
  static std::vector<id> list;
  return list;
}
id key = nil;

NSInteger level_of(id window) { return static_cast<NSWindowLayout*>(window)->level; }

void erase(std::vector<id>& list, id window) {
  list.erase(std::remove(list.begin(), list.end(), window), list.end());
}

}  // namespace

void add_window(id window) {
  if (std::find(windows().begin(), windows().end(), window) == windows().end()) windows().push_back(window);
}

void remove_window(id window) {
  erase(windows(), window);
  erase(stack(), window);
  if (key == window) key = nil;
}

const std::vector<id>& all_windows() { return windows(); }

void order_front(id window) {
  erase(stack(), window);
  NSInteger level = level_of(window);
  auto first_not_above =
      std::find_if(stack().begin(), stack().end(), [&](id w) { return level_of(w) <= level; });
  stack().insert(first_not_above, window);
}

void order_out(id window) { erase(stack(), window); }

bool is_visible(id window) { return std::find(stack().begin(), stack().end(), window) != stack().end(); }

const std::vector<id>& front_to_back() { return stack(); }

id key_window() { return key; }
void set_key_window(id window) { key = window; }

}  // namespace appkit::screen
