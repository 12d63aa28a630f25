# Windows builds only, included at the end of tests/CMakeLists.txt: POSIX
# shims for the shared tests, and the tests of the Windows start-up, loader
# and module layout.

# Every test program sees the environment shims of windows_compat.h.
get_property(corvane_test_targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
foreach(target IN LISTS corvane_test_targets)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_compile_options(${target} PRIVATE -include ${CMAKE_CURRENT_SOURCE_DIR}/windows_compat.h)
  endif()
endforeach()
