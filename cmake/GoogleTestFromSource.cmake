# A cross build finds no GoogleTest for the target system, so it builds
# Debian's GoogleTest source with the same compiler and offers the targets
# that find_package(GTest) would.
set(TOLVANEX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${TOLVANEX_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest source not found in ${TOLVANEX_GOOGLETEST_SOURCE} (Debian: googletest)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# SYSTEM: its headers are not ours to hold to our warning flags.
add_subdirectory(${TOLVANEX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

foreach(lib gtest gtest_main gmock gmock_main)
  # Its own sources neither: they are built with GoogleTest's flags alone.
  set_target_properties(${lib} PROPERTIES COMPILE_OPTIONS "" COMPILE_WARNING_AS_ERROR OFF)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
if(NOT TARGET GTest::GTest)
  add_library(GTest::GTest ALIAS gtest)
  add_library(GTest::Main ALIAS gtest_main)
endif()

# Listing the tests means running the exe under the emulator: do it when CTest
# runs (with the wine server up), not while building.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
