# Included right after project(Corvane) in cross builds: builds GoogleTest
# for the target from the sources of Debian's googletest package and makes
# find_package(GTest) yield those targets (GTest::gtest, GTest::gtest_main),
# so the tests' CMakeLists stays the same as in a native build.
if(NOT CMAKE_CROSSCOMPILING OR TARGET GTest::gtest)
  return()
endif()

set(CORVANE_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${CORVANE_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found at ${CORVANE_GOOGLETEST_SOURCE}: "
                      "install Debian's googletest package or set CORVANE_GOOGLETEST_SOURCE")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${CORVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# A package file here is found before any other by find_package(GTest).
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
     "# Written by cmake/cross-googletest.cmake: the targets already exist.\nset(GTest_FOUND TRUE)\n")
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config-version.cmake
     "set(PACKAGE_VERSION 1.12)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
