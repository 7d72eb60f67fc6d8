# The library's CMake package, installed with the component "development":
#
#   find_package(VorsilanComm CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE Vorsilan::comm)   # or one layer, Vorsilan::comm_port
#
# Every layer's target (apd_layer) and the INTERFACE target comm join the export set
# VorsilanCommTargets; the package's files go to <libdir>/cmake/VorsilanComm. The version
# file accepts a request of the same major and minor version: while the major version is 0,
# a new minor version may change the library's interface.
include(CMakePackageConfigHelpers)
set(_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VorsilanComm)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VorsilanCommConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/package/VorsilanCommConfig.cmake
                              INSTALL_DESTINATION ${_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/VorsilanCommConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(EXPORT VorsilanCommTargets NAMESPACE Vorsilan:: DESTINATION ${_package_dir}
        COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/package/VorsilanCommConfig.cmake
              ${PROJECT_BINARY_DIR}/package/VorsilanCommConfigVersion.cmake
        DESTINATION ${_package_dir} COMPONENT development)
