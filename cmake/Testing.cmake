# apd_test(<name> SOURCES <files>... [LIBS <libs>...])
# A GoogleTest executable whose tests CTest lists one by one.
function(apd_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    apd_warnings(${name})
    if(CMAKE_CROSSCOMPILING)
        # The tests are listed when ctest runs, through the emulator (Wine), so that a
        # cross build needs none while it builds.
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                             PROPERTIES TIMEOUT 300)
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
    endif()
endfunction()
