// A module for loader_test to open: no records, two exported functions.
#if defined(_WIN32)
#  define LOADER_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#  define LOADER_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
const char anchor = 0;
}

LOADER_TEST_EXPORT int loader_test_answer() { return 42; }

// An address inside this module.
LOADER_TEST_EXPORT const void* loader_test_anchor() { return &anchor; }
