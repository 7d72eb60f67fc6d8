# apd_readme_example(<readme> <output.cpp>)
# Writes the first ```cpp block of a README to a C++ file, so that an example program in the
# documentation is compiled from the documentation's own text. The configure runs again when
# the README changes.
function(apd_readme_example readme output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${readme}")
    file(READ "${readme}" _text)
    string(REGEX MATCH "```cpp\n([^`]*)```" _block "${_text}")
    if(NOT CMAKE_MATCH_1)
        message(FATAL_ERROR "${readme} holds no C++ example")
    endif()
    file(CONFIGURE OUTPUT "${output}" CONTENT "${CMAKE_MATCH_1}" @ONLY)
endfunction()
