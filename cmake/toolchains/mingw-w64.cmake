# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64.cmake \
#         -DAPD_APP=OFF -DAPD_STRTABLE_EXECUTABLE=<strtable built for this machine>
# The posix thread model is the one whose libstdc++ has std::thread, std::mutex and
# std::condition_variable. Everything is linked statically, so that the programs import
# only system DLLs (KERNEL32, msvcrt, USER32 ...) and run from any folder, under Wine too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine on the build machine (ctest, gtest_discover_tests).
find_program(APD_WINE NAMES wine)
if(APD_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${APD_WINE})
endif()
