# apd_strip_on_install(<path under the prefix> <component> [<strip options>...])
# A stripping install (CPack, cmake --install --strip) strips only what install(TARGETS)
# puts in place as an executable or shared library: this strips another installed file,
# with the options given, when the install strips.
# Without a strip tool (MSVC) nothing is stripped.
function(apd_strip_on_install path component)
    if(NOT CMAKE_STRIP)
        return()
    endif()
    list(JOIN ARGN " " _options)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" ${_options}
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${path}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()" COMPONENT ${component})
endfunction()
