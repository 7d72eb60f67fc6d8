# The stand-in LIS of the tests (tests/support/hl7peer/hl7_peer.py) runs under Debian's own
# python, the one that has the python3-hl7 package; a python3 earlier on PATH (pyenv, a venv)
# does not. apd_use_hl7_peer(target) gives a test the interpreter and the script's path.
find_program(APD_HL7_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT APD_HL7_PYTHON)
    find_program(APD_HL7_PYTHON python3)
endif()
# Checked once found (then cached); while missing, at every configure.
if(NOT APD_HL7_PYTHON_HAS_HL7)
    execute_process(COMMAND ${APD_HL7_PYTHON} -c "import hl7.mllp"
                    RESULT_VARIABLE _apd_hl7_import OUTPUT_QUIET ERROR_QUIET)
    if(_apd_hl7_import EQUAL 0)
        set(APD_HL7_PYTHON_HAS_HL7 ON CACHE INTERNAL "")
    else()
        message(WARNING "${APD_HL7_PYTHON} cannot import hl7 (Debian's python3-hl7, "
                        "scripts/setup.sh installs it): the tests against the LIS fail")
    endif()
endif()

function(apd_use_hl7_peer target)
    target_compile_definitions(${target} PRIVATE
        HL7_PEER_PYTHON="${APD_HL7_PYTHON}"
        HL7_PEER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/hl7peer/hl7_peer.py")
endfunction()
