# GoogleTest for a cross build. No distribution ships it built for the target, but Debian's
# googletest package has the sources in /usr/src/googletest: they are built here with the
# cross compiler, and given the names find_package(GTest) gives.
set(APD_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${APD_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${APD_GOOGLETEST_SOURCE_DIR} "
                        "(Debian: apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${APD_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(_t gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_t})
        add_library(GTest::${_t} ALIAS ${_t})
    endif()
endforeach()
