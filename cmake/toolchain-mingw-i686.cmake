# Cross build for 32-bit Windows with MinGW-w64:
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# This machine cannot execute 32-bit programs, so no emulator is set: the
# build is compiled, linked and inspected, and test discovery is skipped.
set(CORVANE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
