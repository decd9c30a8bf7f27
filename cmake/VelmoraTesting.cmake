# One CTest test per test program rather than one per case: under Wine every
# process start costs seconds. Each program writes a JUnit-style XML report
# that scripts/test.sh adds up into its closing "N passed, N failed" line.
if(VELMORA_BUILD_TESTS)
  enable_testing()
  if(CMAKE_CROSSCOMPILING)
    # Debian's googletest package ships sources only for cross builds.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(VELMORA_GTEST_MAIN GTest::gmock_main)
    if(NOT TARGET GTest::gmock_main)
      add_library(GTest::gmock_main ALIAS gmock_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gmock ALIAS gmock)
    endif()
  else()
    find_package(GTest REQUIRED)
    set(VELMORA_GTEST_MAIN GTest::gmock_main)
  endif()
endif()

set(VELMORA_TEST_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)

# velmora_add_test(<name> SOURCES ... [LIBS ...] [TIMEOUT seconds])
# Builds a GoogleTest program and registers it as one CTest test.
function(velmora_add_test name)
  if(NOT VELMORA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmora_testing ${VELMORA_GTEST_MAIN})
  # A Windows program under Wine takes a Unix path without a drive letter as
  # relative to its working folder; Z: is the whole Unix file system.
  set(report ${VELMORA_TEST_RESULTS_DIR}/${name}.xml)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(report "Z:${report}")
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "VELMORA_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VELMORA_SOURCE_DIR=${CMAKE_SOURCE_DIR};WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
endfunction()
