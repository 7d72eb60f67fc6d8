# apd_layer(NAME <lib> [DEPENDS <libs>...] [SYSTEM_LIBS <libs>...])
# Builds the static library of one layer from the .cpp files of the current folder and
# its subfolders. Files ending in _posix.cpp are built only on POSIX systems and files
# ending in _win.cpp only on Windows, so that each platform's backend sits in files of its
# own beside the portable code.
function(apd_layer)
    cmake_parse_arguments(L "" "NAME" "DEPENDS;SYSTEM_LIBS" ${ARGN})
    file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(WIN32)
        list(FILTER _sources EXCLUDE REGEX "_posix\\.cpp$")
    else()
        list(FILTER _sources EXCLUDE REGEX "_win\\.cpp$")
    endif()
    if(_sources)
        add_library(${L_NAME} STATIC ${_sources})
        target_include_directories(${L_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${L_NAME} PUBLIC ${L_DEPENDS} ${L_SYSTEM_LIBS})
        apd_warnings(${L_NAME})
    else()
        add_library(${L_NAME} INTERFACE)
        target_include_directories(${L_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${L_NAME} INTERFACE ${L_DEPENDS} ${L_SYSTEM_LIBS})
    endif()
endfunction()
