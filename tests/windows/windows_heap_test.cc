// Standard C++ types cross the project's DLLs (defaults_store's strings and
// vectors, the property-list values) although each DLL links its own C++
// run-time: memory one DLL allocates, another frees. That holds because
// every copy allocates from the one C run-time heap (msvcrt.dll); see the
// export macros in Foundation/NSObject.h. A DLL that brought a heap of its
// own would fail here, freeing a block its heap never gave out.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "Foundation/PropertyList.h"

std::string windows_heap_make(size_t length, char fill);
size_t windows_heap_take(std::string text);

TEST(WindowsHeap, StringsMadeInOneDllAreFreedAndGrownInAnother) {
  for (size_t length = 100; length < 100000; length *= 3) {
    // Made by Foundation.dll, freed by the heap module.
    std::string quoted = plist::quote_if_needed(std::string(length, 'a') + " b");
    size_t size = quoted.size();
    EXPECT_EQ(windows_heap_take(std::move(quoted)), size);
    // Made by the heap module, grown (reallocated) and freed by this program.
    std::string made = windows_heap_make(length, 'x');
    made.append(length, 'y');
    EXPECT_EQ(made.size(), 2 * length);
    EXPECT_EQ(made.find('y'), length);
  }
}
