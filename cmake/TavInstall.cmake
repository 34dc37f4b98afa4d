# `cmake --install <build> --prefix <P>`: the framework as the CMake package tav_banners, for
# plugins built outside this tree with find_package(tav_banners CONFIG), and the banners library
# as it ships. Everything lands relative to the prefix, so the package may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(package tav_banners)
set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
# The folders keep their names under one root, so that includes read "plugin/plugin.h" whether
# the framework comes from this tree or from the package.
set(include_dir ${CMAKE_INSTALL_INCLUDEDIR}/${package})

install(DIRECTORY foundation binding routing plugin host
        DESTINATION ${include_dir}
        FILES_MATCHING PATTERN "*.h"
        PATTERN library EXCLUDE)
install(TARGETS tav_platform tav_foundation tav_counting_operators tav_binding tav_routing
                tav_plugin tav_host
        EXPORT ${package}_targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        OBJECTS DESTINATION ${CMAKE_INSTALL_LIBDIR}/${package}
        INCLUDES DESTINATION ${include_dir})
install(EXPORT ${package}_targets
        NAMESPACE tav::
        FILE ${package}_targets.cmake
        DESTINATION ${config_dir})
# The testing library needs GoogleTest, so it is a component of its own, which the configuration
# loads when asked for (COMPONENTS host_testing) after finding the consumer's GoogleTest.
if(TARGET tav_host_testing)
  install(TARGETS tav_host_testing
          EXPORT ${package}_testing_targets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${include_dir})
  install(EXPORT ${package}_testing_targets
          NAMESPACE tav::
          FILE ${package}_testing_targets.cmake
          DESTINATION ${config_dir})
endif()

configure_package_config_file(cmake/${package}Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake
  INSTALL_DESTINATION ${config_dir})
# A plugin built against one major version of the host interface does not load in another.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake
        DESTINATION ${config_dir})
install(FILES cmake/modules/FindLibYAML.cmake DESTINATION ${config_dir}/modules)
install(DIRECTORY plugin/library/ DESTINATION ${config_dir}/plugin_library)

# An archive of the same (cpack -G TGZ or ZIP in the build folder).
set(CPACK_PACKAGE_NAME ${package})
set(CPACK_PACKAGE_VENDOR tav)
set(CPACK_GENERATOR TGZ)
include(CPack)
