# Third-party dependencies, all from Debian packages (see scripts/setup).
find_package(Threads REQUIRED)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/modules)

# RapidJSON is header-only, and Debian installs it for the build machine only. The framework uses
# it inside its sources alone, so it is no dependency of the installed package.
find_path(RAPIDJSON_INCLUDE_DIR rapidjson/reader.h REQUIRED NO_CMAKE_FIND_ROOT_PATH)
if(CMAKE_CROSSCOMPILING)
  # A cross compiler must not search the build machine's /usr/include (its C library headers
  # would shadow the target's), so it sees the RapidJSON folder alone, through a link.
  set(rapidjson_only ${CMAKE_BINARY_DIR}/_rapidjson)
  file(MAKE_DIRECTORY ${rapidjson_only})
  file(CREATE_LINK ${RAPIDJSON_INCLUDE_DIR}/rapidjson ${rapidjson_only}/rapidjson SYMBOLIC)
  set(RAPIDJSON_INCLUDE_DIR ${rapidjson_only})
endif()
add_library(tav_rapidjson INTERFACE)
target_include_directories(tav_rapidjson SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIR})

# libyaml: on the 32-bit build the i386 copy from the multiarch folder; on Windows the static
# library that scripts/setup builds from Debian's source package.
find_package(LibYAML MODULE REQUIRED)
add_library(tav_yaml INTERFACE)
target_link_libraries(tav_yaml INTERFACE LibYAML::LibYAML)

if(TAV_BUILD_TESTS)
  # GoogleTest is built from Debian's sources so that every preset (32-bit and sanitizers
  # included) gets a copy compiled with its own flags.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
  include(GoogleTest)
elseif(NOT TARGET GTest::gtest)
  # Included by a plugin's project: its GoogleTest, if it has one, serves tav::host_testing.
  find_package(GTest QUIET)
endif()
