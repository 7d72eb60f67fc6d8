# apd_fuzz(<name> SOURCES <files>... [LIBS <libs>...])
# A libFuzzer target; scripts/test.sh runs every fuzz_* executable for a bounded time.
function(apd_fuzz name)
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    apd_warnings(${name})
endfunction()
