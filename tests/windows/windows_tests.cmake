# Windows builds only, included at the end of tests/CMakeLists.txt: the
# tests of the Windows start-up, exceptions through DLLs and module layout.

# The attach notification, record order and the 260-byte path rule, with a
# module of two units.
corvane_loadable_module(windows_attach_module windows/windows_attach_module_first.cc windows/windows_attach_module_second.cc)
target_link_libraries(windows_attach_module PRIVATE nextpdo)
corvane_test(windows_attach_test windows/windows_attach_test.cc windows/windows_test_support.cc LIBS nextpdo platform_loader)
add_dependencies(windows_attach_test windows_attach_module)

# Framework exceptions (handler frames and jumps) through DLLs that each
# link the C++ run-time statically.
add_library(windows_exception_relay SHARED windows/windows_exception_relay.cc)
target_link_libraries(windows_exception_relay PRIVATE Foundation)
set_target_properties(windows_exception_relay PROPERTIES PREFIX "")
corvane_test(windows_exception_test windows/windows_exception_test.cc windows/windows_test_support.cc LIBS Foundation platform_loader)
add_dependencies(windows_exception_test windows_exception_relay)

# C++ standard types made in one DLL and freed in another (the heap rule
# beside the export macros in Foundation/NSObject.h).
add_library(windows_heap_module SHARED windows/windows_heap_module.cc)
set_target_properties(windows_heap_module PROPERTIES PREFIX "")
corvane_test(windows_heap_test windows/windows_heap_test.cc LIBS Foundation windows_heap_module)

# The bundle's module exports nothing and imports only from the stand-ins,
# the C run-time (its _setjmp for handler frames among them) and KERNEL32
# (checked on the build machine with objdump).
find_program(CORVANE_OBJDUMP NAMES ${CMAKE_OBJDUMP} ${CORVANE_MINGW_TRIPLE}-objdump objdump REQUIRED)
add_test(NAME WindowsLayout.BundleExportsNothingAndImportsOnlyAllowedDlls
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CORVANE_OBJDUMP} -DMODULE=$<TARGET_FILE:Corvane>
          -DALLOWED=$<TARGET_FILE_NAME:nextpdo>,$<TARGET_FILE_NAME:Foundation>,$<TARGET_FILE_NAME:AppKit>,msvcrt.dll,KERNEL32.dll
          -DREQUIRED=msvcrt.dll:_setjmp
          -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_module_layout.cmake)
add_test(NAME WindowsLayout.BundleCarriesItsInformationDictionary
  COMMAND ${CMAKE_COMMAND} -E cat ${CORVANE_BUNDLE_DIR}/Resources/Info.plist)
