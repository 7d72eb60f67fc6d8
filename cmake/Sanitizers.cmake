# APD_SANITIZE applies to everything built in this tree, so that instrumented code
# never calls into uninstrumented copies of our own libraries.
if(APD_SANITIZE)
    string(REPLACE "," ";" _apd_sanitizers "${APD_SANITIZE}")
    set(_apd_flags "-fsanitize=${APD_SANITIZE}" -fno-omit-frame-pointer -g)
    if("undefined" IN_LIST _apd_sanitizers)
        list(APPEND _apd_flags -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${_apd_flags})
    add_link_options("-fsanitize=${APD_SANITIZE}")
endif()
# Fuzz builds give every library coverage instrumentation; only the fuzz targets link
# the libFuzzer driver.
if(APD_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
