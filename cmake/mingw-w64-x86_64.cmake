# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DZORVIK_BUILD_GUI=OFF
# and with the windows, against a Qt 6 built for mingw-w64 (scripts/windows-qt.sh):
#   cmake -S . -B build/windows-gui -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=/path/to/qt6-mingw
# moc, uic and rcc are the host's (Debian's qt6-base-dev-tools). Tests run
# under wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVIK_MINGW_PREFIX}-windres)

# Libraries for the target come from the mingw-w64 tree and from the prefixes
# given in CMAKE_PREFIX_PATH (the Windows build of Qt) only.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZORVIK_MINGW_PREFIX})
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime link (static for the Qt-free programs) is chosen in the
# top-level CMakeLists.txt.

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# List the tests when ctest runs, not after each link: listing needs wine and
# a wine prefix, which a build should not create.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
