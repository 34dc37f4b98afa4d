# Helpers that turn a subsystem folder into a static library and a test folder into a suite.

# What every program and library built with the framework for Windows needs, and what
# tav::platform hands to whatever links the framework: a 64-bit time_t in the C runtime's headers,
# windows.h without its min and max macros, and the runtimes linked in statically, so that
# programs and plugin libraries need only the Windows system libraries.
set(TAV_WIN32_DEFINITIONS __MINGW_USE_VC2005_COMPAT NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
set(TAV_WIN32_LINK_OPTIONS -static -static-libgcc -static-libstdc++)
add_library(tav_platform INTERFACE)
add_library(tav::platform ALIAS tav_platform)
set_target_properties(tav_platform PROPERTIES EXPORT_NAME platform)
if(WIN32)
  target_compile_definitions(tav_platform INTERFACE ${TAV_WIN32_DEFINITIONS})
  target_link_options(tav_platform INTERFACE ${TAV_WIN32_LINK_OPTIONS})
endif()

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
# library so dependents still link. A target tav_<name> is also tav::<name>, the name the
# installed package exports it under, so that a plugin's project links the same names either way.
function(tav_subsystem target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  tav_platform_sources(sources)
  if(sources)
    add_library(${target} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  # The installed include folder is added by install(TARGETS ... INCLUDES DESTINATION).
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(${target} ${scope} ${ARG_DEPS})
  # Required of every consumer too: the headers use std::span, concepts and requires-clauses.
  target_compile_features(${target} ${scope} cxx_std_20)
  string(REGEX REPLACE "^tav_" "" name ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  add_library(tav::${name} ALIAS ${target})
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
