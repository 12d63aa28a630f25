# Settings shared by the MinGW-w64 toolchain files. The including file sets
# CORVANE_MINGW_TRIPLE (x86_64-w64-mingw32 or i686-w64-mingw32) and
# CORVANE_WINE, the Wine loader for the target's programs, first.
#
# The "-posix" compiler variants are used because the runtime relies on
# std::mutex, which the win32 thread model of this GCC does not provide.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every DLL and program carries its own copy of libgcc, libstdc++ and
# winpthread, so a module imports only the stand-in DLLs, the C run-time
# (msvcrt.dll) and system DLLs, and nothing has to be copied beside the
# programs. Framework exceptions cross DLLs as jumps to handler frames, which
# need nothing of the C++ run-time (tests/windows/windows_exception_test.cc checks it
# on both targets).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# GoogleTest is built from Debian's sources for the target (see
# cmake/cross-googletest.cmake), right after the project's project() call.
set(CMAKE_PROJECT_Corvane_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/cross-googletest.cmake)

# Programs run under Wine, in a prefix of the build directory's own, so a
# plain `ctest` needs no set-up (the prefix is made by the first run);
# scripts/test-windows also starts a persistent wineserver for speed.
if(NOT DEFINED CORVANE_WINEPREFIX)
  set(CORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${CORVANE_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${CORVANE_WINE})
