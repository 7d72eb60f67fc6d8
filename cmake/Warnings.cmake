# Warnings as errors for the project's own targets: call apd_warnings(target).
# MSVC (a Windows user's build of the program, never made here) gets its strict level
# without warnings as errors.
function(apd_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
            -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough -Werror)
    endif()
endfunction()
