# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DZORVIK_BUILD_GUI=OFF
# The executables link their C and C++ runtimes statically, so they need no
# DLLs beside them; tests run under wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVIK_MINGW_PREFIX}-windres)

# Libraries for the target come from the mingw-w64 tree only; add the root of
# a Windows build of Qt 6 with -DCMAKE_FIND_ROOT_PATH=... to build the GUI.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZORVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# List the tests when ctest runs, not after each link: listing needs wine and
# a wine prefix, which a build should not create.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
