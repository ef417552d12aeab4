# GoogleTest as installed, or, where none is installed for the target (the
# Windows cross build), built from the sources Debian's googletest package
# ships.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(QUELVARN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, when none is installed")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QUELVARN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
