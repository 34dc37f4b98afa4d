# FindLibYAML: libyaml as the imported target LibYAML::LibYAML. Debian's libyaml-dev ships no CMake
# package, and the Windows build's copy (scripts/setup) is a static library, so one module finds
# both: the framework's own build uses it, and so does its installed package configuration.
find_path(LibYAML_INCLUDE_DIR yaml.h)
find_library(LibYAML_LIBRARY NAMES yaml)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibYAML REQUIRED_VARS LibYAML_LIBRARY LibYAML_INCLUDE_DIR)
mark_as_advanced(LibYAML_INCLUDE_DIR LibYAML_LIBRARY)

if(LibYAML_FOUND AND NOT TARGET LibYAML::LibYAML)
  add_library(LibYAML::LibYAML UNKNOWN IMPORTED)
  set_target_properties(LibYAML::LibYAML PROPERTIES
    IMPORTED_LOCATION ${LibYAML_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${LibYAML_INCLUDE_DIR})
  if(WIN32 AND LibYAML_LIBRARY MATCHES "\\.a$")
    # Without it yaml.h declares every function as imported from a DLL.
    set_property(TARGET LibYAML::LibYAML PROPERTY INTERFACE_COMPILE_DEFINITIONS YAML_DECLARE_STATIC)
  endif()
endif()
