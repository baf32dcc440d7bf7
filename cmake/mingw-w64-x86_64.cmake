# Cross toolchain for the 64-bit test vehicle: mingw-w64, x86-64, the -posix
# thread model. It builds the same targets as the i686 toolchain, for machines
# that cannot execute 32-bit code; the shipped product stays the i686 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every test program runs under 64-bit Wine in the project's 64-bit prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR env KOVA_ARCH=x86_64 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
