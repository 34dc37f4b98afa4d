# Third-party dependencies, all from Debian packages (see scripts/setup).
find_package(Threads REQUIRED)

# RapidJSON is header-only.
find_path(RAPIDJSON_INCLUDE_DIR rapidjson/reader.h REQUIRED)
add_library(tav_rapidjson INTERFACE)
target_include_directories(tav_rapidjson SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIR})

# libyaml: on the 32-bit build the i386 copy from the multiarch folder.
find_path(YAML_INCLUDE_DIR yaml.h REQUIRED)
find_library(YAML_LIBRARY NAMES yaml REQUIRED)
add_library(tav_yaml INTERFACE)
target_include_directories(tav_yaml SYSTEM INTERFACE ${YAML_INCLUDE_DIR})
target_link_libraries(tav_yaml INTERFACE ${YAML_LIBRARY})

if(TAV_BUILD_TESTS)
  # GoogleTest is built from Debian's sources so that every preset (32-bit and sanitizers
  # included) gets a copy compiled with its own flags.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
  include(GoogleTest)
endif()
