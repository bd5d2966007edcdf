# GoogleTest built from its sources inside this build, for targets where no
# prebuilt GoogleTest matches the compiler (the MinGW-w64 cross build takes
# Debian's sources from /usr/src/googletest; a Windows build may point
# ZQ_GTEST_SOURCE_DIR at a googletest checkout).
#
# The later find_package(GTest) of the test folder is answered from here
# through CMake's package redirection, so it needs no change for this case.
include_guard(GLOBAL)

set(_zq_gtest_default "")
if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/CMakeLists.txt)
  set(_zq_gtest_default /usr/src/googletest)
endif()
set(ZQ_GTEST_SOURCE_DIR "${_zq_gtest_default}" CACHE PATH
    "GoogleTest sources to build the tests with (empty: use an installed GoogleTest)")

if(ZQ_GTEST_SOURCE_DIR AND NOT TARGET GTest::gtest)
  if(NOT EXISTS ${ZQ_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "ZQ_GTEST_SOURCE_DIR=${ZQ_GTEST_SOURCE_DIR} holds no GoogleTest sources "
                        "(CMakeLists.txt missing); install googletest or fix the path")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # MSVC: GoogleTest must use the C runtime that the project's targets use.
  if(CMAKE_MSVC_RUNTIME_LIBRARY MATCHES "DLL" OR NOT CMAKE_MSVC_RUNTIME_LIBRARY)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  else()
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  endif()
  add_subdirectory(${ZQ_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  # The project's strict warnings are for our code, not for GoogleTest's.
  set_target_properties(gtest gtest_main PROPERTIES COMPILE_OPTIONS "")
  # GoogleTest 1.11 and later make the GTest:: aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
       "# GoogleTest is built from ${ZQ_GTEST_SOURCE_DIR} in this tree (GTest::gtest).\n")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config-version.cmake
       "set(PACKAGE_VERSION_COMPATIBLE TRUE)\nset(PACKAGE_VERSION_EXACT FALSE)\n")
endif()
