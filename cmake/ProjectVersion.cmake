# The project's version (project() in the top CMakeLists.txt) for the programs' code: the
# header vorsilan/ProjectVersion.h, generated into the build folder, through the INTERFACE
# target project_version. The library does not use it; its CMake package has its own version file.
configure_file(${CMAKE_CURRENT_LIST_DIR}/ProjectVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/vorsilan/ProjectVersion.h @ONLY)
add_library(project_version INTERFACE)
target_include_directories(project_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
