# Cross build for 64-bit Windows with MinGW-w64:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
# Programs, tests included, run under Wine's 64-bit loader, which CTest and
# test discovery use as the emulator. They run in a Wine prefix of the build
# directory's own (CORVANE_WINEPREFIX), so a plain `ctest` needs no set-up;
# scripts/test-windows also starts a persistent wineserver for speed.
set(CORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

if(NOT DEFINED CORVANE_WINE64)
  set(CORVANE_WINE64 /usr/lib/wine/wine64)
endif()
if(NOT DEFINED CORVANE_WINEPREFIX)
  set(CORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${CORVANE_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${CORVANE_WINE64})
