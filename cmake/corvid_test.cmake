# GoogleTest from Debian's source package: there is no network to fetch it from.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

set(CORVID_I686_CLIENT "" CACHE FILEPATH
    "The shipping 32-bit talomar.exe, for the whole runs that also drive it")

# corvid_add_gtest(name SOURCES a.cpp ... LIBS lib ... [TIMEOUT s] [LABELS l ...] [I686_CLIENT])
# Tests are listed when CTest runs, not while building: listing them means starting
# each binary under Wine, which would slow every build.
# I686_CLIENT: the tests start the client; each is listed a second time as
# "i686.<name>", labelled i686, to start CORVID_I686_CLIENT instead. The test program
# stays a 64-bit one: under qemu-user a 32-bit Wine process with more than one thread
# is not reliable (see tools/test), and the test's own threads are no part of what is
# tested.
function(corvid_add_gtest name)
  cmake_parse_arguments(arg "I686_CLIENT" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  set(properties TIMEOUT ${arg_TIMEOUT} LABELS "${arg_LABELS}")
  # A 32-bit test process under qemu may die after it has printed its result, or
  # report a failure with exit code 0: its own summary line decides.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    list(APPEND properties PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test"
                           FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
  if(arg_I686_CLIENT AND CORVID_I686_CLIENT)
    math(EXPR emulated_timeout "${arg_TIMEOUT} * 3")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      TEST_PREFIX "i686."
      PROPERTIES TIMEOUT ${emulated_timeout} LABELS i686
                 ENVIRONMENT "CORVID_CLIENT_EXE=Z:${CORVID_I686_CLIENT}")
  endif()
endfunction()
