# apd_layer(NAME <lib> [DEPENDS <libs>...] [SYSTEM_LIBS <libs>...])
# Builds the static library of one layer from the .cpp files of the current folder and
# its subfolders. Files ending in _posix.cpp are built only on POSIX systems and files
# ending in _win.cpp only on Windows, so that each platform's backend sits in files of its
# own beside the portable code.
#
# The layer's headers are its public headers, included as "comm/<layer>/<name>.h" from the
# source tree and, once installed, from include/vorsilan (the file set's base folder keeps
# the comm/<layer> part). A header of the other platform's backend is not installed.
# `cmake --install` puts the library and its headers in the component "development", in
# the export set the library's CMake package is made from (cmake/CommPackage.cmake).
set(APD_INCLUDE_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/vorsilan)
set(APD_LIBRARY_DESTINATION ${CMAKE_INSTALL_LIBDIR}/vorsilan)

function(apd_layer)
    cmake_parse_arguments(L "" "NAME" "DEPENDS;SYSTEM_LIBS" ${ARGN})
    file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    file(GLOB_RECURSE _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    if(WIN32)
        list(FILTER _sources EXCLUDE REGEX "_posix\\.cpp$")
        list(FILTER _headers EXCLUDE REGEX "_posix\\.h$")
    else()
        list(FILTER _sources EXCLUDE REGEX "_win\\.cpp$")
        list(FILTER _headers EXCLUDE REGEX "_win\\.h$")
    endif()
    if(_sources)
        add_library(${L_NAME} STATIC ${_sources})
        set(_scope PUBLIC)
        apd_warnings(${L_NAME})
    else()
        add_library(${L_NAME} INTERFACE)
        set(_scope INTERFACE)
    endif()
    target_sources(${L_NAME} ${_scope} FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR}
                   FILES ${_headers})
    target_link_libraries(${L_NAME} ${_scope} ${L_DEPENDS} ${L_SYSTEM_LIBS})
    target_compile_features(${L_NAME} ${_scope} cxx_std_20)
    install(TARGETS ${L_NAME} EXPORT VorsilanCommTargets
            ARCHIVE DESTINATION ${APD_LIBRARY_DESTINATION} COMPONENT development
            FILE_SET HEADERS DESTINATION ${APD_INCLUDE_ROOT} COMPONENT development)
    if(_sources)
        # Its debug information is left out, as Debian's -dev packages ship static libraries.
        apd_strip_on_install(${APD_LIBRARY_DESTINATION}/$<TARGET_FILE_NAME:${L_NAME}>
                             development --strip-debug)
    endif()
endfunction()
