# Helpers that turn a subsystem folder into a static library and a test folder into a suite.

# tav_platform_sources(<list variable>): keeps one implementation file per platform, name_win32.cpp
# on Windows and name_posix.cpp elsewhere.
macro(tav_platform_sources variable)
  if(WIN32)
    list(FILTER ${variable} EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER ${variable} EXCLUDE REGEX "_win32\\.cpp$")
  endif()
endmacro()

# tav_subsystem(<target> DEPS <libs...>): every .cpp of the current folder becomes one static
# library that requires C++20 of its consumers; a folder without sources yet becomes an interface
# library so dependents still link.
function(tav_subsystem target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  tav_platform_sources(sources)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    # Required of every consumer too: the headers use std::span, concepts and requires-clauses.
    target_compile_features(${target} PUBLIC cxx_std_20)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    target_compile_features(${target} INTERFACE cxx_std_20)
  endif()
endfunction()

# tav_test_suite(<folder> DEPS <libs...>): tests/<folder>/*_test.cpp become one GoogleTest
# executable, tav_<folder>_tests, whose cases ctest discovers one by one.
function(tav_test_suite folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  tav_platform_sources(sources)
  if(NOT sources)
    return()
  endif()
  set(target tav_${folder}_tests)
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} tav_counting_operators GTest::gmock
                                          GTest::gtest_main)
  # Listing the tests under an emulator (wine) can take a while when it starts cold.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "TAV_BUILD_DIR=${CMAKE_BINARY_DIR};TAV_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
