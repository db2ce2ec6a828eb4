# GoogleTest from Debian's source package: there is no network to fetch it from.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# corvid_add_gtest(name SOURCES a.cpp ... LIBS lib ... [TIMEOUT s] [LABELS l ...])
# Tests are listed when CTest runs, not while building: listing them means starting
# each binary under Wine, which would slow every build.
function(corvid_add_gtest name)
  cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  corvid_refuse_unknown_arguments(${name} ${arg_UNPARSED_ARGUMENTS})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  corvid_keep_to_one_thread(${name})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  corvid_emulated_timeout(arg_TIMEOUT)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS "${arg_LABELS}")
endfunction()

# Every Windows test program keeps to its one thread, and says so when it did not
# (tests/support/one_thread.h).
function(corvid_keep_to_one_thread name)
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/one_thread.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  endif()
endfunction()

# On the i686 build every instruction of a test and of 32-bit Wine is emulated: its
# tests get three times as long.
function(corvid_emulated_timeout variable)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    math(EXPR longer "${${variable}} * 3")
    set(${variable} ${longer} PARENT_SCOPE)
  endif()
endfunction()

# The i686 build runs every test with its own client, so a test no longer names another.
function(corvid_refuse_unknown_arguments name)
  if("I686_CLIENT" IN_LIST ARGN)
    message(FATAL_ERROR "${name}: I686_CLIENT is gone: the win32 build runs every test against its own 32-bit client")
  elseif(ARGN)
    message(FATAL_ERROR "${name}: unknown arguments ${ARGN}")
  endif()
endfunction()
