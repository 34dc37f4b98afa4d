# tav_plugin_library() and tav_install_plugin_library(): a plugin's shared library built on the
# framework, and its installation as shipped. Included by plugin/CMakeLists.txt in the framework's
# own tree and by the installed package configuration, with the templates beside this file.
set(TAV_PLUGIN_LIBRARY_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}
    CACHE INTERNAL "Templates of a plugin library's entry source, export lists and resources")

# tav_plugin_library(<target> ENTRY <entry name> SOURCES <sources...>
#                    [VERSION <x.y.z>] [PRODUCT_NAME <text>] [DESCRIPTION <text>]):
# the plugin library lib<target>.so (<target>.dll on Windows) at the top of the build folder,
# built from the framework and the sources, one of which defines createPlugin
# (plugin/plugin_entry.h). The entry is written from its name (plugin/plugin_export.h) and is the
# library's one export: the version script or .def file generated here lists it alone. The C++
# runtime is linked in statically and kept inside, so the library needs only the system's
# libraries, and its global operator new and delete are the framework's counting ones, whose
# memory statistics see every allocation it makes. On Windows the DLL carries a version resource:
# VERSION, PRODUCT_NAME and DESCRIPTION default to the calling project's version, name and
# description.
function(tav_plugin_library target)
  cmake_parse_arguments(ARG "" "ENTRY;VERSION;PRODUCT_NAME;DESCRIPTION" "SOURCES" ${ARGN})
  if(NOT ARG_ENTRY OR NOT ARG_ENTRY MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "tav_plugin_library(${target}): ENTRY must name a C function")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tav_plugin_library(${target}): SOURCES must list the plugin's sources")
  endif()
  set(TAV_TARGET ${target})
  set(TAV_ENTRY ${ARG_ENTRY})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_library)
  configure_file(${TAV_PLUGIN_LIBRARY_TEMPLATES}/entry.cpp.in ${generated}/entry.cpp @ONLY)
  add_library(${target} SHARED ${ARG_SOURCES} ${generated}/entry.cpp
                                ${TAV_PLUGIN_LIBRARY_TEMPLATES}/runtime_release.cpp)
  target_link_libraries(${target} PRIVATE tav::plugin tav::counting_operators)
  if(WIN32)
    # Beside the test programs that load it. Nothing is exported automatically, not even what
    # the static runtimes mark; the .def file names the one export.
    configure_file(${TAV_PLUGIN_LIBRARY_TEMPLATES}/exports.def.in ${generated}/exports.def @ONLY)
    tav_plugin_version_resource(${target} ${generated} "${ARG_VERSION}" "${ARG_PRODUCT_NAME}"
                                "${ARG_DESCRIPTION}")
    target_sources(${target} PRIVATE ${generated}/exports.def ${generated}/version.rc)
    set_target_properties(${target} PROPERTIES
      PREFIX ""
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_link_options(${target} PRIVATE -Wl,--exclude-all-symbols)
    return()
  endif()
  configure_file(${TAV_PLUGIN_LIBRARY_TEMPLATES}/exports.map.in ${generated}/exports.map @ONLY)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${generated}/exports.map)
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${generated}/exports.map
    -static-libstdc++
    -static-libgcc)
endfunction()

# Writes <folder>/version.rc, the Windows version resource that Explorer's properties and crash
# reports show: file and product version, product name and description.
function(tav_plugin_version_resource target folder version product description)
  if(NOT version)
    set(version ${PROJECT_VERSION})
  endif()
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "tav_plugin_library(${target}): VERSION (or the project's version) must "
                        "be one to four numbers separated by dots, not \"${version}\"")
  endif()
  # The binary fields take exactly four numbers.
  string(REPLACE "." ";" numbers ${version})
  list(LENGTH numbers count)
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN numbers "," TAV_VERSION_NUMBERS)
  set(TAV_VERSION ${version})
  set(TAV_PRODUCT_NAME ${product})
  if(NOT TAV_PRODUCT_NAME)
    set(TAV_PRODUCT_NAME ${PROJECT_NAME})
  endif()
  set(TAV_DESCRIPTION ${description})
  if(NOT TAV_DESCRIPTION)
    set(TAV_DESCRIPTION ${PROJECT_DESCRIPTION})
  endif()
  # A resource script's string doubles its quotes.
  string(REPLACE "\"" "\"\"" TAV_PRODUCT_NAME "${TAV_PRODUCT_NAME}")
  string(REPLACE "\"" "\"\"" TAV_DESCRIPTION "${TAV_DESCRIPTION}")
  set(TAV_TARGET ${target})
  configure_file(${TAV_PLUGIN_LIBRARY_TEMPLATES}/version.rc.in ${folder}/version.rc @ONLY)
endfunction()

# tav_install_plugin_library(<target> [DESTINATION <folder>]): installs the plugin library as it
# ships, stripped, with its debug information beside it in <file>.debug, which the library names
# in its .gnu_debuglink section so that debuggers and crash tools find it. The default folder is
# the one for shared libraries: bin on Windows, lib elsewhere.
function(tav_install_plugin_library target)
  cmake_parse_arguments(ARG "" "DESTINATION" "" ${ARGN})
  include(GNUInstallDirs)
  if(NOT ARG_DESTINATION)
    set(ARG_DESTINATION ${CMAKE_INSTALL_LIBDIR})
    if(WIN32)
      set(ARG_DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endif()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "tav_install_plugin_library(${target}): no objcopy for this toolchain")
  endif()
  # The file alone: on Windows install(TARGETS) would add the import library, which no host uses.
  install(FILES $<TARGET_FILE:${target}> DESTINATION ${ARG_DESTINATION})
  install(CODE "
    set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ARG_DESTINATION}/$<TARGET_FILE_NAME:${target}>\")
    message(STATUS \"Splitting debug information: \${file}.debug\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \${file} \${file}.debug
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-unneeded --add-gnu-debuglink=\${file}.debug
                            \${file} WORKING_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ARG_DESTINATION}\"
                    COMMAND_ERROR_IS_FATAL ANY)")
endfunction()
